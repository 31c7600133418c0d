#include "engine/readers/png_reader.h"

#include <gtest/gtest.h>
#include <magick/api.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <ostream>
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
using readertest::ProgressReport;
using readertest::Reports;
using readertest::RecordProgress;
using readertest::StderrCapture;

constexpr int kWidth = 35, kHeight = 39;  // odd and not square, so a swap shows

uint8_t Sample(int x, int y, int channel) {
  return static_cast<uint8_t>(x * 7 + y * 13 + channel * 101 + ((x * y) & 0x1F));
}

// Runs body with libpng's error return point set; false when libpng jumped back to it. Bodies
// keep nothing that needs destroying in their own frame.
template <typename Body>
bool Guarded(png_structp png, Body&& body) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  body();
  return true;
}

// ------------------------------------------------------------------------------------------------
// Fixtures written with libpng straight.

struct PngFixture {
  int width = kWidth, height = kHeight;
  int bitDepth = 8;
  int colorType = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  int paletteSize = 0;            // colour type 3: entries Sample(i, 0..2)
  std::vector<uint8_t> trnsAlpha;  // colour type 3: tRNS alpha of the first entries
  bool trnsColour = false;        // colour types 0 and 2: tRNS for the value 1 (grey) or (1, 2, 3)
  double gamma = 0;               // gAMA value; 0 for none
  bool text = false;              // a tEXt chunk before the image data
  bool storeOnly = false;         // no zlib compression, image data in IDAT chunks of 1 KiB
};

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    default: return 1;
  }
}

// The sample of channel c of pixel (x, y) as written, at the fixture's bit depth.
int WrittenSample(const PngFixture& fixture, int x, int y, int c) {
  if (fixture.colorType == PNG_COLOR_TYPE_PALETTE) return Sample(x, y, 0) % fixture.paletteSize;
  const int v = Sample(x, y, c);
  return fixture.bitDepth == 16 ? v * 257 : v >> (8 - fixture.bitDepth);
}

std::vector<uint8_t> PackedRows(const PngFixture& fixture) {
  const int channels = Channels(fixture.colorType);
  const size_t rowBytes = (static_cast<size_t>(fixture.width) * channels * fixture.bitDepth + 7) / 8;
  std::vector<uint8_t> data(rowBytes * fixture.height, 0);
  for (int y = 0; y < fixture.height; ++y) {
    uint8_t* row = data.data() + rowBytes * y;
    for (int x = 0; x < fixture.width; ++x) {
      for (int c = 0; c < channels; ++c) {
        const int v = WrittenSample(fixture, x, y, c);
        const int bit = (x * channels + c) * fixture.bitDepth;
        if (fixture.bitDepth == 16) {
          row[bit / 8] = static_cast<uint8_t>(v >> 8);
          row[bit / 8 + 1] = static_cast<uint8_t>(v);
        } else {
          row[bit / 8] |= static_cast<uint8_t>(v << (8 - fixture.bitDepth - bit % 8));
        }
      }
    }
  }
  return data;
}

png_color PaletteColour(int i) { return {Sample(i, 0, 0), Sample(i, 1, 1), Sample(i, 2, 2)}; }

bool WritePng(const std::string& path, const PngFixture& fixture) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const std::vector<uint8_t> data = PackedRows(fixture);
  std::vector<png_bytep> rows(static_cast<size_t>(fixture.height));
  const size_t rowBytes = data.size() / fixture.height;
  for (int y = 0; y < fixture.height; ++y) rows[y] = const_cast<png_bytep>(data.data()) + rowBytes * y;
  std::vector<png_color> palette;
  for (int i = 0; i < fixture.paletteSize; ++i) palette.push_back(PaletteColour(i));
  png_text text = {};
  const bool ok = Guarded(png, [&] {
    png_init_io(png, file);
    if (fixture.storeOnly) {
      png_set_compression_level(png, 0);
      png_set_compression_buffer_size(png, 1024);
    }
    png_set_IHDR(png, info, fixture.width, fixture.height, fixture.bitDepth, fixture.colorType,
                 fixture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!fixture.trnsAlpha.empty()) {
      png_set_tRNS(png, info, fixture.trnsAlpha.data(), static_cast<int>(fixture.trnsAlpha.size()), nullptr);
    }
    if (fixture.trnsColour) {
      png_color_16 colour = {0, 1, 2, 3, 1};
      png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    if (fixture.gamma > 0) png_set_gAMA(png, info, fixture.gamma);
    if (fixture.text) {
      text.compression = PNG_TEXT_COMPRESSION_NONE;
      text.key = const_cast<char*>("Comment");
      text.text = const_cast<char*>("made in a test");
      png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
  });
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  return ok;
}

// Offset of the first chunk of the given name, or 0.
size_t ChunkOffset(const std::vector<uint8_t>& bytes, const char* name) {
  for (size_t at = 8; at + 8 <= bytes.size();) {
    const uint32_t length = uint32_t(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
    if (std::memcmp(&bytes[at + 4], name, 4) == 0) return at;
    at += 12 + static_cast<size_t>(length);
  }
  return 0;
}

uint32_t ChunkLength(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
}

// Puts a chunk with a correct CRC in front of the chunk at offset at.
void InsertChunk(std::vector<uint8_t>* bytes, size_t at, const char* name, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> chunk;
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<uint8_t>(length >> shift));
  chunk.insert(chunk.end(), name, name + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  const uint32_t crc = static_cast<uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4)));
  for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<uint8_t>(crc >> shift));
  bytes->insert(bytes->begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
}

// ------------------------------------------------------------------------------------------------
// libpng straight, for the gamma cases: 8-bit samples with the gamma correction asked for.

bool DecodeWithGamma(const std::string& path, double screenGamma, double fileGamma, std::vector<uint8_t>* pixels) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  const bool ok = Guarded(png, [&] {
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_gamma(png, screenGamma, fileGamma);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    pixels->assign(rowBytes * height, 0);
    for (png_uint_32 y = 0; y < height; ++y) rows.push_back(pixels->data() + rowBytes * y);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
  });
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return ok;
}

// What libpng makes of sample v for a file gamma g on a 2.2 screen: corrected only when the
// product of the two gammas is more than 5 % away from 1.
double Corrected(int v, double fileGamma) {
  if (std::fabs(fileGamma * 2.2 - 1.0) < 0.05) return v;
  return 255.0 * std::pow(v / 255.0, 1.0 / (fileGamma * 2.2));
}

// ------------------------------------------------------------------------------------------------

class PngReaderTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    Reports().clear();
  }
  void TearDown() override {
    bitmap_.Release();
    TempDirTest::TearDown();
  }

  std::string Write(const PngFixture& fixture, const char* name = "picture.png") {
    const std::string path = PathIn(name);
    EXPECT_TRUE(WritePng(path, fixture));
    return path;
  }

  // Opens and reads, and checks that nothing was printed and that no file but the bitmap's own
  // store was added to the temporary folder.
  int OpenAndRead(const std::string& path, int* opened = nullptr) {
    const std::vector<std::string> before = FolderEntries(TempDir());
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

  std::vector<uint8_t> Pixels() const { return {bitmap_.Bits(), bitmap_.Bits() + bitmap_.DataSize()}; }

  Bitmap bitmap_;
  PngReader reader_;
};

// ------------------------------------------------------------------------------------------------
// Colour types and depths: the bitmap each one becomes.

struct TypeCase {
  const char* name;
  int colorType, bitDepth, paletteSize;
};
void PrintTo(const TypeCase& c, std::ostream* os) { *os << c.name; }

const TypeCase kTypeCases[] = {
    {"Grey1", PNG_COLOR_TYPE_GRAY, 1, 0},      {"Grey2", PNG_COLOR_TYPE_GRAY, 2, 0},
    {"Grey4", PNG_COLOR_TYPE_GRAY, 4, 0},      {"Grey8", PNG_COLOR_TYPE_GRAY, 8, 0},
    {"Rgb8", PNG_COLOR_TYPE_RGB, 8, 0},        {"Palette1", PNG_COLOR_TYPE_PALETTE, 1, 2},
    {"Palette2", PNG_COLOR_TYPE_PALETTE, 2, 3}, {"Palette4", PNG_COLOR_TYPE_PALETTE, 4, 16},
    {"Palette8", PNG_COLOR_TYPE_PALETTE, 8, 200}, {"GreyAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 0},
    {"Rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, 0},
};

PngFixture FixtureFor(const TypeCase& c) {
  PngFixture fixture;
  fixture.colorType = c.colorType;
  fixture.bitDepth = c.bitDepth;
  fixture.paletteSize = c.paletteSize;
  return fixture;
}

// The bitmap bytes of pixel (x, y) that the picture of fixture must give.
std::vector<uint8_t> ExpectedPixel(const PngFixture& fixture, int x, int y) {
  const int max = (1 << fixture.bitDepth) - 1;
  switch (fixture.colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA:  // the alpha is dropped
      return {static_cast<uint8_t>(WrittenSample(fixture, x, y, 0) * 255 / max)};
    case PNG_COLOR_TYPE_PALETTE:
      return {static_cast<uint8_t>(WrittenSample(fixture, x, y, 0))};
    case PNG_COLOR_TYPE_RGB:
      return {Sample(x, y, 0), Sample(x, y, 1), Sample(x, y, 2)};
    case PNG_COLOR_TYPE_RGB_ALPHA:  // alpha first
      return {Sample(x, y, 3), Sample(x, y, 0), Sample(x, y, 1), Sample(x, y, 2)};
  }
  return {};
}

void ExpectPicture(const Bitmap& bitmap, const PngFixture& fixture) {
  const int depth = fixture.colorType == PNG_COLOR_TYPE_RGB ? 24 : fixture.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 32 : 8;
  ASSERT_EQ(bitmap.Width(), fixture.width);
  ASSERT_EQ(bitmap.Height(), fixture.height);
  ASSERT_EQ(bitmap.BitsPerPixel(), depth);
  ASSERT_EQ(bitmap.PaletteCount(), fixture.paletteSize);  // exactly the file's entries
  for (int i = 0; i < fixture.paletteSize; ++i) {
    const png_color c = PaletteColour(i);
    ASSERT_EQ(bitmap.Palette()[i].red, c.red) << "entry " << i;
    ASSERT_EQ(bitmap.Palette()[i].green, c.green) << "entry " << i;
    ASSERT_EQ(bitmap.Palette()[i].blue, c.blue) << "entry " << i;
  }
  for (int y = 0; y < fixture.height; ++y) {
    for (int x = 0; x < fixture.width; ++x) {
      const std::vector<uint8_t> expected = ExpectedPixel(fixture, x, y);
      const uint8_t* p = bitmap.Row(y) + x * expected.size();
      ASSERT_EQ(std::vector<uint8_t>(p, p + expected.size()), expected) << "pixel " << x << "," << y;
    }
  }
}

class PngTypeTest : public PngReaderTest, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(PngTypeTest, BecomesTheBitmapOfItsType) {
  const PngFixture fixture = FixtureFor(GetParam());
  ASSERT_EQ(OpenAndRead(Write(fixture)), 1);
  ExpectPicture(bitmap_, fixture);
  EXPECT_EQ(Reports(), ExpectedProgress(kHeight, 1));
}

// Adam7 gives the same bitmap, with the rows reported once in each of the seven passes.
TEST_P(PngTypeTest, InterlacedEqualsNonInterlaced) {
  PngFixture fixture = FixtureFor(GetParam());
  ASSERT_EQ(OpenAndRead(Write(fixture, "plain.png")), 1);
  const std::vector<uint8_t> plain = Pixels();
  fixture.interlaced = true;
  Reports().clear();
  ASSERT_EQ(OpenAndRead(Write(fixture, "interlaced.png")), 1);
  EXPECT_EQ(Pixels(), plain);
  ExpectPicture(bitmap_, fixture);
  EXPECT_EQ(Reports(), ExpectedProgress(kHeight, 7));
}

INSTANTIATE_TEST_SUITE_P(Types, PngTypeTest, ::testing::ValuesIn(kTypeCases),
                         [](const ::testing::TestParamInfo<TypeCase>& info) { return std::string(info.param.name); });

// One row of the four levels 0, 1, 2, 3.
TEST_F(PngReaderTest, TwoBitGreyLevels) {
  const std::string path = PathIn("picture.png");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_byte row[1] = {0x1B};  // 00 01 10 11
  const bool written = Guarded(png, [&] {
    png_init_io(png, file);
    png_set_IHDR(png, info, 4, 1, 2, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_row(png, row);
    png_write_end(png, info);
  });
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  ASSERT_TRUE(written);
  ASSERT_EQ(OpenAndRead(path), 1);
  ASSERT_EQ(bitmap_.BitsPerPixel(), 8);
  ASSERT_EQ(bitmap_.PaletteCount(), 0);
  EXPECT_EQ(Pixels(), (std::vector<uint8_t>{0, 85, 170, 255}));
}

// ------------------------------------------------------------------------------------------------

struct DeepCase {
  const char* name;
  int colorType;
};
void PrintTo(const DeepCase& c, std::ostream* os) { *os << c.name; }

class PngSixteenBitTest : public PngReaderTest, public ::testing::WithParamInterface<DeepCase> {};

TEST_P(PngSixteenBitTest, IsRefusedByOpen) {
  PngFixture fixture;
  fixture.colorType = GetParam().colorType;
  fixture.bitDepth = 16;
  EXPECT_EQ(OpenAndRead(Write(fixture)), 0);
  EXPECT_EQ(bitmap_.Width(), 0);
  EXPECT_TRUE(Reports().empty());
}

INSTANTIATE_TEST_SUITE_P(ColourTypes, PngSixteenBitTest,
                         ::testing::Values(DeepCase{"Grey", PNG_COLOR_TYPE_GRAY}, DeepCase{"Rgb", PNG_COLOR_TYPE_RGB},
                                           DeepCase{"GreyAlpha", PNG_COLOR_TYPE_GRAY_ALPHA},
                                           DeepCase{"Rgba", PNG_COLOR_TYPE_RGB_ALPHA}),
                         [](const ::testing::TestParamInfo<DeepCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------------------------------------
// Transparency: grey stays one byte a pixel, palette and RGB pictures keep their layout.

struct TransparencyCase {
  const char* name;
  int colorType, bitDepth, paletteSize;
  bool trnsColour;
  std::vector<uint8_t> trnsAlpha;
};
void PrintTo(const TransparencyCase& c, std::ostream* os) { *os << c.name; }

class PngTransparencyTest : public PngReaderTest, public ::testing::WithParamInterface<TransparencyCase> {};

TEST_P(PngTransparencyTest, ReadsWithoutTheTransparency) {
  const TransparencyCase& c = GetParam();
  PngFixture fixture;
  fixture.colorType = c.colorType;
  fixture.bitDepth = c.bitDepth;
  fixture.paletteSize = c.paletteSize;
  fixture.trnsColour = c.trnsColour;
  fixture.trnsAlpha = c.trnsAlpha;
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "not interlaced");
    fixture.interlaced = interlaced;
    ASSERT_EQ(OpenAndRead(Write(fixture)), 1);
    ExpectPicture(bitmap_, fixture);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngTransparencyTest,
    ::testing::Values(TransparencyCase{"GreyAlpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 0, false, {}},
                      TransparencyCase{"Grey1WithTrns", PNG_COLOR_TYPE_GRAY, 1, 0, true, {}},
                      TransparencyCase{"Grey2WithTrns", PNG_COLOR_TYPE_GRAY, 2, 0, true, {}},
                      TransparencyCase{"Grey4WithTrns", PNG_COLOR_TYPE_GRAY, 4, 0, true, {}},
                      TransparencyCase{"Grey8WithTrns", PNG_COLOR_TYPE_GRAY, 8, 0, true, {}},
                      TransparencyCase{"RgbWithTrns", PNG_COLOR_TYPE_RGB, 8, 0, true, {}},
                      TransparencyCase{"Palette4WithTrns", PNG_COLOR_TYPE_PALETTE, 4, 16, false, {0, 128, 255, 7}},
                      TransparencyCase{"Palette8WithTrns", PNG_COLOR_TYPE_PALETTE, 8, 100, false, {0, 50}}),
    [](const ::testing::TestParamInfo<TransparencyCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------------------------------------
// Gamma: corrected for a 2.2 screen as the gAMA chunk asks, unless an sRGB chunk says the samples
// are already right; no gamma information means no change.

struct GammaCase {
  const char* name;
  int colorType;
  double gamma;
  bool srgb;
  bool corrected;
};
void PrintTo(const GammaCase& c, std::ostream* os) { *os << c.name; }

class PngGammaTest : public PngReaderTest, public ::testing::WithParamInterface<GammaCase> {};

TEST_P(PngGammaTest, CorrectsAsTheFileAsks) {
  const GammaCase& c = GetParam();
  PngFixture fixture;
  fixture.colorType = c.colorType;
  fixture.gamma = c.gamma;
  const std::string path = Write(fixture);
  if (c.srgb) {
    // libpng's writer will not put an sRGB chunk beside a gamma that differs from it; a file may.
    std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
    InsertChunk(&bytes, ChunkOffset(bytes, "IDAT"), "sRGB", {0});
    ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
  }
  ASSERT_EQ(OpenAndRead(path), 1);
  const int channels = fixture.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 3;
  ASSERT_EQ(bitmap_.BitsPerPixel(), channels * 8);
  if (!c.corrected) {
    ExpectPicture(bitmap_, fixture);
    return;
  }
  // The same correction by libpng used straight, and by the formula within one level.
  std::vector<uint8_t> straight;
  ASSERT_TRUE(DecodeWithGamma(path, 2.2, c.gamma, &straight));
  ASSERT_EQ(straight.size(), bitmap_.DataSize());
  const uint8_t* bits = bitmap_.Bits();
  int changed = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const size_t at = (static_cast<size_t>(y) * kWidth + x) * channels;
      const std::vector<uint8_t> raw = ExpectedPixel(fixture, x, y);
      for (int k = 0; k < channels; ++k) {
        // straight is R, G, B (, A); the bitmap puts alpha first
        const int s = channels == 4 ? (k == 0 ? straight[at + 3] : straight[at + k - 1]) : straight[at + k];
        ASSERT_EQ(bits[at + k], s) << "pixel " << x << "," << y << " byte " << k;
        if (channels == 4 && k == 0) {
          ASSERT_EQ(bits[at], raw[0]) << "alpha is not corrected";
          continue;
        }
        ASSERT_NEAR(bits[at + k], Corrected(raw[k], c.gamma), 1.0) << "pixel " << x << "," << y;
        changed += bits[at + k] != raw[k];
      }
    }
  }
  EXPECT_GT(changed, kWidth * kHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngGammaTest,
    ::testing::Values(GammaCase{"Gamma1", PNG_COLOR_TYPE_RGB, 1.0, false, true},
                      GammaCase{"Gamma1Rgba", PNG_COLOR_TYPE_RGB_ALPHA, 1.0, false, true},
                      GammaCase{"Gamma07", PNG_COLOR_TYPE_RGB, 0.7, false, true},
                      GammaCase{"SrgbOnly", PNG_COLOR_TYPE_RGB, 0, true, false},
                      GammaCase{"SrgbBeforeGamma1", PNG_COLOR_TYPE_RGB, 1.0, true, false},
                      GammaCase{"NoGammaInformation", PNG_COLOR_TYPE_RGB, 0, false, false},
                      GammaCase{"GammaOfSrgb", PNG_COLOR_TYPE_RGB, 0.45455, false, false}),
    [](const ::testing::TestParamInfo<GammaCase>& info) { return std::string(info.param.name); });

// The palette is taken before the gamma correction is set up: its entries are the file's own.
TEST_F(PngReaderTest, PaletteEntriesAreTheFilesOwnWhateverTheGamma) {
  PngFixture fixture;
  fixture.colorType = PNG_COLOR_TYPE_PALETTE;
  fixture.bitDepth = 4;
  fixture.paletteSize = 16;
  fixture.gamma = 1.0;
  ASSERT_EQ(OpenAndRead(Write(fixture)), 1);
  ExpectPicture(bitmap_, fixture);
}

// ------------------------------------------------------------------------------------------------
// Damaged files and files that are not PNG.

TEST_F(PngReaderTest, DataCutShortFailsInRead) {
  PngFixture fixture;
  fixture.storeOnly = true;
  const std::string path = Write(fixture);
  std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  const size_t idat = ChunkOffset(bytes, "IDAT");
  ASSERT_GT(idat, 0u);
  ASSERT_GT(bytes.size() / 2, idat + 2048);  // the first rows lie before the cut
  bytes.resize(bytes.size() / 2);
  ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
  int opened = 0;
  EXPECT_EQ(OpenAndRead(path, &opened), 0);
  EXPECT_EQ(opened, 1);
  // The rows before the cut were decoded and reported; the read ends with the last row's report.
  ASSERT_GE(Reports().size(), 2u);
  EXPECT_EQ(Reports().back(), (ProgressReport{1, 100, kHeight - 1, 0}));
  for (int x = 0; x < kWidth; ++x) {
    ASSERT_EQ(std::vector<uint8_t>(bitmap_.Row(0) + 3 * x, bitmap_.Row(0) + 3 * x + 3), ExpectedPixel(fixture, x, 0));
  }
}

// A PNG file put together chunk by chunk: header, one IDAT holding a few zero bytes, end.
std::vector<uint8_t> MinimalPng(uint32_t width, uint32_t height, int bitDepth, int colorType) {
  std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<uint8_t>(v >> shift));
  }
  header.insert(header.end(), {static_cast<uint8_t>(bitDepth), static_cast<uint8_t>(colorType), 0, 0, 0});
  const std::vector<uint8_t> zeros(64, 0);
  std::vector<uint8_t> packed(compressBound(zeros.size()));
  uLongf packedSize = packed.size();
  compress(packed.data(), &packedSize, zeros.data(), zeros.size());
  packed.resize(packedSize);
  InsertChunk(&bytes, bytes.size(), "IHDR", header);
  InsertChunk(&bytes, bytes.size(), "IDAT", packed);
  InsertChunk(&bytes, bytes.size(), "IEND", {});
  return bytes;
}

// The bitmap's store size is a 32-bit value: an RGBA picture of 32768 x 32767 gets its bitmap
// (and then fails on its missing data), one of 32768 x 32768 cannot have one.
TEST_F(PngReaderTest, StoreSizeBoundary) {
  struct Case {
    uint32_t width, height;
    int bitmapWidth;
  };
  for (const Case& c : {Case{32768, 32767, 32768}, Case{32768, 32768, 0}, Case{1000000, 1000000, 0}}) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const std::string path = PathIn("picture.png");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, MinimalPng(c.width, c.height, 8, PNG_COLOR_TYPE_RGB_ALPHA)));
    int opened = 0;
    EXPECT_EQ(OpenAndRead(path, &opened), 0);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(bitmap_.Width(), c.bitmapWidth);
    bitmap_.Release();
  }
}

struct CrcCase {
  const char* chunk;
  int opened, read;
};
void PrintTo(const CrcCase& c, std::ostream* os) { *os << c.chunk; }

class PngCrcTest : public PngReaderTest, public ::testing::WithParamInterface<CrcCase> {};

// A CRC error in a critical chunk is an error; in an ancillary chunk the chunk is dropped.
TEST_P(PngCrcTest, DamagedChunk) {
  PngFixture fixture;
  fixture.text = true;
  const std::string path = Write(fixture);
  std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  const size_t at = ChunkOffset(bytes, GetParam().chunk);
  ASSERT_GT(at, 0u);
  bytes[at + 8 + ChunkLength(bytes, at) + 3] ^= 0x5A;  // last byte of the CRC
  ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
  int opened = 0;
  EXPECT_EQ(OpenAndRead(path, &opened), GetParam().read);
  EXPECT_EQ(opened, GetParam().opened);
  if (GetParam().read == 1) ExpectPicture(bitmap_, fixture);
}

INSTANTIATE_TEST_SUITE_P(Chunks, PngCrcTest,
                         ::testing::Values(CrcCase{"IHDR", 0, 0}, CrcCase{"IDAT", 1, 0}, CrcCase{"tEXt", 1, 1},
                                           CrcCase{"IEND", 1, 0}),
                         [](const ::testing::TestParamInfo<CrcCase>& info) { return std::string(info.param.chunk); });

TEST_F(PngReaderTest, NotPngFilesAreRefusedSilently) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"text", {'h', 'e', 'l', 'l', 'o', '\n'}},
      {"tiff header", {'I', 'I', 42, 0, 8, 0, 0, 0}},
      {"signature only", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}},
      {"signature damaged by text mode", {0x89, 'P', 'N', 'G', '\r', '\r', '\n', 0x1A, '\r', '\n'}},
      {"header chunk cut", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = PathIn("picture.png");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, c.bytes));
    EXPECT_EQ(OpenAndRead(path), 0);
    EXPECT_EQ(bitmap_.Width(), 0);
  }
  EXPECT_EQ(OpenAndRead(PathIn("missing.png")), 0);
  EXPECT_EQ(OpenAndRead(TempDir()), 0);
  EXPECT_EQ(OpenAndRead(""), 0);
  EXPECT_TRUE(Reports().empty());
}

TEST_F(PngReaderTest, LifecycleAndTemporaryFiles) {
  PngFixture fixture;
  const std::string path = Write(fixture);
  EXPECT_EQ(reader_.Read(), 0);  // not opened
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Open(path.c_str(), nullptr, nullptr), 0);

  // A bitmap of the right shape is filled in place; any other is made anew.
  ASSERT_EQ(bitmap_.Create(kWidth, kHeight, 24, 0), 1);
  const std::string store = bitmap_.StorePath();
  ASSERT_EQ(OpenAndRead(path), 1);
  EXPECT_EQ(bitmap_.StorePath(), store);
  fixture.colorType = PNG_COLOR_TYPE_PALETTE;
  fixture.paletteSize = 7;
  ASSERT_TRUE(WritePng(path, fixture));
  ASSERT_EQ(bitmap_.Create(kWidth, kHeight, 8, 9), 1);  // 8-bit, but another palette size
  ASSERT_EQ(OpenAndRead(path), 1);
  ExpectPicture(bitmap_, fixture);

  // Open then Close without reading; the reader takes the next file.
  ASSERT_EQ(reader_.Open(path.c_str(), &bitmap_, nullptr), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Read(), 0);
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("note.txt"), "not a picture"));
  EXPECT_EQ(reader_.Open(PathIn("note.txt").c_str(), &bitmap_, nullptr), 0);
  ASSERT_EQ(OpenAndRead(path), 1);
  ExpectPicture(bitmap_, fixture);

  bitmap_.Release();
  std::vector<std::string> left = FolderEntries(TempDir());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"note.txt", "picture.png"}));
}

// ------------------------------------------------------------------------------------------------
// The public corpus: every file reads, or is refused, or fails as expected, and what reads matches
// GraphicsMagick's decoding of the file: exactly, or within one level where the file asks for a
// gamma correction (GraphicsMagick leaves the samples as stored).


struct CorpusException {
  const char* file;
  Outcome outcome;
};

// Files that do not simply decode. Every other file of the folder must.
const CorpusException kPngExceptions[] = {
    // 16 bits per sample
    {"basi0g16.png", Refused}, {"basi2c16.png", Refused}, {"basi4a16.png", Refused},
    {"basn0g16.png", Refused}, {"basn2c16.png", Refused}, {"basn4a16.png", Refused},
    {"bgai4a16.png", Refused}, {"bgyn6a16.png", Refused}, {"cs3n2c16.png", Refused},
    {"g03n0g16.png", Refused}, {"g04n0g16.png", Refused}, {"g05n0g16.png", Refused},
    {"g07n0g16.png", Refused}, {"g10n0g16.png", Refused}, {"g25n0g16.png", Refused},
    {"im_input_16.png", Refused}, {"ljt_monkey16.png", Refused}, {"oi1n0g16.png", Refused},
    {"oi1n2c16.png", Refused}, {"oi2n2c16.png", Refused}, {"oi4n0g16.png", Refused},
    {"oi9n0g16.png", Refused}, {"oi9n2c16.png", Refused}, {"pil_i_trns.png", Refused},
    {"pp0n2c16.png", Refused}, {"ps1n2c16.png", Refused}, {"ps2n2c16.png", Refused},
    {"spng_icc_profile.png", Refused}, {"tbbn2c16.png", Refused}, {"tbgn2c16.png", Refused},
    {"tbwn0g16.png", Refused}, {"vips_sample.png", Refused},
    // damaged signature or header
    {"pil_broken.png", Refused}, {"pil_pngtest_bad.png", Refused}, {"xc1n0g08.png", Refused},
    {"xcrn0g04.png", Refused}, {"xd0n2c08.png", Refused}, {"xd9n2c08.png", Refused},
    {"xs1n0g01.png", Refused}, {"xs2n0g01.png", Refused}, {"xs7n0g01.png", Refused},
    {"spng_bad_iCCP.png", Refused}, {"spng_missing_plte.png", Refused},
    {"xdtn0g01.png", Refused},  // no image data at all
    // a chunk before the image data claims more bytes than the file has
    {"spng_huge_cHRM_chunk.png", Refused}, {"spng_huge_eXIf_chunk.png", Refused},
    {"spng_huge_hIST_chunk.png", Refused}, {"spng_huge_iCCP_chunk.png", Refused},
    {"spng_huge_juNK_unsafe_to_copy.png", Refused}, {"spng_huge_juNk_safe_to_copy.png", Refused},
    {"spng_huge_pHYs_chunk.png", Refused}, {"spng_huge_sCAL_chunk.png", Refused},
    {"spng_huge_sRGB_chunk.png", Refused}, {"spng_huge_sTER_chunk.png", Refused},
    {"spng_huge_tIME_chunk.png", Refused}, {"spng_huge_zTXt_chunk.png", Refused},
    // damaged or missing image data, or cut short
    {"pil_broken_data_stream.png", ReadFails}, {"pil_truncated_end_chunk.png", ReadFails},
    {"pil_truncated_image.png", ReadFails}, {"spng_badadler.png", ReadFails},
    {"spng_huge_IDAT.png", ReadFails}, {"spng_zero_gama.png", ReadFails},
    {"xcsn0g01.png", ReadFails},  // IDAT CRC wrong
};

Outcome ExpectedOutcome(const std::string& file) {
  for (const CorpusException& e : kPngExceptions) {
    if (file == e.file) return e.outcome;
  }
  return Decodes;
}

// The names in the corpus folder, or one placeholder that skips when there is no corpus.
std::vector<std::string> PngCorpusFiles() {
  std::vector<std::string> names;
  if (!testsupport::CorpusDir().empty()) names = FolderEntries(testsupport::CorpusDir() + "/png");
  std::sort(names.begin(), names.end());
  if (names.empty()) names.push_back("no_corpus");
  return names;
}

void IgnoreMagickMessage(ExceptionType, const char*, const char*) {}

// GraphicsMagick is started once, on first use, and stopped at the end of the program.
class MagickEnvironment : public ::testing::Environment {
 public:
  static void Start() {
    static std::once_flag once;
    std::call_once(once, [] {
      InitializeMagick(nullptr);
      SetWarningHandler(IgnoreMagickMessage);
      SetErrorHandler(IgnoreMagickMessage);
      started_ = true;
    });
  }
  void TearDown() override {
    if (started_) DestroyMagick();
  }

 private:
  static bool started_;
};
bool MagickEnvironment::started_ = false;
::testing::Environment* const kMagick = ::testing::AddGlobalTestEnvironment(new MagickEnvironment);

// GraphicsMagick's decoding as 8-bit red, green, blue, alpha.
bool MagickDecode(const std::string& path, int* width, int* height, std::vector<uint8_t>* rgba) {
  MagickEnvironment::Start();
  ExceptionInfo exception;
  GetExceptionInfo(&exception);
  ImageInfo* info = CloneImageInfo(nullptr);
  std::snprintf(info->filename, sizeof info->filename, "png:%s", path.c_str());
  Image* image = ReadImage(info, &exception);
  bool ok = image != nullptr;
  if (ok) {
    *width = static_cast<int>(image->columns);
    *height = static_cast<int>(image->rows);
    rgba->assign(static_cast<size_t>(*width) * *height * 4, 0);
    ok = DispatchImage(image, 0, 0, image->columns, image->rows, "RGBA", CharPixel, rgba->data(), &exception) ==
         MagickPass;
    DestroyImage(image);
  }
  DestroyImageInfo(info);
  DestroyExceptionInfo(&exception);
  return ok;
}

// The file's own gamma information, read with libpng straight.
struct GammaInfo {
  bool srgb = false;
  bool hasGamma = false;
  double gamma = 0;
};

GammaInfo ReadGammaInfo(const std::string& path) {
  GammaInfo result;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return result;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_error_fn(png, nullptr, nullptr, [](png_structp, png_const_charp) {});
  Guarded(png, [&] {
    png_init_io(png, file);
    png_read_info(png, info);
    int intent = 0;
    result.srgb = png_get_sRGB(png, info, &intent) != 0;
    result.hasGamma = png_get_gAMA(png, info, &result.gamma) != 0;
  });
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return result;
}

class PngCorpusTest : public PngReaderTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(PngCorpusTest, OutcomeAndPixelsAsExpected) {
  SKIP_WITHOUT_CORPUS();
  const std::string path = testsupport::CorpusDir() + "/png/" + GetParam();
  int opened = 0;
  const int read = OpenAndRead(path, &opened);
  if (!readertest::ExpectOutcome(ExpectedOutcome(GetParam()), opened, read, bitmap_)) return;
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(MagickDecode(path, &width, &height, &rgba));
  ASSERT_EQ(bitmap_.Width(), width);
  ASSERT_EQ(bitmap_.Height(), height);

  // Samples are gamma-corrected unless the file is sRGB or has no gamma; palettes are not.
  const GammaInfo gamma = ReadGammaInfo(path);
  const bool palette = bitmap_.PaletteCount() > 0;
  const bool corrected = !palette && !gamma.srgb && gamma.hasGamma;
  const int depth = bitmap_.BitsPerPixel();
  ASSERT_TRUE(depth == 8 || depth == 24 || depth == 32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = bitmap_.Row(y) + x * depth / 8;
      const uint8_t* m = &rgba[(static_cast<size_t>(y) * width + x) * 4];
      int rgb[3];
      if (palette) {
        ASSERT_LT(p[0], bitmap_.PaletteCount()) << "pixel " << x << "," << y;
        const PaletteEntry& e = bitmap_.Palette()[p[0]];
        rgb[0] = e.red, rgb[1] = e.green, rgb[2] = e.blue;
      } else if (depth == 8) {
        rgb[0] = rgb[1] = rgb[2] = p[0];
      } else {
        const uint8_t* c = depth == 32 ? p + 1 : p;
        rgb[0] = c[0], rgb[1] = c[1], rgb[2] = c[2];
      }
      for (int k = 0; k < 3; ++k) {
        if (corrected) {
          ASSERT_NEAR(rgb[k], Corrected(m[k], gamma.gamma), 1.0) << "pixel " << x << "," << y << " channel " << k;
        } else {
          ASSERT_EQ(rgb[k], m[k]) << "pixel " << x << "," << y << " channel " << k;
        }
      }
      if (depth == 32) {
        ASSERT_EQ(p[0], m[3]) << "alpha of pixel " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(Reports().back(), (ProgressReport{1, 100, height - 1, 0}));
}

INSTANTIATE_TEST_SUITE_P(Corpus, PngCorpusTest, ::testing::ValuesIn(PngCorpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// Every exception names a file that is there, so the table cannot silently go stale.
TEST(PngCorpusTableTest, ExceptionsNameCorpusFiles) {
  SKIP_WITHOUT_CORPUS();
  const std::vector<std::string> present = PngCorpusFiles();
  for (const CorpusException& e : kPngExceptions) {
    EXPECT_NE(std::find(present.begin(), present.end(), e.file), present.end()) << e.file;
  }
}

}  // namespace
