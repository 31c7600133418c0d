#include "engine/readers/pcx_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "magick_reference.h"
#include "reader_test_support.h"

namespace {

using readertest::ExpectedReports;
using readertest::PatternColour;
using readertest::Put16;
using readertest::RecordProgress;
using readertest::Reports;
using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 35, kHeight = 39;

// ---------------------------------------------------------------------------------------------
// The run-length code

struct LineCase {
  const char* name;
  Bytes source;
  int lineLength;
  Bytes line;     // expected decoded line; empty when the code ends early
  int consumed;   // bytes of source taken; -1 when the code ends early
};

const LineCase kLineCases[] = {
    {"RunOfFive", {0xC5, 0x07}, 5, {7, 7, 7, 7, 7}, 2},
    {"EmptyRunStillTakesItsValue", {0xC0, 0x55, 0x01, 0x02}, 2, {1, 2}, 4},
    {"LiteralBF", {0xBF, 0x00, 0x3F}, 3, {0xBF, 0x00, 0x3F}, 3},
    {"RunCutAtLineEnd", {0xFF, 0x22, 0x09}, 10, Bytes(10, 0x22), 2},
    {"RunAfterLiteralsCut", {0x01, 0xC4, 0x66, 0x77}, 3, {1, 0x66, 0x66}, 3},
    {"StopsWhenTheLineIsFull", {0x01, 0x02, 0xC0, 0x03}, 2, {1, 2}, 2},
    {"EndsInsideTheLine", {0xC3, 0x01}, 4, {}, -1},
    {"EndsBeforeARunValue", {0x01, 0xC3}, 4, {}, -1},
    {"NothingAtAll", {}, 1, {}, -1},
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.name; }

class DecodePcxLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(DecodePcxLineTest, Decodes) {
  const LineCase& c = GetParam();
  // Exactly sized heap blocks, so a read or write past either end shows under AddressSanitizer.
  std::vector<uint8_t> source(c.source);
  std::vector<uint8_t> line(static_cast<size_t>(c.lineLength), 0xEE);
  const uint8_t* end = source.data() + source.size();
  const uint8_t* after =
      DecodePcxLine(line.data(), c.lineLength, source.data(), end, c.lineLength);
  if (c.consumed < 0) {
    EXPECT_EQ(after, nullptr);
    return;
  }
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after - source.data(), c.consumed);
  EXPECT_EQ(line, c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Code, DecodePcxLineTest, testing::ValuesIn(kLineCases),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// Bytes of the line beyond the destination are decoded and dropped, never written.
TEST(DecodePcxLine, StoresOnlyWhatTheDestinationHolds) {
  const Bytes source = {0x01, 0xC6, 0x09, 0x02, 0x03};
  for (int size : {0, 1, 3, 7, 8}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> destination(static_cast<size_t>(size), 0xEE);
    const uint8_t* after = DecodePcxLine(destination.data(), size, source.data(),
                                         source.data() + source.size(), 9);
    ASSERT_EQ(after, source.data() + source.size());
    const Bytes full = {1, 9, 9, 9, 9, 9, 9, 2, 3};
    EXPECT_EQ(destination, Bytes(full.begin(), full.begin() + std::min(size, 9)));
  }
}

// ---------------------------------------------------------------------------------------------
// Files built in code

struct PcxLayout {
  uint8_t manufacturer = 0x0A;
  uint8_t encoding = 1;
  uint8_t bitsPerPlane = 8;
  uint8_t planes = 1;
  int xmin = 10, ymin = 20;  // the window need not start at 0
  int width = kWidth, height = kHeight;
  int bytesPerLine = kWidth + 1;
};

Bytes Header(const PcxLayout& s) {
  Bytes b(128, 0);
  b[0] = s.manufacturer;
  b[1] = 5;
  b[2] = s.encoding;
  b[3] = s.bitsPerPlane;
  Put16(&b, 4, static_cast<uint32_t>(s.xmin));
  Put16(&b, 6, static_cast<uint32_t>(s.ymin));
  Put16(&b, 8, static_cast<uint32_t>(s.xmin + s.width - 1));
  Put16(&b, 10, static_cast<uint32_t>(s.ymin + s.height - 1));
  b[65] = s.planes;
  Put16(&b, 66, static_cast<uint32_t>(s.bytesPerLine));
  return b;
}

// A plain run-length encoder, separate from the decoder under test.
void AppendEncoded(Bytes* out, const Bytes& line) {
  for (size_t i = 0; i < line.size();) {
    size_t run = 1;
    while (i + run < line.size() && line[i + run] == line[i] && run < 63) ++run;
    if (run > 1 || line[i] >= 0xC0) {
      out->push_back(static_cast<uint8_t>(0xC0 | run));
      out->push_back(line[i]);
    } else {
      out->push_back(line[i]);
    }
    i += run;
  }
}

uint8_t PatternIndex(int x, int y) { return static_cast<uint8_t>(x * 7 + y * 13); }

void AppendPalette(Bytes* b) {
  for (int i = 0; i < 256; ++i) {
    b->push_back(static_cast<uint8_t>(i));
    b->push_back(static_cast<uint8_t>(255 - i));
    b->push_back(static_cast<uint8_t>(i * 3));
  }
}

// An 8-bit file of PatternIndex; the bytes past the width of each line are 0xC7, a value that
// would show wherever it was kept.
Bytes MakePaletted(const PcxLayout& s, uint8_t marker = 0x0C) {
  Bytes b = Header(s);
  for (int y = 0; y < s.height; ++y) {
    Bytes line(static_cast<size_t>(s.planes * s.bytesPerLine), 0xC7);
    for (int x = 0; x < std::min<int>(s.width, static_cast<int>(line.size())); ++x) {
      line[static_cast<size_t>(x)] = PatternIndex(x, y);
    }
    AppendEncoded(&b, line);
  }
  b.push_back(marker);
  AppendPalette(&b);
  return b;
}

// A 24-bit file of PatternColour in planes red, green, blue of bytesPerLine bytes each.
Bytes MakePlanes(const PcxLayout& s) {
  PcxLayout layout = s;
  layout.planes = 3;
  Bytes b = Header(layout);
  for (int y = 0; y < s.height; ++y) {
    Bytes line(static_cast<size_t>(3 * s.bytesPerLine), 0xC7);
    for (int x = 0; x < s.width; ++x) {
      const readertest::Rgb c = PatternColour(x, y);
      line[static_cast<size_t>(x)] = c.r;
      line[static_cast<size_t>(s.bytesPerLine + x)] = c.g;
      line[static_cast<size_t>(2 * s.bytesPerLine + x)] = c.b;
    }
    AppendEncoded(&b, line);
  }
  return b;
}

void ExpectPalettedPattern(const Bitmap& bitmap, int width, int height) {
  ASSERT_EQ(bitmap.Width(), width);
  ASSERT_EQ(bitmap.Height(), height);
  ASSERT_EQ(bitmap.BitsPerPixel(), 8);
  ASSERT_EQ(bitmap.PaletteCount(), 256);
  for (int i = 0; i < 256; ++i) {
    const PaletteEntry& e = bitmap.Palette()[i];
    ASSERT_TRUE(e.red == i && e.green == 255 - i && e.blue == static_cast<uint8_t>(i * 3)) << i;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(bitmap.Row(y)[x], PatternIndex(x, y)) << "pixel " << x << "," << y;
    }
  }
}

class PcxReaderTest : public readertest::ReaderTest {
 protected:
  int OpenBytes(const Bytes& bytes, Bitmap* bitmap, ProgressCallback callback = nullptr) {
    return reader_.Open(Input("picture.pcx", bytes).c_str(), bitmap, callback);
  }
  PcxReader reader_;
};

// The byte before the palette is not looked at.
TEST_F(PcxReaderTest, PalettedPictureTakesTheLast768BytesAsPalette) {
  for (uint8_t marker : {0x0C, 0x00}) {
    SCOPED_TRACE(static_cast<int>(marker));
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(MakePaletted(PcxLayout{}, marker), &bitmap), 1);
    ASSERT_EQ(reader_.Read(), 1);
    ExpectPalettedPattern(bitmap, kWidth, kHeight);
  }
}

TEST_F(PcxReaderTest, ThreePlanesAreRedGreenBlue) {
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakePlanes(PcxLayout{}), &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  readertest::ExpectPattern(bitmap, kWidth, kHeight);
}

// A width of 3 with 4 bytes per line keeps three of each four decoded bytes.
TEST_F(PcxReaderTest, BytesPerLineBeyondTheWidthAreDropped) {
  PcxLayout layout;
  layout.width = 3;
  layout.bytesPerLine = 4;
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakePaletted(layout), &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  ExpectPalettedPattern(bitmap, 3, kHeight);
}

TEST_F(PcxReaderTest, ShortLinesLeaveTheRestOfTheRowBlank) {
  PcxLayout layout;
  layout.width = 5;
  layout.height = 2;
  layout.bytesPerLine = 2;
  Bytes bytes = Header(layout);
  for (uint8_t v : {0x11, 0x22, 0x33, 0x44}) bytes.push_back(v);
  bytes.push_back(0x0C);
  AppendPalette(&bytes);
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(Bytes(bitmap.Bits(), bitmap.Bits() + 10),
            (Bytes{0x11, 0x22, 0, 0, 0, 0x33, 0x44, 0, 0, 0}));
}

// A run of 63 near the end of a line is cut there, and the next line starts after its value.
TEST_F(PcxReaderTest, RunIsCutAtTheEndOfTheLine) {
  PcxLayout layout;
  layout.width = 10;
  layout.height = 2;
  layout.bytesPerLine = 10;
  Bytes bytes = Header(layout);
  for (uint8_t v : {0x01, 0x02, 0xFF, 0x22}) bytes.push_back(v);
  for (uint8_t v = 0; v < 10; ++v) bytes.push_back(v);
  bytes.push_back(0x0C);
  AppendPalette(&bytes);
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(Bytes(bitmap.Row(0), bitmap.Row(0) + 10),
            (Bytes{1, 2, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22}));
  EXPECT_EQ(Bytes(bitmap.Row(1), bitmap.Row(1) + 10), (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(PcxReaderTest, EncodingByteIsNotLookedAt) {
  PcxLayout layout;
  layout.encoding = 0;
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakePaletted(layout), &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  ExpectPalettedPattern(bitmap, kWidth, kHeight);
}

// Eight 1-bit planes and two 4-bit planes are read with the byte layout of one 8-bit plane.
TEST_F(PcxReaderTest, OtherSplitsOfEightBitsReadAsBytes) {
  for (auto [planes, bits] : {std::pair{8, 1}, {2, 4}, {4, 2}}) {
    SCOPED_TRACE(testing::Message() << planes << " x " << bits);
    PcxLayout layout;
    layout.planes = static_cast<uint8_t>(planes);
    layout.bitsPerPlane = static_cast<uint8_t>(bits);
    layout.bytesPerLine = 6;
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(MakePaletted(layout), &bitmap), 1);
    ASSERT_EQ(reader_.Read(), 1);
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    for (int x = 0; x < kWidth; ++x) {
      ASSERT_EQ(bitmap.Row(2)[x], x < planes * 6 ? PatternIndex(x, 2) : 0) << x;
    }
  }
}

TEST_F(PcxReaderTest, RefusesOtherDepthsAndManufacturers) {
  struct Case {
    int planes, bits;
  };
  for (const Case& c : {Case{1, 1}, {1, 2}, {1, 4}, {4, 1}, {1, 16}, {2, 8}, {1, 32}, {4, 8},
                        {0, 8}, {3, 0}}) {
    PcxLayout layout;
    layout.planes = static_cast<uint8_t>(c.planes);
    layout.bitsPerPlane = static_cast<uint8_t>(c.bits);
    EXPECT_EQ(OpenBytes(MakePaletted(layout), nullptr), 0) << c.planes << " x " << c.bits;
  }
  for (uint8_t manufacturer : {0x00, 0x0B, 0x8A}) {
    PcxLayout layout;
    layout.manufacturer = manufacturer;
    EXPECT_EQ(OpenBytes(MakePaletted(layout), nullptr), 0) << static_cast<int>(manufacturer);
  }
  const Bytes header = Header(PcxLayout{});
  EXPECT_EQ(OpenBytes(Bytes(header.begin(), header.end() - 1), nullptr), 0);  // 127 bytes
  EXPECT_EQ(reader_.Open(PathIn("missing.pcx").c_str(), nullptr, nullptr), 0);
}

// Two pixels is the least accepted in either direction.
TEST_F(PcxReaderTest, OnePixelWideOrHighIsRefused) {
  for (auto [width, height, expected] : {std::tuple{1, 5, 0}, {5, 1, 0}, {2, 2, 1}, {2, 5, 1}}) {
    PcxLayout layout;
    layout.width = width;
    layout.height = height;
    layout.bytesPerLine = 6;
    Bitmap bitmap;
    EXPECT_EQ(OpenBytes(MakePaletted(layout), &bitmap), expected) << width << " x " << height;
    if (expected == 1) {
      EXPECT_EQ(reader_.Read(), 1);
    }
  }
}

TEST_F(PcxReaderTest, ReversedWindowPassesOpenAndFailsInRead) {
  for (auto [width, height] : {std::pair{-3, 5}, {5, -3}}) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    PcxLayout layout;
    layout.xmin = layout.ymin = 100;
    layout.width = width;
    layout.height = height;
    layout.bytesPerLine = 6;
    Bytes bytes = Header(layout);
    bytes.resize(2000, 0);
    for (uint8_t planes : {1, 3}) {
      bytes[65] = planes;
      Bitmap bitmap;
      ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
      EXPECT_EQ(reader_.Read(), 0);
      EXPECT_EQ(bitmap.Width(), 0);
    }
  }
}

// The 24-bit line buffer holds 6 x width bytes; the decoded line and the plane reads at up to
// 2 x bytes per line + width - 1 must fit it. N fits and is read, N + 1 is refused.
TEST_F(PcxReaderTest, PlanesMustFitTheLineBuffer) {
  struct Case {
    int planes, bits, width, bytesPerLine, expected;
  };
  for (const Case& c : {Case{3, 8, 5, 10, 1}, {3, 8, 5, 11, 0},    // line length 3 x bpl
                        Case{1, 24, 4, 10, 1}, {1, 24, 4, 11, 0},  // planes at 2 x bpl + x
                        Case{24, 1, 8, 2, 1}, {24, 1, 8, 3, 0},    // line length 24 x bpl
                        Case{3, 8, 5, 0, 0}, {1, 8, 5, 0, 0}}) {   // no line at all
    SCOPED_TRACE(testing::Message() << c.planes << " x " << c.bits << ", width " << c.width
                                    << ", " << c.bytesPerLine << " bytes per line");
    PcxLayout layout;
    layout.planes = static_cast<uint8_t>(c.planes);
    layout.bitsPerPlane = static_cast<uint8_t>(c.bits);
    layout.width = c.width;
    layout.bytesPerLine = c.bytesPerLine;
    Bytes bytes = Header(layout);
    // Lines of varied bytes, so that every plane read has something to take.
    for (int y = 0; y < layout.height; ++y) {
      Bytes line(static_cast<size_t>(c.planes * c.bytesPerLine));
      for (size_t i = 0; i < line.size(); ++i) line[i] = PatternIndex(static_cast<int>(i), y);
      AppendEncoded(&bytes, line);
    }
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(bytes, &bitmap), c.expected);
    if (c.expected == 0) continue;
    ASSERT_EQ(reader_.Read(), 1);
    ASSERT_EQ(bitmap.BitsPerPixel(), 24);
    // Plane bytes past the decoded line were never written: they read as zero.
    const int lineLength = c.planes * c.bytesPerLine;
    auto lineByte = [&](int i, int y) -> uint8_t {
      return i < lineLength ? PatternIndex(i, y) : 0;
    };
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const uint8_t* p = bitmap.Row(y) + 3 * x;
        ASSERT_EQ(Bytes(p, p + 3), (Bytes{lineByte(x, y), lineByte(c.bytesPerLine + x, y),
                                          lineByte(2 * c.bytesPerLine + x, y)}))
            << "pixel " << x << "," << y;
      }
    }
  }
}

// The smallest files around a 2 x 2 picture: its code, less one byte, and none at all.
TEST_F(PcxReaderTest, FileMustHoldTheWholeCode) {
  PcxLayout layout;
  layout.width = layout.height = 2;
  layout.bytesPerLine = 2;
  auto paletted = [&](size_t codeBytes, size_t paletteBytes) {
    const Bytes code = {0xC2, 0x05, 0xC2, 0x06};
    Bytes b = Header(layout);
    b.insert(b.end(), code.begin(), code.begin() + codeBytes);
    Bytes palette;
    AppendPalette(&palette);
    b.insert(b.end(), palette.begin(), palette.begin() + paletteBytes);
    return b;
  };
  auto planes = [&](size_t codeBytes) {
    PcxLayout threePlanes = layout;
    threePlanes.planes = 3;
    Bytes b = Header(threePlanes);
    for (size_t i = 0; i < codeBytes; ++i) b.push_back(static_cast<uint8_t>(i + 1));  // literals
    return b;
  };
  struct Case {
    const char* name;
    Bytes bytes;
    int read;
  };
  const Case cases[] = {
      {"paletted, whole code", paletted(4, 768), 1},
      {"paletted, one byte of code short", paletted(3, 768), 0},
      {"paletted, 896 bytes", paletted(0, 768), 0},
      {"paletted, 895 bytes", paletted(0, 767), 0},
      {"planes, whole code", planes(12), 1},
      {"planes, one byte short", planes(11), 0},
      {"planes, 128 bytes", planes(0), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(c.bytes, &bitmap, RecordProgress), 1);
    EXPECT_EQ(reader_.Read(), c.read);
    ASSERT_FALSE(Reports().empty());
    EXPECT_EQ(Reports().back(), (readertest::ProgressReport{1, 100, 1, 0}));
    Reports().clear();
  }
}

// Code that ends early must not be continued into the palette.
TEST_F(PcxReaderTest, CodeEndingBeforeThePaletteFails) {
  PcxLayout layout;
  layout.width = layout.height = 2;
  layout.bytesPerLine = 2;
  Bytes bytes = Header(layout);
  for (uint8_t v : {0xC2, 0x05, 0xC2}) bytes.push_back(v);  // second run lacks its value
  AppendPalette(&bytes);
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
  EXPECT_EQ(reader_.Read(), 0);
}

TEST_F(PcxReaderTest, ReportsEveryRowAndTheEnd) {
  PcxLayout layout;
  layout.height = 3;
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakePlanes(layout), &bitmap, RecordProgress), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(Reports(), ExpectedReports({0, 1, 2}, 3));

  Reports().clear();
  Bytes bytes = MakePaletted(layout);
  bytes.erase(bytes.begin() + 128 + 3, bytes.end() - 769);  // code for little of the first line
  ASSERT_EQ(OpenBytes(bytes, &bitmap, RecordProgress), 1);
  EXPECT_EQ(reader_.Read(), 0);
  EXPECT_EQ(Reports(), ExpectedReports({}, 3));
}

// The compressed data lives in a temporary file for the length of Read only.
TEST_F(PcxReaderTest, KeepsNoTemporaryFileBeyondTheBitmap) {
  PcxLayout layout;
  Bytes good = MakePaletted(layout);
  Bytes bad = good;
  bad.erase(bad.begin() + 200, bad.end() - 768);
  for (const Bytes* bytes : {&good, &bad}) {
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(*bytes, &bitmap), 1);
    EXPECT_EQ(reader_.Read(), bytes == &good ? 1 : 0);
    EXPECT_EQ(StrayFiles(bitmap.StorePath()), std::vector<std::string>{});
  }
}

TEST_F(PcxReaderTest, CloseIsSafeAndTheReaderIsReusable) {
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Read(), 0);
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakePlanes(PcxLayout{}), &bitmap), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Read(), 0);
  ASSERT_EQ(OpenBytes(MakePaletted(PcxLayout{}), &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(reader_.Read(), 0);
  ExpectPalettedPattern(bitmap, kWidth, kHeight);
}

// ---------------------------------------------------------------------------------------------
// The public corpus

struct CorpusCase {
  const char* file;
  int open, read;
};

const CorpusCase kCorpus[] = {
    {"kpcx_gmarbles.pcx", 1, 1},
    {"pil_odd_stride.pcx", 1, 1},
    {"zig_test-bpp24.pcx", 1, 1},
    {"zig_test-bpp8.pcx", 1, 1},
    {"pil_01r_00.pcx", 1, 0},  // 836 bytes: no room for code and palette
    {"kpcx_CGA_FSD.pcx", 0, 0},
    {"kpcx_tiny.pcx", 0, 0},
    {"pil_ossfuzz-4836216264589312.pcx", 0, 0},
    {"pil_p_4_planes.pcx", 0, 0},
    {"pil_pcx_overrun.pcx", 0, 0},
    {"zig_test-bpp1.pcx", 0, 0},
    {"zig_test-bpp4.pcx", 0, 0},
};

TEST_F(PcxReaderTest, CorpusFilesGiveTheirExpectedResults) {
  SKIP_WITHOUT_CORPUS();
  const std::string folder = testsupport::CorpusDir() + "/pcx/";
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.file);
    Bitmap bitmap;
    ASSERT_EQ(reader_.Open((folder + c.file).c_str(), &bitmap, nullptr), c.open);
    ASSERT_EQ(reader_.Read(), c.read);
    if (c.read == 0) continue;
    const readertest::Decoded expected = readertest::DecodeWithMagick("PCX", folder + c.file);
    ASSERT_TRUE(expected.ok);
    ASSERT_EQ(bitmap.Width(), expected.width);
    ASSERT_EQ(bitmap.Height(), expected.height);
    Bitmap colour;
    ASSERT_EQ(bitmap.ConvertTo(&colour, 24, 0), 1);  // palette indexes to their colours
    EXPECT_TRUE(std::equal(expected.rgb.begin(), expected.rgb.end(), colour.Bits()));
  }
}

TEST_F(PcxReaderTest, CorpusHasNoFileWithoutAnExpectation) {
  SKIP_WITHOUT_CORPUS();
  for (const std::string& name : readertest::FolderEntries(testsupport::CorpusDir() + "/pcx")) {
    EXPECT_TRUE(std::any_of(std::begin(kCorpus), std::end(kCorpus),
                            [&](const CorpusCase& c) { return name == c.file; }))
        << name;
  }
}

}  // namespace
