#include "single/gdiplus_converter.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <magick/api.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "single/encoder_type.h"
#include "support/pictures.h"
#include "support/test_support.h"

using testpictures::Rgb;
using testsupport::ReadFileBytes;

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// Pixel memory GraphicsMagick holds for pictures still open; it returns to where it was once
// every picture of a conversion has been disposed.
magick_int64_t PictureMemory() { return GetMagickResource(MemoryResource); }

class GdiplusConverterTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    testpictures::StartGdiplus();
    memoryBefore_ = PictureMemory();
  }
  void TearDown() override {
    EXPECT_EQ(PictureMemory(), memoryBefore_) << "a picture stayed open";
    TempDirTest::TearDown();
  }

  // Converts and checks that nothing was printed on the way.
  bool Quietly(const std::string& source, const std::string& target, int type) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool ok = ConvertWithGdiplus(source, target, type);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << source;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << source;
    return ok;
  }

 private:
  magick_int64_t memoryBefore_ = 0;
};

// --- ToUtf16Bytes -------------------------------------------------------------------------------

TEST(ToUtf16BytesTest, ConvertsAndTerminates) {
  EXPECT_EQ(ToUtf16Bytes(""), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(ToUtf16Bytes("a.png"),
            (std::vector<uint8_t>{'a', 0, '.', 0, 'p', 0, 'n', 0, 'g', 0, 0, 0}));
  // 图片 is U+56FE U+7247, little-endian.
  EXPECT_EQ(ToUtf16Bytes("\xE5\x9B\xBE\xE7\x89\x87"),
            (std::vector<uint8_t>{0xFE, 0x56, 0x47, 0x72, 0, 0}));
  // Beyond the basic plane: a surrogate pair.
  EXPECT_EQ(ToUtf16Bytes("\xF0\x9F\x98\x80"),
            (std::vector<uint8_t>{0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
  // A byte that is no UTF-8 becomes U+FFFD.
  EXPECT_EQ(ToUtf16Bytes("a\xFF"), (std::vector<uint8_t>{'a', 0, 0xFD, 0xFF, 0, 0}));
  // A text ends at its first zero byte.
  EXPECT_EQ(ToUtf16Bytes(std::string("a\0b", 3)), (std::vector<uint8_t>{'a', 0, 0, 0}));
}

TEST(EncoderTypeTest, StartsAtZero) { EXPECT_EQ(single::EncoderType, 0); }

// --- Conversions ----------------------------------------------------------------------------------

struct SourceFormat {
  const char* format;  // GraphicsMagick's name
  bool lossless;
};

void PrintTo(const SourceFormat& source, std::ostream* os) { *os << source.format; }

class FiveByFiveTest : public GdiplusConverterTest,
                       public ::testing::WithParamInterface<std::tuple<SourceFormat, int>> {};

// Every source format to every type; the target is always named .jpg, and the file written is
// of the type's format, of the source's size, with the source's pixels where both are lossless.
TEST_P(FiveByFiveTest, WritesTheTypesFormat) {
  const auto& [source, type] = GetParam();
  const Rgb stripes = testpictures::Stripes(35, 39);
  const std::string sourcePath = PathIn(std::string("source.") + source.format);
  ASSERT_TRUE(testpictures::WritePicture(stripes, source.format, sourcePath));
  const std::string target = PathIn("target.jpg");

  ASSERT_TRUE(Quietly(sourcePath, target, type));
  EXPECT_TRUE(testpictures::HasSignatureOf(type, ReadFileBytes(target)));
  const Rgb written = testpictures::ReadPicture(target);
  ASSERT_EQ(written.width, 35);
  ASSERT_EQ(written.height, 39);
  const Rgb decodedSource = testpictures::ReadPicture(sourcePath, source.format);
  const bool lossless = type != 2 && (type != 3 || source.lossless);
  if (lossless) {
    EXPECT_EQ(testpictures::MeanDifference(written, decodedSource), 0);
  } else {
    // Chroma subsampling smears the saturated stripes: about 27 on average at quality 75.
    EXPECT_LT(testpictures::MeanDifference(written, decodedSource), 32);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FiveByFiveTest,
    ::testing::Combine(::testing::Values(SourceFormat{"BMP", true}, SourceFormat{"GIF", true},
                                         SourceFormat{"JPEG", false}, SourceFormat{"PNG", true},
                                         SourceFormat{"TIFF", true}),
                       ::testing::Values(1, 2, 3, 4, 5)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).format) + "ToType" +
             std::to_string(std::get<1>(info.param));
    });

TEST_F(GdiplusConverterTest, TypeFiveWithAJpgNameWritesPng) {
  const std::string source = PathIn("a.bmp");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "BMP", source));
  ASSERT_TRUE(Quietly(source, PathIn("zephlora.jpg"), 5));
  EXPECT_TRUE(testpictures::HasSignatureOf(5, ReadFileBytes(PathIn("zephlora.jpg"))));
}

TEST_F(GdiplusConverterTest, TypesWithoutAnEncoderFailAndWriteNothing) {
  const std::string source = PathIn("a.png");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "PNG", source));
  for (int type : {0, 6, -1, 7, 261, INT_MIN, INT_MAX}) {
    EXPECT_FALSE(Quietly(source, PathIn("t.png"), type)) << type;
    EXPECT_FALSE(Exists(PathIn("t.png"))) << type;
  }
}

TEST_F(GdiplusConverterTest, SourcesThatAreNoPictureFailAndWriteNothing) {
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("text.png"), "not a picture\n"));
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("empty.bmp"), ""));
  ASSERT_TRUE(testsupport::WriteFileText(
      PathIn("page.png"), "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 35 39\nshowpage\n"));
  ASSERT_TRUE(testsupport::WriteFileText(
      PathIn("drawing.png"), "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"35\" "
                             "height=\"39\"><rect width=\"35\" height=\"39\"/></svg>\n"));
  for (const char* name : {"missing.png", "text.png", "empty.bmp", "page.png", "drawing.png", ""}) {
    for (int type = 1; type <= 5; ++type) {
      EXPECT_FALSE(Quietly(name[0] ? PathIn(name) : "", PathIn("t.png"), type)) << name;
      EXPECT_FALSE(Exists(PathIn("t.png"))) << name;
    }
  }
}

TEST_F(GdiplusConverterTest, TargetFolderMissingFails) {
  const std::string source = PathIn("a.png");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "PNG", source));
  EXPECT_FALSE(Quietly(source, PathIn("no folder/t.png"), 5));
  EXPECT_FALSE(Quietly(source, "", 5));
}

TEST_F(GdiplusConverterTest, ChinesePathsWork) {
  const std::string folder = PathIn("图片 转换");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string source = folder + "/源图片.tiff";
  const std::string target = folder + "/目标.bmp";
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "TIFF", source));
  ASSERT_TRUE(Quietly(source, target, 1));
  EXPECT_TRUE(testpictures::HasSignatureOf(1, ReadFileBytes(target)));
  EXPECT_EQ(testpictures::MeanDifference(testpictures::ReadPicture(target),
                                         testpictures::Stripes(35, 39)),
            0);
}

// The same settings twice write the same target once more.
TEST_F(GdiplusConverterTest, ConvertingAgainOverwritesTheTarget) {
  const std::string source = PathIn("a.gif");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "GIF", source));
  ASSERT_TRUE(Quietly(source, PathIn("t.tiff"), 4));
  const std::vector<uint8_t> first = ReadFileBytes(PathIn("t.tiff"));
  ASSERT_TRUE(Quietly(source, PathIn("t.tiff"), 4));
  EXPECT_EQ(ReadFileBytes(PathIn("t.tiff")), first);
}

// --- The public corpus ----------------------------------------------------------------------------

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool Prefixed(const std::string& name, const char* prefix) { return name.rfind(prefix, 0) == 0; }

// Files cut short or broken in their header, which no decoder can take.
const char* const kMustFail[] = {
    "bs_b_badbitcount.bmp", "bs_b_reallybig.bmp",      "bs_b_shortfile.bmp",
    "gen_bs_rgb24_truncated.bmp", "pil_truncated_jpeg.jpg", "vips_truncated.jpg",
    "jdec_empty.jpg",       "pil_truncated_image.png", "xs1n0g01.png",
    "xcrn0g04.png",         "xd0n2c08.png",            "pil_seek_too_large.tif"};

class CorpusTest : public GdiplusConverterTest, public ::testing::WithParamInterface<const char*> {};

// Every file either converts to a real PNG or fails without a target; nothing crashes or prints.
// The suites' good files convert and the clearly broken ones fail.
TEST_P(CorpusTest, EveryFileConvertsOrFailsCleanly) {
  SKIP_WITHOUT_CORPUS();
  const std::string folder = testsupport::CorpusDir() + "/" + GetParam();
  const std::vector<std::string> names = FilesIn(folder);
  ASSERT_FALSE(names.empty()) << folder;
  int converted = 0;
  for (const std::string& name : names) {
    const std::string target = PathIn("t.png");
    const bool ok = Quietly(folder + "/" + name, target, 5);
    if (ok) {
      ++converted;
      EXPECT_TRUE(testpictures::HasSignatureOf(5, ReadFileBytes(target))) << name;
      EXPECT_GT(testpictures::ReadPicture(target, "PNG").width, 0) << name;
      unlink(target.c_str());
    } else {
      EXPECT_FALSE(Exists(target)) << name;
    }
    if (Prefixed(name, "basn") || Prefixed(name, "bs_g_")) {
      EXPECT_TRUE(ok) << name;
    }
    if (std::find(std::begin(kMustFail), std::end(kMustFail), name) != std::end(kMustFail)) {
      EXPECT_FALSE(ok) << name;
    }
  }
  EXPECT_GT(converted, 0);
}

INSTANTIATE_TEST_SUITE_P(Folders, CorpusTest,
                         ::testing::Values("bmp", "gif", "jpeg", "png", "tiff", "other"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
