#include "engine/readers/tiff_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <cstdarg>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "engine/readers/reader_test_support.h"
#include "support/test_support.h"

namespace {

using readertest::Decodes;
using readertest::ExpectedProgress;
using readertest::FolderEntries;
using readertest::Outcome;
using readertest::ReadFails;
using readertest::Refused;
using readertest::Reports;
using readertest::RecordProgress;
using readertest::StderrCapture;

constexpr int kWidth = 35, kHeight = 39;  // odd and not square, so a swap or a flip shows

uint8_t Sample(int x, int y, int channel) {
  return static_cast<uint8_t>(x * 7 + y * 13 + channel * 101 + ((x * y) & 0x1F));
}

// One page written with libtiff straight: samples packed MSB first, rows top-down.
struct Page {
  int width = kWidth, height = kHeight;
  int samples = 3, bits = 8;
  int photometric = PHOTOMETRIC_RGB;
  int extraSample = -1;  // EXTRASAMPLE_* of a fourth sample, or -1 for none
  int rowsPerStrip = 0;  // 0: all rows in one strip
  std::vector<uint16_t> colormap;  // red, green, blue tables of 1 << bits entries each
  std::vector<uint8_t> data;
  int RowBytes() const { return (width * samples * bits + 7) / 8; }
};

bool WriteTiff(const std::string& path, const std::vector<Page>& pages) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return false;
  bool ok = true;
  for (const Page& page : pages) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, page.rowsPerStrip > 0 ? page.rowsPerStrip : page.height);
    if (page.extraSample >= 0) {
      const uint16_t extra = static_cast<uint16_t>(page.extraSample);
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (!page.colormap.empty()) {
      const size_t n = page.colormap.size() / 3;
      std::vector<uint16_t> map = page.colormap;
      TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    std::vector<uint8_t> row(static_cast<size_t>(page.RowBytes()));
    for (int y = 0; y < page.height && ok; ++y) {
      std::memcpy(row.data(), page.data.data() + static_cast<size_t>(y) * row.size(), row.size());
      ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif) == 1;
  }
  TIFFClose(tif);
  return ok;
}

// A TIFF file put together byte by byte, for headers libtiff's writer would not make.
struct Entry {
  uint16_t tag;
  uint16_t type;  // 3 SHORT, 4 LONG
  std::vector<uint32_t> values;
};

std::vector<uint8_t> BuildTiff(std::vector<Entry> entries, const std::vector<uint8_t>& stripData) {
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  // Header, then the strip data at offset 8, then the directory and its long values.
  std::vector<uint8_t> out(8 + stripData.size(), 0);
  out[0] = out[1] = 'I';
  out[2] = 42;
  std::copy(stripData.begin(), stripData.end(), out.begin() + 8);
  auto put16 = [](std::vector<uint8_t>* v, size_t at, uint32_t x) {
    (*v)[at] = static_cast<uint8_t>(x);
    (*v)[at + 1] = static_cast<uint8_t>(x >> 8);
  };
  auto put32 = [&](std::vector<uint8_t>* v, size_t at, uint32_t x) {
    put16(v, at, x & 0xFFFF);
    put16(v, at + 2, x >> 16);
  };
  if (out.size() % 2 != 0) out.push_back(0);
  const size_t ifd = out.size();
  put32(&out, 4, static_cast<uint32_t>(ifd));
  out.resize(ifd + 2 + 12 * entries.size() + 4, 0);
  put16(&out, ifd, static_cast<uint32_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const size_t at = ifd + 2 + 12 * i;
    const size_t size = e.type == 3 ? 2 : 4;
    put16(&out, at, e.tag);
    put16(&out, at + 2, e.type);
    put32(&out, at + 4, static_cast<uint32_t>(e.values.size()));
    size_t where = at + 8;
    if (size * e.values.size() > 4) {
      where = out.size();
      put32(&out, at + 8, static_cast<uint32_t>(where));
      out.resize(where + size * e.values.size(), 0);
    }
    for (uint32_t v : e.values) {
      if (size == 2) put16(&out, where, v); else put32(&out, where, v);
      where += size;
    }
  }
  return out;
}

// The tags of an uncompressed one-strip 8-bit grey picture whose data sits at offset 8.
std::vector<Entry> GreyTags(uint32_t width, uint32_t height, uint32_t byteCount) {
  return {{256, 4, {width}}, {257, 4, {height}}, {258, 3, {8}}, {259, 3, {1}}, {262, 3, {1}},
          {273, 4, {8}},     {277, 3, {1}},      {278, 4, {height}}, {279, 4, {byteCount}}};
}

class TiffReaderTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    Reports().clear();
  }
  void TearDown() override {
    bitmap_.Release();
    TempDirTest::TearDown();
  }

  std::string Write(const std::vector<Page>& pages) {
    const std::string path = PathIn("picture.tif");
    EXPECT_TRUE(WriteTiff(path, pages));
    return path;
  }

  // Opens and reads, and checks that nothing was printed and that no file but the bitmap's own
  // store was added to the temporary folder.
  int OpenAndRead(const std::string& path, int* opened = nullptr) {
    std::vector<std::string> before = FolderEntries(TempDir());
    StderrCapture capture;
    int result = reader_.Open(path.c_str(), &bitmap_, RecordProgress);
    if (opened != nullptr) *opened = result;
    if (result == 1) result = reader_.Read();
    EXPECT_EQ(capture.Text(), "");
    for (const std::string& name : FolderEntries(TempDir())) {
      if (std::find(before.begin(), before.end(), name) != before.end()) continue;
      const bool store = bitmap_.StorePath() != nullptr && bitmap_.StorePath() == TempDir() + "/" + name;
      EXPECT_TRUE(store) << name << " left in the temporary folder";
    }
    return result;
  }

  void ExpectRgbAt(int x, int y, int r, int g, int b) {
    const uint8_t* p = bitmap_.Row(y) + 3 * x;
    ASSERT_EQ(p[0], r) << "red at " << x << "," << y;
    ASSERT_EQ(p[1], g) << "green at " << x << "," << y;
    ASSERT_EQ(p[2], b) << "blue at " << x << "," << y;
  }

  Bitmap bitmap_;
  TiffReader reader_;
};

// ------------------------------------------------------------------------------------------------
// Every photometric kind goes through the RGBA path into 24-bit colour, top row first.

enum Kind { Rgb8, Palette8, Grey8, Grey4, Bilevel, BilevelWhite, Palette1, RgbAssocAlpha, RgbUnassocAlpha };

struct KindCase {
  const char* name;
  Kind kind;
};
void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

Page MakePage(Kind kind) {
  Page page;
  switch (kind) {
    case Rgb8: break;
    case Palette8: page.samples = 1; page.photometric = PHOTOMETRIC_PALETTE; break;
    case Grey8: page.samples = 1; page.photometric = PHOTOMETRIC_MINISBLACK; break;
    case Grey4: page.samples = 1; page.bits = 4; page.photometric = PHOTOMETRIC_MINISBLACK; break;
    case Bilevel: page.samples = 1; page.bits = 1; page.photometric = PHOTOMETRIC_MINISBLACK; break;
    case BilevelWhite: page.samples = 1; page.bits = 1; page.photometric = PHOTOMETRIC_MINISWHITE; break;
    case Palette1: page.samples = 1; page.bits = 1; page.photometric = PHOTOMETRIC_PALETTE; break;
    case RgbAssocAlpha: page.samples = 4; page.extraSample = EXTRASAMPLE_ASSOCALPHA; break;
    case RgbUnassocAlpha: page.samples = 4; page.extraSample = EXTRASAMPLE_UNASSALPHA; break;
  }
  if (page.photometric == PHOTOMETRIC_PALETTE) {
    const int n = 1 << page.bits;
    page.colormap.resize(3 * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      for (int c = 0; c < 3; ++c) page.colormap[static_cast<size_t>(c * n + i)] = static_cast<uint16_t>(Sample(i, c, c) * 257);
    }
  }
  page.data.assign(static_cast<size_t>(page.RowBytes()) * page.height, 0);
  for (int y = 0; y < page.height; ++y) {
    uint8_t* row = page.data.data() + static_cast<size_t>(y) * page.RowBytes();
    for (int x = 0; x < page.width; ++x) {
      for (int c = 0; c < page.samples; ++c) {
        const int v = Sample(x, y, c) >> (8 - page.bits);
        const int bit = (x * page.samples + c) * page.bits;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - page.bits - bit % 8));
      }
    }
  }
  return page;
}

// The colour libtiff renders for a pixel of MakePage, worked out from the samples written.
void ExpectedColour(Kind kind, int x, int y, int* r, int* g, int* b) {
  const int bits = kind == Grey4 ? 4 : (kind == Bilevel || kind == BilevelWhite || kind == Palette1) ? 1 : 8;
  const int v = Sample(x, y, 0) >> (8 - bits);
  const int max = (1 << bits) - 1;
  switch (kind) {
    case Rgb8:
    case RgbAssocAlpha:
      *r = Sample(x, y, 0); *g = Sample(x, y, 1); *b = Sample(x, y, 2);
      return;
    case RgbUnassocAlpha: {  // libtiff premultiplies unassociated alpha
      const int a = Sample(x, y, 3);
      *r = (Sample(x, y, 0) * a + 127) / 255;
      *g = (Sample(x, y, 1) * a + 127) / 255;
      *b = (Sample(x, y, 2) * a + 127) / 255;
      return;
    }
    case Palette8:
    case Palette1:
      *r = Sample(v, 0, 0); *g = Sample(v, 1, 1); *b = Sample(v, 2, 2);
      return;
    case Grey8:
    case Grey4:
    case Bilevel:
      *r = *g = *b = v * 255 / max;
      return;
    case BilevelWhite:
      *r = *g = *b = (max - v) * 255 / max;
      return;
  }
}

class TiffKindTest : public TiffReaderTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(TiffKindTest, ConvertsToColourTopRowFirst) {
  const Kind kind = GetParam().kind;
  ASSERT_EQ(OpenAndRead(Write({MakePage(kind)})), 1);
  ASSERT_EQ(bitmap_.Width(), kWidth);
  ASSERT_EQ(bitmap_.Height(), kHeight);
  ASSERT_EQ(bitmap_.BitsPerPixel(), 24);  // alpha, where there is one, is dropped
  ASSERT_EQ(bitmap_.PaletteCount(), 0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      int r = 0, g = 0, b = 0;
      ExpectedColour(kind, x, y, &r, &g, &b);
      ExpectRgbAt(x, y, r, g, b);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TiffKindTest,
    ::testing::Values(KindCase{"Rgb8", Rgb8}, KindCase{"Palette8", Palette8}, KindCase{"Grey8", Grey8},
                      KindCase{"Grey4", Grey4}, KindCase{"Bilevel", Bilevel},
                      KindCase{"BilevelMinIsWhite", BilevelWhite}, KindCase{"Palette1", Palette1},
                      KindCase{"RgbAssociatedAlpha", RgbAssocAlpha},
                      KindCase{"RgbUnassociatedAlpha", RgbUnassocAlpha}),
    [](const ::testing::TestParamInfo<KindCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------------------------------------

class TiffFlipTest : public TiffReaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(TiffFlipTest, RowsComeOutTopDown) {
  const int height = GetParam();
  Page page;
  page.width = 3;
  page.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < 3; ++x) page.data.insert(page.data.end(), {uint8_t(10 + y), uint8_t(20 * x), uint8_t(200 - y)});
  }
  ASSERT_EQ(OpenAndRead(Write({page})), 1);
  ASSERT_EQ(bitmap_.Height(), height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < 3; ++x) ExpectRgbAt(x, y, 10 + y, 20 * x, 200 - y);
  }
}

INSTANTIATE_TEST_SUITE_P(Heights, TiffFlipTest, ::testing::Values(1, 2, 3));

TEST_F(TiffReaderTest, OnlyTheFirstPageIsRead) {
  Page first = MakePage(Rgb8);
  Page second;
  second.width = 12;
  second.height = 7;
  second.data.assign(12 * 7 * 3, 0x80);
  ASSERT_EQ(OpenAndRead(Write({first, second})), 1);
  ASSERT_EQ(bitmap_.Width(), kWidth);
  ASSERT_EQ(bitmap_.Height(), kHeight);
  ExpectRgbAt(34, 38, Sample(34, 38, 0), Sample(34, 38, 1), Sample(34, 38, 2));
}

TEST_F(TiffReaderTest, ReportsEveryRowThenTheLastOnceMore) {
  ASSERT_EQ(OpenAndRead(Write({MakePage(Rgb8)})), 1);
  EXPECT_EQ(Reports(), ExpectedProgress(kHeight, 1));
}

TEST_F(TiffReaderTest, LifecycleAndTemporaryFiles) {
  const std::string path = Write({MakePage(Grey8)});
  EXPECT_EQ(reader_.Read(), 0);  // not opened
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Open(path.c_str(), nullptr, nullptr), 0);

  // A bitmap of the right shape is filled in place; any other is made anew.
  ASSERT_EQ(bitmap_.Create(kWidth, kHeight, 24, 0), 1);
  const std::string store = bitmap_.StorePath();
  ASSERT_EQ(OpenAndRead(path), 1);
  EXPECT_EQ(bitmap_.StorePath(), store);
  ASSERT_EQ(bitmap_.Create(kWidth, kHeight, 8, 0), 1);
  ASSERT_EQ(OpenAndRead(path), 1);
  EXPECT_EQ(bitmap_.BitsPerPixel(), 24);

  // The same reader takes the next file after a read, and after a refusal.
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("note.txt"), "not a picture"));
  EXPECT_EQ(reader_.Open(PathIn("note.txt").c_str(), &bitmap_, nullptr), 0);
  ASSERT_TRUE(WriteTiff(path, {MakePage(Palette8)}));
  ASSERT_EQ(OpenAndRead(path), 1);
  int r = 0, g = 0, b = 0;
  ExpectedColour(Palette8, 3, 5, &r, &g, &b);
  ExpectRgbAt(3, 5, r, g, b);
  EXPECT_EQ(reader_.Read(), 0);  // Read closed the reader

  bitmap_.Release();
  std::vector<std::string> left = FolderEntries(TempDir());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"note.txt", "picture.tif"}));
}

// ------------------------------------------------------------------------------------------------
// Headers built in code.

struct HeaderCase {
  const char* name;
  std::vector<Entry> entries;
  int opened;
};
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class TiffHeaderTest : public TiffReaderTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(TiffHeaderTest, OpenDecidesOnTheSizeTags) {
  const std::string path = PathIn("picture.tif");
  ASSERT_TRUE(testsupport::WriteFileBytes(path, BuildTiff(GetParam().entries, std::vector<uint8_t>(35 * 39, 0x55))));
  StderrCapture capture;
  EXPECT_EQ(reader_.Open(path.c_str(), &bitmap_, nullptr), GetParam().opened);
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(bitmap_.Width(), 0);  // Open never touches the bitmap
  EXPECT_EQ(FolderEntries(TempDir()).size(), 1u);
}

std::vector<Entry> Without(std::vector<Entry> entries, uint16_t tag) {
  entries.erase(std::remove_if(entries.begin(), entries.end(), [tag](const Entry& e) { return e.tag == tag; }),
                entries.end());
  return entries;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, TiffHeaderTest,
    ::testing::Values(
        HeaderCase{"Complete", GreyTags(35, 39, 35 * 39), 1},
        HeaderCase{"NoImageWidth", Without(GreyTags(35, 39, 35 * 39), 256), 0},
        HeaderCase{"NoImageLength", Without(GreyTags(35, 39, 35 * 39), 257), 0},
        HeaderCase{"ZeroWidth", GreyTags(0, 39, 35 * 39), 0},
        HeaderCase{"ZeroHeight", GreyTags(35, 0, 35 * 39), 0},
        // The RGBA raster of 4 bytes a pixel must fit a 32-bit store size.
        HeaderCase{"RasterJustFitsWide", GreyTags(65536, 16383, 35 * 39), 1},
        HeaderCase{"RasterTooLargeWide", GreyTags(65536, 16384, 35 * 39), 0},
        HeaderCase{"RasterJustFitsTall", GreyTags(16383, 65536, 35 * 39), 1},
        HeaderCase{"RasterTooLargeTall", GreyTags(16384, 65536, 35 * 39), 0},
        HeaderCase{"HugeBothWays", GreyTags(0xFFFFFFFFu, 0xFFFFFFFFu, 35 * 39), 0}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST_F(TiffReaderTest, HandBuiltGreyPictureDecodes) {
  std::vector<uint8_t> data(35 * 39);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 3);
  const std::string path = PathIn("picture.tif");
  ASSERT_TRUE(testsupport::WriteFileBytes(path, BuildTiff(GreyTags(35, 39, 35 * 39), data)));
  ASSERT_EQ(OpenAndRead(path), 1);
  for (int y = 0; y < 39; ++y) {
    for (int x = 0; x < 35; ++x) {
      const int v = data[static_cast<size_t>(y * 35 + x)];
      ExpectRgbAt(x, y, v, v, v);
    }
  }
}

// A tiny file that claims one strip of more than a gigabyte (16-bit RGB, 16384 x 10923, deflate)
// fails in Read instead of having libtiff take that memory.
TEST_F(TiffReaderTest, GiganticSingleStripFailsWithoutTakingTheMemory) {
  std::vector<uint8_t> zeros(4096, 0);
  std::vector<uint8_t> packed(compressBound(zeros.size()));
  uLongf packedSize = packed.size();
  ASSERT_EQ(compress(packed.data(), &packedSize, zeros.data(), zeros.size()), Z_OK);
  packed.resize(packedSize);
  const uint32_t width = 16384, height = 10923;
  const std::string path = PathIn("picture.tif");
  ASSERT_TRUE(testsupport::WriteFileBytes(
      path, BuildTiff({{256, 4, {width}}, {257, 4, {height}}, {258, 3, {16, 16, 16}}, {259, 3, {8}},
                       {262, 3, {2}}, {273, 4, {8}}, {277, 3, {3}}, {278, 4, {height}},
                       {279, 4, {static_cast<uint32_t>(packed.size())}}, {284, 3, {1}}},
                      packed)));
  int opened = 0;
  EXPECT_EQ(OpenAndRead(path, &opened), 0);
  EXPECT_EQ(opened, 1);
}

// ------------------------------------------------------------------------------------------------
// Damaged files, refusals.

// Strips of 13 rows of the 35 x 39 grey picture; the data of the first two is at offset 8.
std::vector<Entry> ThreeStripTags(uint32_t thirdOffset) {
  std::vector<Entry> tags = GreyTags(35, 39, 0);
  for (Entry& e : tags) {
    if (e.tag == 273) e.values = {8, 8 + 13 * 35, thirdOffset};
    if (e.tag == 278) e.values = {13};
    if (e.tag == 279) e.values = {13 * 35, 13 * 35, 13 * 35};
  }
  return tags;
}

std::vector<uint8_t> GreyRamp(size_t bytes) {
  std::vector<uint8_t> data(bytes);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 5 + 1);
  return data;
}

TEST_F(TiffReaderTest, StripBeyondTheEndFailsInReadWhenNothingDecodes) {
  std::vector<Entry> tags = GreyTags(35, 39, 35 * 39);
  for (Entry& e : tags) {
    if (e.tag == 273) e.values = {1000000};
  }
  const std::string path = PathIn("picture.tif");
  ASSERT_TRUE(testsupport::WriteFileBytes(path, BuildTiff(tags, GreyRamp(100))));
  int opened = 0;
  EXPECT_EQ(OpenAndRead(path, &opened), 0);
  EXPECT_EQ(opened, 1);
  // A failed read still ends with the report of the last row.
  EXPECT_EQ(Reports(), (std::vector<readertest::ProgressReport>{{1, 100, 38, 0}}));
}

// libtiff is asked not to stop at the first damaged strip: what decodes is kept.
TEST_F(TiffReaderTest, DamagedLaterStripStillGivesThePicture) {
  const std::vector<uint8_t> data = GreyRamp(2 * 13 * 35);
  const std::string path = PathIn("picture.tif");
  ASSERT_TRUE(testsupport::WriteFileBytes(path, BuildTiff(ThreeStripTags(1000000), data)));
  ASSERT_EQ(OpenAndRead(path), 1);
  for (int y = 0; y < 26; ++y) {
    for (int x = 0; x < 35; ++x) {
      const int v = data[static_cast<size_t>(y * 35 + x)];
      ExpectRgbAt(x, y, v, v, v);
    }
  }
}

TEST_F(TiffReaderTest, NotTiffFilesAreRefusedSilently) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"text", {'h', 'e', 'l', 'l', 'o', '\n'}},
      {"png signature", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13}},
      {"header only", {'I', 'I', 42, 0}},
      {"directory beyond the end", {'M', 'M', 0, 42, 0x7F, 0xFF, 0xFF, 0xF0}},
      {"bigtiff header only", {'I', 'I', 43, 0, 8, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = PathIn("picture.tif");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, c.bytes));
    EXPECT_EQ(OpenAndRead(path), 0);
    EXPECT_EQ(bitmap_.Width(), 0);
  }
  EXPECT_EQ(OpenAndRead(PathIn("missing.tif")), 0);
  EXPECT_EQ(OpenAndRead(TempDir()), 0);
  EXPECT_TRUE(Reports().empty());
}

// ------------------------------------------------------------------------------------------------
// The public corpus: every file has its expected outcome, and what decodes matches libtiff's RGBA
// interface used straight.


struct CorpusCase {
  const char* file;
  Outcome outcome;
};
void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.file; }

const CorpusCase kTiffCorpus[] = {
    {"exiftool_ExifTool.tif", Decodes},
    {"im_input_256_planar_separate.tiff", Decodes},
    {"im_input_gray_12bit.tiff", Decodes},  // 12 bits stored in 16
    {"im_input_truecolor.tiff", Decodes},
    {"libtiff_logluv-3c-16b.tiff", Decodes},
    {"libtiff_minisblack-1c-16b.tiff", Decodes},
    {"libtiff_minisblack-1c-8b.tiff", Decodes},
    {"libtiff_miniswhite-1c-1b.tiff", Decodes},
    {"libtiff_palette-1c-1b.tiff", Decodes},
    {"libtiff_palette-1c-8b.tiff", Decodes},
    {"libtiff_quad-lzw-compat.tiff", Decodes},
    {"libtiff_rgb-3c-8b.tiff", Decodes},
    {"pil_10ct_32bit_128.tiff", ReadFails},  // 32-bit samples: the RGBA interface cannot render
    {"pil_12bit.cropped.tif", ReadFails},    // 12-bit samples: likewise
    {"pil_cmx3g8_wv_1998.260_0745_mcidas.tiff", Decodes},
    {"pil_compression.tif", Decodes},
    {"pil_copyleft.tiff", Decodes},
    {"pil_crash-0c7e0e8e11ce787078f00b5b0ca409a167f070e0.tif", ReadFails},
    {"pil_crash-0da013a13571cc8eb457a39fee8db18f8a3c7127.tif", Decodes},  // damaged G4, partly drawn
    {"pil_crash-2020-10-test.tif", Decodes},
    {"pil_crash-86214e58da443d2b80820cff9677a38a33dcbbca.tif", ReadFails},
    {"pil_g4-fillorder-test.tif", Decodes},
    {"pil_g4_orientation_6.tif", Decodes},
    {"pil_hopper.Lab.tif", Decodes},
    {"pil_hopper.tif", Decodes},
    {"pil_hopper4.tif", Decodes},
    {"pil_hopper_bigtiff.tif", Decodes},
    {"pil_hopper_g4.tif", Decodes},
    {"pil_hopper_gray_4bpp.tif", Decodes},
    {"pil_hopper_jpg.tif", Decodes},
    {"pil_hopper_lzma.tif", Decodes},
    {"pil_hopper_lzw.tif", Decodes},
    {"pil_hopper_webp.tif", Decodes},
    {"pil_libtiff_segfault.tif", ReadFails},
    {"pil_multipage.tiff", Decodes},
    {"pil_old-style-jpeg-compression.tif", Decodes},
    {"pil_oom-225817ca0f8c663be7ab4b9e717b02c661e66834.tif", Refused},
    {"pil_seek_too_large.tif", Refused},
    {"pil_separate_planar_extra_samples.tiff", Decodes},
    {"pil_tiff_16bit_RGB.tiff", Decodes},
    {"pil_tiff_strip_cmyk_jpeg.tif", Decodes},
    {"pil_tiff_strip_planar_lzw.tiff", Decodes},
    {"pil_tiff_strip_planar_raw_with_overviews.tif", Decodes},
    {"pil_tiff_strip_raw.tif", Decodes},
    {"pil_tiff_strip_ycbcr_jpeg_2x2_sampling.tif", Decodes},
    {"pil_tiff_tiled_raw.tif", Decodes},
    {"pil_tiff_wrong_bits_per_sample.tiff", Decodes},
    {"pil_total-pages-zero.tif", Decodes},
    {"vips_2bit.tif", Decodes},
    {"vips_ojpeg-strip.tif", Decodes},
    {"vips_sample.tif", Decodes},
    {"zig_be_sample-rgb24-single-strip.tiff", Decodes},
    {"zig_ccitt_rle.tiff", Decodes},
    {"zig_sample-grayscale8-deflate.tiff", Decodes},
    {"zig_sample-monob-raw.tiff", Decodes},
    {"zig_sample-pal8-packbits.tiff", Decodes},
    {"zig_sample-rgb24-lzw.tiff", Decodes},
    {"zig_sample-rgba-lzw.tiff", Decodes},
};

int DiscardTiffMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff straight: the first page through TIFFReadRGBAImage, turned top-down, alpha dropped.
bool ReferenceDecode(const std::string& path, uint32_t* width, uint32_t* height, std::vector<uint8_t>* rgb) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, DiscardTiffMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, DiscardTiffMessage, nullptr);
  TIFF* tif = TIFFOpenExt(path.c_str(), "r", options);
  TIFFOpenOptionsFree(options);
  if (tif == nullptr) return false;
  *width = *height = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, height);
  std::vector<uint32_t> raster(static_cast<size_t>(*width) * *height);
  const bool ok = !raster.empty() && TIFFReadRGBAImage(tif, *width, *height, raster.data(), 0) == 1;
  TIFFClose(tif);
  if (!ok) return false;
  rgb->clear();
  for (uint32_t y = 0; y < *height; ++y) {
    for (uint32_t x = 0; x < *width; ++x) {
      const uint32_t p = raster[static_cast<size_t>(*height - 1 - y) * *width + x];
      rgb->insert(rgb->end(), {uint8_t(TIFFGetR(p)), uint8_t(TIFFGetG(p)), uint8_t(TIFFGetB(p))});
    }
  }
  return true;
}

std::string CorpusPath(const char* file) { return testsupport::CorpusDir() + "/tiff/" + file; }

class TiffCorpusTest : public TiffReaderTest, public ::testing::WithParamInterface<CorpusCase> {};

TEST_P(TiffCorpusTest, OutcomeAndPixelsAsExpected) {
  SKIP_WITHOUT_CORPUS();
  const std::string path = CorpusPath(GetParam().file);
  ASSERT_FALSE(testsupport::ReadFileBytes(path).empty()) << path;
  int opened = 0;
  const int read = OpenAndRead(path, &opened);
  if (!readertest::ExpectOutcome(GetParam().outcome, opened, read, bitmap_)) return;
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> expected;
  ASSERT_TRUE(ReferenceDecode(path, &width, &height, &expected));
  ASSERT_EQ(bitmap_.Width(), static_cast<int>(width));
  ASSERT_EQ(bitmap_.Height(), static_cast<int>(height));
  ASSERT_EQ(bitmap_.BitsPerPixel(), 24);
  ASSERT_EQ(bitmap_.DataSize(), expected.size());
  EXPECT_EQ(std::memcmp(bitmap_.Bits(), expected.data(), expected.size()), 0);
  EXPECT_EQ(Reports(), ExpectedProgress(static_cast<int>(height), 1));
}

std::string CaseName(const char* file) {
  std::string name = file;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, TiffCorpusTest, ::testing::ValuesIn(kTiffCorpus),
                         [](const ::testing::TestParamInfo<CorpusCase>& info) { return CaseName(info.param.file); });

// A file added to the corpus needs its line in the table above.
TEST(TiffCorpusTableTest, ListsEveryCorpusFile) {
  SKIP_WITHOUT_CORPUS();
  std::vector<std::string> listed;
  for (const CorpusCase& c : kTiffCorpus) listed.push_back(c.file);
  std::vector<std::string> present = FolderEntries(testsupport::CorpusDir() + "/tiff");
  std::sort(listed.begin(), listed.end());
  std::sort(present.begin(), present.end());
  EXPECT_EQ(present, listed);
}

}  // namespace
