#include "engine/readers/bmp_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "magick_reference.h"
#include "reader_test_support.h"

namespace {

using readertest::ExpectedReports;
using readertest::PatternColour;
using readertest::Put16;
using readertest::Put32;
using readertest::RecordProgress;
using readertest::Reports;

constexpr int kWidth = 35, kHeight = 39;

struct BmpLayout {
  std::string signature = "BM";
  uint32_t headerSize = 40;  // 12: core header
  int32_t width = kWidth;
  int32_t height = kHeight;  // negative: top-down rows
  int bitCount = 24;
  uint32_t compression = 0;
  int gap = 0;  // bytes between the header and the pixel rows (palette, masks)
  uint8_t fill = 0xEE;  // row padding, never part of the picture
};

int StoredRowLength(int width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

// A file whose pixel rows hold PatternColour, stored bottom-up unless the height is negative.
std::vector<uint8_t> MakeBmp(const BmpLayout& s) {
  const bool core = s.headerSize == 12;
  const int rows = std::abs(s.height);
  const int rowLength = StoredRowLength(s.width, s.bitCount);
  const size_t offset = 14 + s.headerSize + s.gap;
  std::vector<uint8_t> b(offset + static_cast<size_t>(rowLength) * rows, 0);
  b[0] = static_cast<uint8_t>(s.signature[0]);
  b[1] = static_cast<uint8_t>(s.signature[1]);
  Put32(&b, 2, static_cast<uint32_t>(b.size()));
  Put32(&b, 10, static_cast<uint32_t>(offset));
  Put32(&b, 14, s.headerSize);
  if (core) {
    Put16(&b, 18, static_cast<uint32_t>(s.width));
    Put16(&b, 20, static_cast<uint32_t>(s.height));
    Put16(&b, 22, 1);
    Put16(&b, 24, static_cast<uint32_t>(s.bitCount));
  } else {
    Put32(&b, 18, static_cast<uint32_t>(s.width));
    Put32(&b, 22, static_cast<uint32_t>(s.height));
    Put16(&b, 26, 1);
    Put16(&b, 28, static_cast<uint32_t>(s.bitCount));
    Put32(&b, 30, s.compression);
  }
  for (int i = 0; i < rows; ++i) {
    const int y = s.height < 0 ? i : rows - 1 - i;
    uint8_t* row = &b[offset + static_cast<size_t>(i) * rowLength];
    std::fill(row, row + rowLength, s.fill);
    if (s.bitCount != 24) continue;
    for (int x = 0; x < s.width; ++x) {
      const readertest::Rgb c = PatternColour(x, y);
      row[3 * x] = c.b;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.r;
    }
  }
  return b;
}

class BmpReaderTest : public readertest::ReaderTest {
 protected:
  int OpenBytes(const std::vector<uint8_t>& bytes, Bitmap* bitmap,
                ProgressCallback callback = nullptr) {
    return reader_.Open(Input("picture.bmp", bytes).c_str(), bitmap, callback);
  }
  BmpReader reader_;
};

TEST_F(BmpReaderTest, BottomUpAndTopDownGiveTheSamePicture) {
  for (int32_t height : {kHeight, -kHeight}) {
    SCOPED_TRACE(height);
    BmpLayout layout;
    layout.height = height;
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(MakeBmp(layout), &bitmap), 1);
    ASSERT_EQ(reader_.Read(), 1);
    readertest::ExpectPattern(bitmap, kWidth, kHeight);
  }
}

struct Variant {
  const char* name;
  BmpLayout layout;
};

void PrintTo(const Variant& v, std::ostream* out) { *out << v.name; }

class BmpVariantTest : public BmpReaderTest, public testing::WithParamInterface<Variant> {};

TEST_P(BmpVariantTest, Decodes) {
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakeBmp(GetParam().layout), &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  readertest::ExpectPattern(bitmap, GetParam().layout.width, std::abs(GetParam().layout.height));
}

BmpLayout With(void (*change)(BmpLayout*)) {
  BmpLayout layout;
  change(&layout);
  return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, BmpVariantTest,
    testing::Values(
        Variant{"CoreHeader", With([](BmpLayout* s) { s->headerSize = 12; })},
        Variant{"BA", With([](BmpLayout* s) { s->signature = "BA"; })},
        // Colour masks follow the header; they are ignored.
        Variant{"BitFieldsAsPlainRows", With([](BmpLayout* s) { s->compression = 3, s->gap = 12; })},
        Variant{"V4Header", With([](BmpLayout* s) { s->headerSize = 108; })},
        Variant{"V5HeaderTopDown", With([](BmpLayout* s) { s->headerSize = 124, s->height = -39; })},
        Variant{"PaletteBeforeThePixels", With([](BmpLayout* s) { s->gap = 1024; })},
        Variant{"Width1", With([](BmpLayout* s) { s->width = 1; })},
        Variant{"Width2", With([](BmpLayout* s) { s->width = 2; })},
        Variant{"Width4", With([](BmpLayout* s) { s->width = 4, s->height = 1; })}),
    [](const testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

TEST_F(BmpReaderTest, SwapsBlueAndRed) {
  BmpLayout layout;
  layout.width = layout.height = 1;
  std::vector<uint8_t> bytes = MakeBmp(layout);
  bytes[54] = 0x10, bytes[55] = 0x20, bytes[56] = 0x30;
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(std::vector<uint8_t>(bitmap.Bits(), bitmap.Bits() + 3),
            (std::vector<uint8_t>{0x30, 0x20, 0x10}));
}

// Rows are filled to four bytes: the file with exactly the padded rows reads, one byte less not.
TEST_F(BmpReaderTest, RowsArePaddedToFourBytes) {
  for (auto [width, rowLength] : {std::pair{1, 4}, {2, 8}, {4, 12}, {35, 108}}) {
    SCOPED_TRACE(width);
    BmpLayout layout;
    layout.width = width;
    layout.height = 3;
    std::vector<uint8_t> bytes = MakeBmp(layout);
    ASSERT_EQ(bytes.size(), 54u + 3 * rowLength);
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
    ASSERT_EQ(reader_.Read(), 1);
    readertest::ExpectPattern(bitmap, width, 3);
    bytes.pop_back();
    ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
    EXPECT_EQ(reader_.Read(), 0);
  }
}

TEST_F(BmpReaderTest, RefusesOtherDepthsAndCompressions) {
  for (int bitCount : {1, 4, 8, 16, 32, 0, 25}) {
    BmpLayout layout;
    layout.bitCount = bitCount;
    EXPECT_EQ(OpenBytes(MakeBmp(layout), nullptr), 0) << bitCount << " bits";
    layout.headerSize = 12;
    EXPECT_EQ(OpenBytes(MakeBmp(layout), nullptr), 0) << bitCount << " bits, core header";
  }
  for (uint32_t compression : {1u, 2u, 4u, 5u, 0x80000000u}) {
    BmpLayout layout;
    layout.compression = compression;
    EXPECT_EQ(OpenBytes(MakeBmp(layout), nullptr), 0) << "compression " << compression;
  }
}

TEST_F(BmpReaderTest, RefusedFileLeavesTheBitmapAlone) {
  Bitmap bitmap;
  ASSERT_EQ(bitmap.Create(3, 2, 8, 0), 1);
  bitmap.Bits()[5] = 77;
  BmpLayout layout;
  layout.bitCount = 8;
  EXPECT_EQ(OpenBytes(MakeBmp(layout), &bitmap), 0);
  EXPECT_EQ(reader_.Read(), 0);
  EXPECT_EQ(bitmap.Width(), 3);
  EXPECT_EQ(bitmap.BitsPerPixel(), 8);
  EXPECT_EQ(bitmap.Bits()[5], 77);
}

TEST_F(BmpReaderTest, RefusesBadSizesInTheInformationHeader) {
  for (auto [width, height] : {std::pair{0, 39}, {-35, 39}, {35, 0}, {35, INT32_MIN}}) {
    std::vector<uint8_t> bytes = MakeBmp(BmpLayout{});
    Put32(&bytes, 18, static_cast<uint32_t>(width));
    Put32(&bytes, 22, static_cast<uint32_t>(height));
    EXPECT_EQ(OpenBytes(bytes, nullptr), 0) << width << " x " << height;
  }
}

// The core header keeps no signed sizes: one zero side passes Open, and the picture cannot be
// created.
TEST_F(BmpReaderTest, CoreHeaderWithAZeroSideFailsInRead) {
  for (auto [width, height] : {std::pair{0, 39}, {35, 0}}) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    BmpLayout layout;
    layout.headerSize = 12;
    layout.width = width;
    layout.height = height;
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(MakeBmp(layout), &bitmap), 1);
    EXPECT_EQ(reader_.Read(), 0);
    EXPECT_EQ(bitmap.Width(), 0);
  }
}

TEST_F(BmpReaderTest, RefusesBadSignatures) {
  for (const char* signature : {"MB", "BN", "bm", "BB"}) {
    BmpLayout layout;
    layout.signature = signature;
    EXPECT_EQ(OpenBytes(MakeBmp(layout), nullptr), 0) << signature;
  }
  EXPECT_EQ(OpenBytes({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0}, nullptr), 0);  // 13 bytes
  EXPECT_EQ(reader_.Open(PathIn("missing.bmp").c_str(), nullptr, nullptr), 0);
  EXPECT_EQ(reader_.Open(TempDir().c_str(), nullptr, nullptr), 0);
}

// The header block runs from offset 14 to the pixel data; it must hold every field read.
TEST_F(BmpReaderTest, HeaderBlockMustHoldTheFieldsRead) {
  struct Case {
    uint32_t headerSize, offset;
    int expected;
  };
  for (const Case& c : {Case{40, 14 + 20, 1}, Case{40, 14 + 19, 0}, Case{12, 14 + 12, 1},
                        Case{12, 14 + 11, 0}, Case{40, 14, 0}, Case{40, 13, 0},
                        Case{40, 0, 0}}) {
    BmpLayout layout;
    layout.headerSize = c.headerSize;
    std::vector<uint8_t> bytes = MakeBmp(layout);
    Put32(&bytes, 10, c.offset);
    EXPECT_EQ(OpenBytes(bytes, nullptr), c.expected)
        << "header " << c.headerSize << ", pixel data at " << c.offset;
  }
}

// An offset beyond the file is refused before any block is allocated for it.
TEST_F(BmpReaderTest, PixelDataOffsetMustLieInsideTheFile) {
  const std::vector<uint8_t> bytes = MakeBmp(BmpLayout{});
  for (uint32_t offset : {0x7FFFFFB0u, 0xFFFFFFFFu, static_cast<uint32_t>(bytes.size()) + 1}) {
    std::vector<uint8_t> changed = bytes;
    Put32(&changed, 10, offset);
    EXPECT_EQ(OpenBytes(changed, nullptr), 0) << offset;
  }
  // At the very end: accepted, and no row can be read.
  std::vector<uint8_t> changed = bytes;
  Put32(&changed, 10, static_cast<uint32_t>(bytes.size()));
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(changed, &bitmap), 1);
  EXPECT_EQ(reader_.Read(), 0);
}

TEST_F(BmpReaderTest, TruncatedFileKeepsTheCompleteRowsAndFails) {
  const int rowLength = StoredRowLength(kWidth, 24);
  std::vector<uint8_t> bytes = MakeBmp(BmpLayout{});
  bytes.resize(54 + 10 * rowLength + rowLength / 2);  // ten and a half stored rows
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(bytes, &bitmap, RecordProgress), 1);
  EXPECT_EQ(reader_.Read(), 0);
  ASSERT_EQ(bitmap.Height(), kHeight);
  for (int y = 0; y < kHeight; ++y) {
    const readertest::Rgb c = PatternColour(0, y);
    const uint8_t* p = bitmap.Row(y);
    // Bottom-up: the ten rows read are the bottom ten; the others stay blank.
    if (y >= kHeight - 10) {
      EXPECT_TRUE(p[0] == c.r && p[1] == c.g && p[2] == c.b) << "row " << y;
    } else {
      EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << "row " << y;
    }
  }
  EXPECT_EQ(Reports(), ExpectedReports({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, kHeight));
}

TEST_F(BmpReaderTest, ReportsEveryRowAndTheEnd) {
  BmpLayout layout;
  layout.height = 3;
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakeBmp(layout), &bitmap, RecordProgress), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(Reports(), (std::vector<readertest::ProgressReport>{
                           {1, 33, 0, 0}, {1, 66, 1, 0}, {1, 100, 2, 0}, {1, 100, 2, 0}}));
  // A failed read reports its end too.
  Reports().clear();
  std::vector<uint8_t> bytes = MakeBmp(layout);
  bytes.pop_back();
  ASSERT_EQ(OpenBytes(bytes, &bitmap, RecordProgress), 1);
  EXPECT_EQ(reader_.Read(), 0);
  EXPECT_EQ(Reports(), ExpectedReports({0, 1}, 3));
}

TEST_F(BmpReaderTest, ReusesABitmapOfTheSameSize) {
  Bitmap bitmap;
  ASSERT_EQ(bitmap.Create(kWidth, kHeight, 24, 0), 1);
  const std::string store = bitmap.StorePath();
  ASSERT_EQ(OpenBytes(MakeBmp(BmpLayout{}), &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(bitmap.StorePath(), store);
  readertest::ExpectPattern(bitmap, kWidth, kHeight);

  // Another size or depth makes a new picture.
  Bitmap grey;
  ASSERT_EQ(grey.Create(kWidth, kHeight, 8, 0), 1);
  ASSERT_EQ(OpenBytes(MakeBmp(BmpLayout{}), &grey), 1);
  ASSERT_EQ(reader_.Read(), 1);
  readertest::ExpectPattern(grey, kWidth, kHeight);
}

TEST_F(BmpReaderTest, CloseIsSafeAndTheReaderIsReusable) {
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Read(), 0);  // never opened
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakeBmp(BmpLayout{}), &bitmap), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Read(), 0);  // closed before reading
  EXPECT_EQ(bitmap.Width(), 0);
  ASSERT_EQ(OpenBytes(MakeBmp(BmpLayout{}), &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(reader_.Read(), 0);  // Read closed the reader
  readertest::ExpectPattern(bitmap, kWidth, kHeight);
}

// ---------------------------------------------------------------------------------------------
// The public corpus: what Open and Read give for every file, and the accepted pictures' pixels
// against GraphicsMagick.

struct CorpusCase {
  const char* file;
  int open, read;
  const char* reference;  // the file GraphicsMagick decodes for comparison, when not the same
};

const CorpusCase kCorpus[] = {
    {"bs_g_rgb24.bmp", 1, 1, nullptr},
    {"bs_g_rgb24pal.bmp", 1, 1, nullptr},
    {"bs_q_rgb24largepal.bmp", 1, 1, nullptr},
    {"bs_q_rgb24prof.bmp", 1, 1, nullptr},
    {"bsx_b_rgb24bf.bmp", 1, 1, nullptr},
    {"libtiff_rgb-3c-8b.bmp", 1, 1, nullptr},
    {"ljt_vgl_6434_0018a.bmp", 1, 1, nullptr},
    {"pil_hopper.bmp", 1, 1, nullptr},
    {"zig_simple_v4.bmp", 1, 1, nullptr},
    {"gen_bs_rgb24_BA.bmp", 1, 1, "bs_g_rgb24.bmp"},
    {"gen_bs_rgb24_topdown.bmp", 1, 1, nullptr},
    {"gen_bs_rgb24_truncated.bmp", 1, 0, nullptr},
    {"bs_b_reallybig.bmp", 1, 0, nullptr},  // 3,000,000 x 2,000,000: no store holds it
    {"bs_b_badbitcount.bmp", 0, 0, nullptr},
    {"bs_b_badbitssize.bmp", 0, 0, nullptr},
    {"bs_b_baddens1.bmp", 0, 0, nullptr},
    {"bs_b_baddens2.bmp", 0, 0, nullptr},
    {"bs_b_badfilesize.bmp", 0, 0, nullptr},
    {"bs_b_badheadersize.bmp", 0, 0, nullptr},
    {"bs_b_badpalettesize.bmp", 0, 0, nullptr},
    {"bs_b_badplanes.bmp", 0, 0, nullptr},
    {"bs_b_badrle.bmp", 0, 0, nullptr},
    {"bs_b_badwidth.bmp", 0, 0, nullptr},
    {"bs_b_pal8badindex.bmp", 0, 0, nullptr},
    {"bs_b_rletopdown.bmp", 0, 0, nullptr},
    {"bs_b_shortfile.bmp", 0, 0, nullptr},
    {"bs_g_pal1.bmp", 0, 0, nullptr},
    {"bs_g_pal1bg.bmp", 0, 0, nullptr},
    {"bs_g_pal1wb.bmp", 0, 0, nullptr},
    {"bs_g_pal4.bmp", 0, 0, nullptr},
    {"bs_g_pal4gs.bmp", 0, 0, nullptr},
    {"bs_g_pal4rle.bmp", 0, 0, nullptr},
    {"bs_g_pal8-0.bmp", 0, 0, nullptr},
    {"bs_g_pal8.bmp", 0, 0, nullptr},
    {"bs_g_pal8gs.bmp", 0, 0, nullptr},
    {"bs_g_pal8nonsquare.bmp", 0, 0, nullptr},
    {"bs_g_pal8os2.bmp", 0, 0, nullptr},
    {"bs_g_pal8rle.bmp", 0, 0, nullptr},
    {"bs_g_pal8topdown.bmp", 0, 0, nullptr},
    {"bs_g_pal8v4.bmp", 0, 0, nullptr},
    {"bs_g_pal8v5.bmp", 0, 0, nullptr},
    {"bs_g_pal8w124.bmp", 0, 0, nullptr},
    {"bs_g_pal8w125.bmp", 0, 0, nullptr},
    {"bs_g_pal8w126.bmp", 0, 0, nullptr},
    {"bs_g_rgb16-565.bmp", 0, 0, nullptr},
    {"bs_g_rgb16-565pal.bmp", 0, 0, nullptr},
    {"bs_g_rgb16.bmp", 0, 0, nullptr},
    {"bs_g_rgb16bfdef.bmp", 0, 0, nullptr},
    {"bs_g_rgb32.bmp", 0, 0, nullptr},
    {"bs_g_rgb32bf.bmp", 0, 0, nullptr},
    {"bs_g_rgb32bfdef.bmp", 0, 0, nullptr},
    {"bs_q_pal1p1.bmp", 0, 0, nullptr},
    {"bs_q_pal2.bmp", 0, 0, nullptr},
    {"bs_q_pal4rletrns.bmp", 0, 0, nullptr},
    {"bs_q_pal8offs.bmp", 0, 0, nullptr},
    {"bs_q_pal8os2-hs.bmp", 0, 0, nullptr},
    {"bs_q_pal8os2sp.bmp", 0, 0, nullptr},
    {"bs_q_pal8os2v2-16.bmp", 0, 0, nullptr},
    {"bs_q_pal8os2v2-sz.bmp", 0, 0, nullptr},
    {"bs_q_pal8os2v2.bmp", 0, 0, nullptr},
    {"bs_q_pal8oversizepal.bmp", 0, 0, nullptr},
    {"bs_q_rgb16-231.bmp", 0, 0, nullptr},
    {"bs_q_rgb24jpeg.bmp", 0, 0, nullptr},
    {"bs_q_rgb24png.bmp", 0, 0, nullptr},
    {"bs_q_rgb24rle24.bmp", 0, 0, nullptr},
    {"bs_q_rgb32-111110.bmp", 0, 0, nullptr},
    {"bs_q_rgb32fakealpha.bmp", 0, 0, nullptr},
    {"bs_q_rgba32h56.bmp", 0, 0, nullptr},
    {"bs_q_rgba64.bmp", 0, 0, nullptr},
    {"bs_x_ba-bm.bmp", 0, 0, nullptr},  // its pixel data offset field reads 0
    {"bsx_b_nopalette.bmp", 0, 0, nullptr},
    {"bsx_b_pal8-zo.bmp", 0, 0, nullptr},
    {"bsx_q_rgb16os2.bmp", 0, 0, nullptr},
    {"cppbmp_v1_256.bmp", 0, 0, nullptr},
    {"im_input.bmp", 0, 0, nullptr},
    {"pil_eps_1.bmp", 0, 0, nullptr},
    {"pil_hopper_rle8.bmp", 0, 0, nullptr},
    {"pil_hopper_rle8_grayscale.bmp", 0, 0, nullptr},
    {"pil_l2rgb_read.bmp", 0, 0, nullptr},  // pixel data "at" 2,147,483,440 in a 57-byte file
};

TEST_F(BmpReaderTest, CorpusFilesGiveTheirExpectedResults) {
  SKIP_WITHOUT_CORPUS();
  const std::string folder = testsupport::CorpusDir() + "/bmp/";
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.file);
    Bitmap bitmap;
    ASSERT_EQ(reader_.Open((folder + c.file).c_str(), &bitmap, nullptr), c.open);
    ASSERT_EQ(reader_.Read(), c.read);
    if (c.read == 0) continue;
    const readertest::Decoded expected =
        readertest::DecodeWithMagick("BMP", folder + (c.reference ? c.reference : c.file));
    ASSERT_TRUE(expected.ok);
    ASSERT_EQ(bitmap.Width(), expected.width);
    ASSERT_EQ(bitmap.Height(), expected.height);
    EXPECT_TRUE(std::equal(expected.rgb.begin(), expected.rgb.end(), bitmap.Bits()));
  }
}

TEST_F(BmpReaderTest, CorpusHasNoFileWithoutAnExpectation) {
  SKIP_WITHOUT_CORPUS();
  for (const std::string& name : readertest::FolderEntries(testsupport::CorpusDir() + "/bmp")) {
    EXPECT_TRUE(std::any_of(std::begin(kCorpus), std::end(kCorpus),
                            [&](const CorpusCase& c) { return name == c.file; }))
        << name;
  }
}

}  // namespace
