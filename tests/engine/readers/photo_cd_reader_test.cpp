#include "engine/readers/photo_cd_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "magick_reference.h"
#include "reader_test_support.h"

namespace {

using readertest::ExpectedReports;
using readertest::RecordProgress;
using readertest::Reports;
using Bytes = std::vector<uint8_t>;

constexpr size_t kMiB = 1048576;

struct Layout {
  int width, height;
  size_t start;
};
// Resolutions 0, 1 and 2.
const Layout kLayouts[] = {{192, 128, 0x2000}, {384, 256, 0xB800}, {768, 512, 0x30000}};

// An image pack of size bytes with its signature and every sample zero.
Bytes MakePack(size_t size = kMiB) {
  Bytes b(size, 0);
  const char signature[] = "PCD_IPI";
  std::copy(signature, signature + 7, b.begin() + 2048);
  return b;
}

// Fills group `pair` of a resolution: luminance of the upper and lower rows, then the C1 and
// C2 samples for each two pixels.
void PutGroup(Bytes* b, int resolution, int pair, int (*upper)(int x), int (*lower)(int x),
              int (*c1)(int k), int (*c2)(int k)) {
  const Layout& l = kLayouts[resolution];
  uint8_t* g = b->data() + l.start + static_cast<size_t>(pair) * 3 * l.width;
  for (int x = 0; x < l.width; ++x) {
    g[x] = static_cast<uint8_t>(upper(x));
    g[l.width + x] = static_cast<uint8_t>(lower(x));
  }
  for (int k = 0; k < l.width / 2; ++k) {
    g[2 * l.width + k] = static_cast<uint8_t>(c1(k));
    g[2 * l.width + l.width / 2 + k] = static_cast<uint8_t>(c2(k));
  }
}

void FillAll(Bytes* b, int resolution, uint8_t y, uint8_t c1, uint8_t c2) {
  const Layout& l = kLayouts[resolution];
  for (int pair = 0; pair < l.height / 2; ++pair) {
    uint8_t* g = b->data() + l.start + static_cast<size_t>(pair) * 3 * l.width;
    std::fill(g, g + 2 * l.width, y);
    std::fill(g + 2 * l.width, g + 2 * l.width + l.width / 2, c1);
    std::fill(g + 2 * l.width + l.width / 2, g + 3 * l.width, c2);
  }
}

// The colour conversion, for the cases not worked out by hand.
Bytes Reference(int y, int c1Sample, int c2Sample) {
  const double c1 = c1Sample - 156.0, c2 = c2Sample - 137.0, luma = 1.407488 * y;
  const double rgb[3] = {luma + 1.3230336 * c2 + 0.0000256 * c1,
                         luma - (0.67392 * c2 + 0.3954176 * c1),
                         luma + 2.0360448 * c1 + 0.0000256 * c2};
  Bytes out;
  for (double v : rgb) {
    out.push_back(static_cast<uint8_t>(std::fmin(255, std::fmax(0, std::floor(v + 0.5)))));
  }
  return out;
}

Bytes PixelAt(const Bitmap& bitmap, int x, int y) {
  const uint8_t* p = bitmap.Row(y) + 3 * x;
  return Bytes(p, p + 3);
}

class PhotoCdReaderTest : public readertest::ReaderTest {
 protected:
  int OpenBytes(const Bytes& bytes, Bitmap* bitmap, int resolution = PhotoCdBase,
                ProgressCallback callback = nullptr) {
    path_ = Input("image.pcd", bytes);
    return reader_.Open(path_.c_str(), bitmap, resolution, callback);
  }
  PhotoCdReader reader_;
  std::string path_;
};

struct ColourCase {
  int y, c1, c2;
  Bytes rgb;
};

TEST_F(PhotoCdReaderTest, ConvertsLuminanceAndChrominance) {
  const ColourCase cases[] = {
      {0, 156, 137, {0, 0, 0}},
      {181, 156, 137, {255, 255, 255}},  // 254.755... + 0.5 rounds down to 255
      {180, 156, 137, {253, 253, 253}},
      {100, 156, 137, {141, 141, 141}},
      {0, 156, 255, {156, 0, 0}},    // red 1.3230336 x 118; green below 0 is limited
      {0, 255, 137, {0, 0, 202}},    // blue 2.0360448 x 99
      {255, 0, 0, {178, 255, 41}},  // green above 255 is limited
  };
  for (const ColourCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "Y " << c.y << ", C1 " << c.c1 << ", C2 " << c.c2);
    Bytes bytes = MakePack();
    FillAll(&bytes, PhotoCdBase, static_cast<uint8_t>(c.y), static_cast<uint8_t>(c.c1),
            static_cast<uint8_t>(c.c2));
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
    ASSERT_EQ(reader_.Read(), 1);
    ASSERT_EQ(bitmap.Width(), 768);
    ASSERT_EQ(bitmap.Height(), 512);
    ASSERT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_EQ(bitmap.PaletteCount(), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), c.rgb);
    EXPECT_EQ(PixelAt(bitmap, 767, 511), c.rgb);
    EXPECT_EQ(PixelAt(bitmap, 301, 256), c.rgb);
  }
}

// Pixels 2k and 2k + 1 of both rows of a pair take C1 sample k from the first half of the
// chrominance bytes and C2 sample k from the second half.
TEST_F(PhotoCdReaderTest, RowPairsShareTheirChrominance) {
  Bytes bytes = MakePack();
  auto upper = [](int x) { return 60 + x % 101; };
  auto lower = [](int x) { return 150 - x % 97; };
  auto c1 = [](int k) { return 100 + k % 113; };
  auto c2 = [](int k) { return 200 - k % 127; };
  PutGroup(&bytes, PhotoCdBase, 0, upper, lower, c1, c2);
  PutGroup(&bytes, PhotoCdBase, 255, lower, upper, c2, c1);  // the last pair, roles swapped
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(bytes, &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  for (int x = 0; x < 768; ++x) {
    ASSERT_EQ(PixelAt(bitmap, x, 0), Reference(upper(x), c1(x / 2), c2(x / 2))) << x;
    ASSERT_EQ(PixelAt(bitmap, x, 1), Reference(lower(x), c1(x / 2), c2(x / 2))) << x;
    ASSERT_EQ(PixelAt(bitmap, x, 510), Reference(lower(x), c2(x / 2), c1(x / 2))) << x;
    ASSERT_EQ(PixelAt(bitmap, x, 511), Reference(upper(x), c2(x / 2), c1(x / 2))) << x;
    ASSERT_EQ(PixelAt(bitmap, x, 2), (Bytes{0, 154, 0})) << x;  // a pair of zero bytes
  }
}

TEST_F(PhotoCdReaderTest, NeedsOneMebibyteAndTheSignature) {
  struct Case {
    const char* name;
    size_t size;
    const char* signature;
    size_t at;
    int expected;
  };
  const Case cases[] = {
      {"exactly 1 MiB", kMiB, "PCD_", 2048, 1},
      {"one byte less", kMiB - 1, "PCD_", 2048, 0},
      {"2 MiB", 2 * kMiB, "PCD_", 2048, 1},
      {"no signature", kMiB, "", 2048, 0},
      {"signature one byte early", kMiB, "PCD_", 2047, 0},
      {"signature damaged", kMiB, "PCD-", 2048, 0},
      {"small file with signature", 4096, "PCD_", 2048, 0},
  };
  for (const Case& c : cases) {
    Bytes bytes(c.size, 0);
    std::copy(c.signature, c.signature + std::char_traits<char>::length(c.signature),
              bytes.begin() + static_cast<std::ptrdiff_t>(c.at));
    Bitmap bitmap;
    EXPECT_EQ(OpenBytes(bytes, &bitmap), c.expected) << c.name;
    EXPECT_EQ(reader_.Read(), c.expected) << c.name;
  }
  EXPECT_EQ(reader_.Open(PathIn("missing.pcd").c_str(), nullptr, 2, nullptr), 0);
}

// Each resolution reads its own part of the file; only the low byte of the selector counts.
TEST_F(PhotoCdReaderTest, ReadsTheChosenResolution) {
  Bytes bytes = MakePack();
  FillAll(&bytes, 0, 10, 156, 137);
  FillAll(&bytes, 1, 50, 156, 137);
  FillAll(&bytes, 2, 100, 156, 137);
  struct Case {
    int resolution, width, height;
    uint8_t grey;
  };
  for (const Case& c : {Case{0, 192, 128, 14}, {1, 384, 256, 70}, {2, 768, 512, 141},
                        {0x100, 192, 128, 14}, {0x102, 768, 512, 141}}) {
    SCOPED_TRACE(c.resolution);
    Bitmap bitmap;
    ASSERT_EQ(OpenBytes(bytes, &bitmap, c.resolution), 1);
    ASSERT_EQ(reader_.Read(), 1);
    ASSERT_EQ(bitmap.Width(), c.width);
    ASSERT_EQ(bitmap.Height(), c.height);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), Bytes(3, c.grey));
    EXPECT_EQ(PixelAt(bitmap, c.width - 1, c.height - 1), Bytes(3, c.grey));
  }
  for (int resolution : {3, 4, 255, -1, 0x1FF}) {
    Bitmap bitmap;
    EXPECT_EQ(OpenBytes(bytes, &bitmap, resolution), 0) << resolution;
  }
  // The reader's plain Open, the one the loader chain uses, is the 768 x 512 image.
  ImageReader& plain = reader_;
  Bitmap bitmap;
  ASSERT_EQ(plain.Open(path_.c_str(), &bitmap, nullptr), 1);
  ASSERT_EQ(plain.Read(), 1);
  EXPECT_EQ(bitmap.Width(), 768);
  EXPECT_EQ(PixelAt(bitmap, 5, 5), Bytes(3, 141));
}

TEST_F(PhotoCdReaderTest, ReportsEveryPairAndTheEnd) {
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakePack(), &bitmap, PhotoCdBase16, RecordProgress), 1);
  ASSERT_EQ(reader_.Read(), 1);
  std::vector<int> rows;
  for (int y = 0; y < 128; y += 2) rows.push_back(y);
  EXPECT_EQ(Reports(), ExpectedReports(rows, 128));
}

// With these resolutions any file of 1 MiB holds the whole image; one that shrinks after Open
// ends inside the image data.
TEST_F(PhotoCdReaderTest, FileEndingInsideTheImageFailsInRead) {
  Bytes bytes = MakePack();
  FillAll(&bytes, PhotoCdBase, 100, 156, 137);
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(bytes, &bitmap, PhotoCdBase, RecordProgress), 1);
  ASSERT_EQ(truncate(path_.c_str(), 0x30000 + 3 * 2304 + 1000), 0);  // three whole pairs
  EXPECT_EQ(reader_.Read(), 0);
  EXPECT_EQ(Reports(), ExpectedReports({0, 2, 4}, 512));
  EXPECT_EQ(StrayFiles(bitmap.StorePath()), std::vector<std::string>{});
  ASSERT_EQ(bitmap.Height(), 512);
  EXPECT_EQ(PixelAt(bitmap, 767, 5), Bytes(3, 141));  // converted before the end
  EXPECT_EQ(PixelAt(bitmap, 0, 6), Bytes(3, 0));      // never reached
}

TEST_F(PhotoCdReaderTest, KeepsNoRowFilesAfterRead) {
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakePack(), &bitmap), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(StrayFiles(bitmap.StorePath()), std::vector<std::string>{});
}

TEST_F(PhotoCdReaderTest, CloseIsSafeAndTheReaderIsReusable) {
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Read(), 0);
  Bitmap bitmap;
  ASSERT_EQ(OpenBytes(MakePack(), &bitmap), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Close(), 1);
  EXPECT_EQ(reader_.Read(), 0);
  EXPECT_EQ(bitmap.Width(), 0);
  ASSERT_EQ(OpenBytes(MakePack(), &bitmap, PhotoCdBase4), 1);
  ASSERT_EQ(reader_.Read(), 1);
  EXPECT_EQ(reader_.Read(), 0);
  EXPECT_EQ(bitmap.Width(), 384);
}

// ---------------------------------------------------------------------------------------------
// The public corpus, with the large files of other formats that only a probe by size would take.

struct CorpusCase {
  const char* file;
  int open, read;
};

const CorpusCase kCorpus[] = {
    {"pcd/gen_kodim03_im_1MiB.pcd", 1, 1},
    {"pcd/pil_hopper.pcd", 0, 0},  // 788,480 bytes
    {"jpeg/vips_ultra-hdr.jpg", 0, 0},
    {"tiff/pil_cmx3g8_wv_1998.260_0745_mcidas.tiff", 0, 0},
};

TEST_F(PhotoCdReaderTest, CorpusFilesGiveTheirExpectedResults) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.file);
    Bitmap bitmap;
    ASSERT_EQ(reader_.Open((testsupport::CorpusDir() + "/" + c.file).c_str(), &bitmap, nullptr),
              c.open);
    ASSERT_EQ(reader_.Read(), c.read);
  }
}

// The pack was written from kodim03.png; decoded, it must look like that picture.
TEST_F(PhotoCdReaderTest, CorpusPackLooksLikeItsSource) {
  SKIP_WITHOUT_CORPUS();
  Bitmap bitmap;
  ASSERT_EQ(reader_.Open((testsupport::CorpusDir() + "/pcd/gen_kodim03_im_1MiB.pcd").c_str(),
                         &bitmap, nullptr),
            1);
  ASSERT_EQ(reader_.Read(), 1);
  const readertest::Decoded source =
      readertest::DecodeWithMagick("PNG", testsupport::CorpusDir() + "/png/kodim03.png");
  ASSERT_TRUE(source.ok);
  ASSERT_EQ(source.width, 768);
  ASSERT_EQ(source.height, 512);
  // It decodes lighter than its source, so each channel is compared by its correlation with the
  // source, which a change of brightness leaves alone; the chrominance halves swapped give
  // about 0.3 for red and blue.
  const double n = 768.0 * 512.0;
  for (size_t channel = 0; channel < 3; ++channel) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = channel; i < source.rgb.size(); i += 3) {
      const double a = bitmap.Bits()[i], b = source.rgb[i];
      sa += a, sb += b, saa += a * a, sbb += b * b, sab += a * b;
    }
    const double r = (sab - sa * sb / n) / std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
    EXPECT_GT(r, 0.9) << "channel " << channel;
  }
}

}  // namespace
