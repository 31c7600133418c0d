#include "platform/gdiplus.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/pictures.h"
#include "support/test_support.h"

using testpictures::Rgb;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;
using testsupport::WriteFileText;

namespace {

std::u16string Wide(const std::string& text) {
  std::u16string wide;
  const int n = MultiByteToWideChar(0, 0, text.c_str(), -1, nullptr, 0);
  wide.resize(static_cast<size_t>(n));
  MultiByteToWideChar(0, 0, text.c_str(), -1, wide.data(), n);
  wide.pop_back();  // the terminator; std::u16string keeps its own
  return wide;
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

CLSID Encoder(int last) {
  return CLSID{0x557CF400u + static_cast<uint32_t>(last), 0x1A04, 0x11D3,
               {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
}
const CLSID kBmpEncoder = Encoder(0), kGifEncoder = Encoder(2), kPngEncoder = Encoder(6);

// Little-endian and big-endian field writers for headers built in code.
void Le16(std::vector<uint8_t>* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void Le32(std::vector<uint8_t>* b, uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}
void Be16(std::vector<uint8_t>* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v >> 8));
  b->push_back(static_cast<uint8_t>(v));
}
void Be32(std::vector<uint8_t>* b, uint32_t v) {
  Be16(b, v >> 16);
  Be16(b, v & 0xFFFF);
}
void Append(std::vector<uint8_t>* b, std::initializer_list<uint8_t> bytes) {
  b->insert(b->end(), bytes);
}

// A 24-bit BMP; with pixels, every row is there (all black).
std::vector<uint8_t> Bmp(uint32_t width, uint32_t height, bool withPixels) {
  const uint64_t row = (uint64_t{width} * 3 + 3) / 4 * 4;
  const uint64_t data = withPixels ? row * height : 0;
  std::vector<uint8_t> b = {'B', 'M'};
  Le32(&b, static_cast<uint32_t>(54 + data));
  Le32(&b, 0);
  Le32(&b, 54);
  Le32(&b, 40);
  Le32(&b, width);
  Le32(&b, height);
  Le16(&b, 1);
  Le16(&b, 24);
  Le32(&b, 0);
  Le32(&b, static_cast<uint32_t>(row * height));
  Le32(&b, 2835);
  Le32(&b, 2835);
  Le32(&b, 0);
  Le32(&b, 0);
  b.resize(b.size() + data, 0);
  return b;
}

void PngChunk(std::vector<uint8_t>* b, const char* type, const std::vector<uint8_t>& data) {
  Be32(b, static_cast<uint32_t>(data.size()));
  const size_t start = b->size();
  b->insert(b->end(), type, type + 4);
  b->insert(b->end(), data.begin(), data.end());
  Be32(b, static_cast<uint32_t>(crc32(0, b->data() + start, static_cast<uInt>(b->size() - start))));
}

// A PNG whose data holds its first two rows (all black) and then ends.
std::vector<uint8_t> PngFirstRows(uint32_t width, uint32_t height) {
  std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  Be32(&ihdr, width);
  Be32(&ihdr, height);
  Append(&ihdr, {8, 2, 0, 0, 0});
  PngChunk(&b, "IHDR", ihdr);
  const std::vector<uint8_t> rows((uint64_t{width} * 3 + 1) * 2, 0);
  std::vector<uint8_t> idat(compressBound(static_cast<uLong>(rows.size())));
  uLongf size = static_cast<uLongf>(idat.size());
  compress(idat.data(), &size, rows.data(), static_cast<uLong>(rows.size()));
  idat.resize(size);
  PngChunk(&b, "IDAT", idat);
  PngChunk(&b, "IEND", {});
  return b;
}

std::vector<uint8_t> GifHeaderOnly(uint32_t width, uint32_t height) {
  std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
  Le16(&b, width);
  Le16(&b, height);
  Append(&b, {0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // two-colour table
  b.push_back(',');
  Le16(&b, 0);
  Le16(&b, 0);
  Le16(&b, width);
  Le16(&b, height);
  Append(&b, {0, 2, 2, 0x4C, 0x01, 0, ';'});
  return b;
}

// A baseline JPEG whose tables are valid and whose scan is a few bytes.
std::vector<uint8_t> JpegHeaderOnly(uint32_t width, uint32_t height) {
  std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  b.resize(b.size() + 64, 1);
  Append(&b, {0xFF, 0xC0, 0, 11, 8});
  Be16(&b, height);
  Be16(&b, width);
  Append(&b, {1, 1, 0x11, 0});
  for (uint8_t tableClass : {0x00, 0x10}) {  // one code of length 1 for symbol 0
    Append(&b, {0xFF, 0xC4, 0, 20, tableClass, 1});
    b.resize(b.size() + 15, 0);
    b.push_back(0);
  }
  Append(&b, {0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0, 0x00, 0x00, 0xFF, 0xD9});
  return b;
}

// A one-strip 8-bit grey TIFF whose strip is not in the file.
std::vector<uint8_t> TiffHeaderOnly(uint32_t width, uint32_t height) {
  std::vector<uint8_t> b = {'I', 'I', 42, 0};
  Le32(&b, 8);
  const struct {
    uint16_t tag, type;
    uint32_t value;
  } entries[] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},   {259, 3, 1},
                 {262, 3, 1},     {273, 4, 200},    {277, 3, 1},   {278, 4, height},
                 {279, 4, width * height}};
  Le16(&b, sizeof entries / sizeof entries[0]);
  for (const auto& e : entries) {
    Le16(&b, e.tag);
    Le16(&b, e.type);
    Le32(&b, 1);
    if (e.type == 3) {
      Le16(&b, e.value);
      Le16(&b, 0);
    } else {
      Le32(&b, e.value);
    }
  }
  Le32(&b, 0);
  b.resize(256, 0);
  return b;
}

std::vector<uint8_t> IcoAround(const std::vector<uint8_t>& image, uint8_t width, uint8_t height,
                               uint16_t bits) {
  std::vector<uint8_t> b;
  Le16(&b, 0);
  Le16(&b, 1);
  Le16(&b, 1);
  Append(&b, {width, height, 0, 0});
  Le16(&b, 1);
  Le16(&b, bits);
  Le32(&b, static_cast<uint32_t>(image.size()));
  Le32(&b, 22);
  b.insert(b.end(), image.begin(), image.end());
  return b;
}

// A 32-bit icon of the picture: bottom-up BGRA rows, then an all-clear AND mask.
std::vector<uint8_t> Icon(const Rgb& picture) {
  std::vector<uint8_t> dib;
  Le32(&dib, 40);
  Le32(&dib, static_cast<uint32_t>(picture.width));
  Le32(&dib, static_cast<uint32_t>(picture.height * 2));
  Le16(&dib, 1);
  Le16(&dib, 32);
  for (int i = 0; i < 6; ++i) Le32(&dib, 0);
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = &picture.pixels[(static_cast<size_t>(y) * picture.width + x) * 3];
      Append(&dib, {p[2], p[1], p[0], 255});
    }
  }
  dib.resize(dib.size() + static_cast<size_t>((picture.width + 31) / 32 * 4) * picture.height, 0);
  return IcoAround(dib, static_cast<uint8_t>(picture.width), static_cast<uint8_t>(picture.height),
                   32);
}

class GdiplusTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    testpictures::StartGdiplus();
  }

  GpStatus Load(const std::string& path, GpImage** image) {
    return GdipLoadImageFromFile(Wide(path).c_str(), image);
  }

  // Loads, saves with the encoder and disposes; the status of the load if it failed.
  GpStatus Convert(const std::string& source, const std::string& target, const CLSID& encoder) {
    GpImage* image = nullptr;
    const GpStatus loaded = Load(source, &image);
    if (loaded != Ok) {
      EXPECT_EQ(image, nullptr);
      return loaded;
    }
    const GpStatus saved = GdipSaveImageToFile(image, Wide(target).c_str(), &encoder, nullptr);
    EXPECT_EQ(GdipDisposeImage(image), Ok);
    return saved;
  }

  // Loads the file, which must fail, and checks that nothing was printed.
  GpStatus RefusedSilently(const std::vector<uint8_t>& bytes) {
    const std::string path = PathIn("picture.png");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    GpImage* image = reinterpret_cast<GpImage*>(this);  // must come back null
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const GpStatus status = Load(path, &image);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(status, Ok);
    EXPECT_EQ(image, nullptr);
    if (image != nullptr && status == Ok) GdipDisposeImage(image);
    return status;
  }
};

// --- MultiByteToWideChar and CLSIDFromString ----------------------------------------------

struct WideCase {
  const char* name;
  std::string bytes;
  int length;  // -1: with the terminator
  std::u16string expected;
};

void PrintTo(const WideCase& c, std::ostream* os) { *os << c.name; }

class MultiByteToWideCharTest : public ::testing::TestWithParam<WideCase> {};

TEST_P(MultiByteToWideCharTest, CountsAndConverts) {
  const WideCase& c = GetParam();
  for (unsigned codePage : {0u, 65001u}) {
    const int n = MultiByteToWideChar(codePage, 0, c.bytes.c_str(), c.length, nullptr, 0);
    ASSERT_EQ(n, static_cast<int>(c.expected.size()));
    std::u16string out(static_cast<size_t>(n) + 1, u'#');  // one guard unit
    ASSERT_EQ(MultiByteToWideChar(codePage, 0, c.bytes.c_str(), c.length, out.data(), n), n);
    EXPECT_EQ(out.substr(0, static_cast<size_t>(n)), c.expected);
    EXPECT_EQ(out.back(), u'#');
    if (n > 1) {  // one unit short fails
      EXPECT_EQ(MultiByteToWideChar(codePage, 0, c.bytes.c_str(), c.length, out.data(), n - 1), 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MultiByteToWideCharTest,
    ::testing::Values(
        WideCase{"Empty", "", -1, std::u16string(1, u'\0')},
        WideCase{"Ascii", "ab", -1, std::u16string(u"ab\0", 3)},
        WideCase{"Chinese", "\xE5\x9B\xBE\xE7\x89\x87", -1, std::u16string(u"图片\0", 3)},
        WideCase{"OutsideTheBasicPlane", "\xF0\x9F\x98\x80", -1, std::u16string(u"\U0001F600\0", 3)},
        WideCase{"CountedWithoutTerminator", "abc", 2, u"ab"},
        WideCase{"CountedEmbeddedZero", std::string("a\0b", 3), 3, std::u16string(u"a\0b", 3)},
        WideCase{"StrayContinuation", "\x80z", 2, u"\uFFFDz"},
        WideCase{"CutShortSequenceIsOneReplacement", "\xE5\x9B" "z", 3, u"\uFFFDz"},
        WideCase{"CutByTheEnd", "\xE5\x9B", 2, u"\uFFFD"},
        WideCase{"Overlong", "\xC0\xAF", 2, u"\uFFFD\uFFFD"},
        WideCase{"Surrogate", "\xED\xA0\x80", 3, u"\uFFFD\uFFFD\uFFFD"},
        WideCase{"BeyondUnicode", "\xF4\x90\x80\x80", 4, u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        WideCase{"NeverUsedByte", "\xFF", 1, u"\uFFFD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MultiByteToWideCharTest, RefusesWhatItCannotDo) {
  char16_t out[8];
  EXPECT_EQ(MultiByteToWideChar(936, 0, "a", -1, nullptr, 0), 0);   // no other code page
  EXPECT_EQ(MultiByteToWideChar(0, 0x1, "a", -1, nullptr, 0), 0);   // unknown flag
  EXPECT_EQ(MultiByteToWideChar(0, 0, nullptr, -1, nullptr, 0), 0);
  EXPECT_EQ(MultiByteToWideChar(0, 0, "a", 0, nullptr, 0), 0);
  EXPECT_EQ(MultiByteToWideChar(0, 0, "a", -2, nullptr, 0), 0);
  EXPECT_EQ(MultiByteToWideChar(0, 0, "a", -1, out, -1), 0);
  EXPECT_EQ(MultiByteToWideChar(0, 0, "a", -1, nullptr, 4), 0);
  // Asked to fail on ill-formed input.
  EXPECT_EQ(MultiByteToWideChar(0, 0x8, "a\x80", -1, nullptr, 0), 0);
  EXPECT_EQ(MultiByteToWideChar(0, 0x8, "a\xC3\xA9", -1, nullptr, 0), 3);
}

TEST(CLSIDFromStringTest, ParsesTheBracedForm) {
  CLSID clsid;
  EXPECT_EQ(CLSIDFromString(u"{557cf401-1A04-11d3-9A73-0000F81EF32E}", &clsid), 0);
  EXPECT_EQ(clsid.Data1, 0x557CF401u);
  EXPECT_EQ(clsid.Data2, 0x1A04);
  EXPECT_EQ(clsid.Data3, 0x11D3);
  const uint8_t data4[8] = {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E};
  EXPECT_EQ(std::memcmp(clsid.Data4, data4, 8), 0);

  std::memset(&clsid, 0xFF, sizeof clsid);
  EXPECT_EQ(CLSIDFromString(nullptr, &clsid), 0);  // no text: the null class
  EXPECT_EQ(clsid.Data1, 0u);
}

TEST(CLSIDFromStringTest, RefusesOtherTextAndZeroesTheClsid) {
  const char16_t* const bad[] = {
      u"",
      u"557CF401-1A04-11D3-9A73-0000F81EF32E",     // no braces
      u"{557CF401-1A04-11D3-9A73-0000F81EF32}",    // a digit short
      u"{557CF401-1A04-11D3-9A73-0000F81EF32EE}",  // a digit over
      u"{557CF401-1A04-11D3-9A73-0000F81EF32E}x",  // text after the brace
      u"{557CF401-1A04-11D3-9A73_0000F81EF32E}",   // wrong separator
      u"{557CF4G1-1A04-11D3-9A73-0000F81EF32E}",   // not hexadecimal
      u"{\uFF15\uFF15\uFF17CF401-1A04-11D3-9A73-0000F81EF32E}"};  // full-width digits
  for (const char16_t* text : bad) {
    CLSID clsid;
    std::memset(&clsid, 0xFF, sizeof clsid);
    EXPECT_LT(CLSIDFromString(text, &clsid), 0);
    const CLSID zero{};
    EXPECT_EQ(std::memcmp(&clsid, &zero, sizeof clsid), 0);
  }
  EXPECT_LT(CLSIDFromString(u"{557CF401-1A04-11D3-9A73-0000F81EF32E}", nullptr), 0);
}

// --- Start-up and arguments -------------------------------------------------------------------

TEST(GdiplusNotStartedDeathTest, LoadAndSaveFailBeforeStartUp) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process in which nothing started
  EXPECT_EXIT(
      {
        GpImage* image = nullptr;
        const CLSID encoder = kPngEncoder;
        const bool refused = GdipLoadImageFromFile(u"/nonexistent.png", &image) ==
                                 GdiplusNotInitialized &&
                             image == nullptr &&
                             GdipSaveImageToFile(reinterpret_cast<GpImage*>(&image),
                                                 u"/nonexistent.png", &encoder,
                                                 nullptr) == GdiplusNotInitialized;
        _exit(refused ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(GdiplusTest, StartUpChecksItsArguments) {
  uintptr_t token = 0;
  GdiplusStartupInput input{1, nullptr, 0, 0};
  EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);  // again: fine
  EXPECT_NE(token, 0u);
  EXPECT_EQ(GdiplusStartup(nullptr, &input, nullptr), InvalidParameter);
  EXPECT_EQ(GdiplusStartup(&token, nullptr, nullptr), InvalidParameter);
  input.GdiplusVersion = 2;
  EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), InvalidParameter);
}

TEST_F(GdiplusTest, NullArgumentsAreRefused) {
  const std::string source = PathIn("s.png");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "PNG", source));
  GpImage* image = reinterpret_cast<GpImage*>(this);
  EXPECT_EQ(GdipLoadImageFromFile(nullptr, &image), InvalidParameter);
  EXPECT_EQ(image, nullptr);
  EXPECT_EQ(GdipLoadImageFromFile(Wide(source).c_str(), nullptr), InvalidParameter);
  EXPECT_NE(GdipLoadImageFromFile(u"", &image), Ok);
  EXPECT_EQ(GdipLoadImageFromFile(u"/tmp/\xD800x.png", &image), InvalidParameter);  // lone half
  EXPECT_EQ(GdipDisposeImage(nullptr), InvalidParameter);

  ASSERT_EQ(Load(source, &image), Ok);
  const std::u16string target = Wide(PathIn("t.png"));
  EXPECT_EQ(GdipSaveImageToFile(nullptr, target.c_str(), &kPngEncoder, nullptr), InvalidParameter);
  EXPECT_EQ(GdipSaveImageToFile(image, nullptr, &kPngEncoder, nullptr), InvalidParameter);
  EXPECT_EQ(GdipSaveImageToFile(image, target.c_str(), nullptr, nullptr), InvalidParameter);
  int parameters = 0;
  EXPECT_NE(GdipSaveImageToFile(image, target.c_str(), &kPngEncoder, &parameters), Ok);
  EXPECT_FALSE(Exists(PathIn("t.png")));
  EXPECT_EQ(GdipDisposeImage(image), Ok);
}

// --- Saving -----------------------------------------------------------------------------------

TEST_F(GdiplusTest, OnlyTheFiveEncoderClsidsSave) {
  const std::string source = PathIn("s.bmp");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "BMP", source));
  GpImage* image = nullptr;
  ASSERT_EQ(Load(source, &image), Ok);
  CLSID unknown[] = {CLSID{}, Encoder(3), Encoder(4), Encoder(7), kPngEncoder};
  unknown[4].Data4[7] ^= 1;
  for (const CLSID& clsid : unknown) {
    EXPECT_NE(GdipSaveImageToFile(image, Wide(PathIn("t.png")).c_str(), &clsid, nullptr), Ok);
    EXPECT_FALSE(Exists(PathIn("t.png")));
  }
  GdipDisposeImage(image);
}

TEST_F(GdiplusTest, UnwritableTargetsFailWithoutLeavingAFile) {
  const std::string source = PathIn("s.png");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "PNG", source));
  ASSERT_EQ(mkdir(PathIn("folder").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo(PathIn("fifo").c_str(), 0600), 0);
  for (const std::string& target :
       {PathIn("missing/t.png"), PathIn("folder"), PathIn("fifo"), PathIn("s.png/t.png")}) {
    EXPECT_EQ(Convert(source, target, kPngEncoder), Win32Error) << target;
  }
  EXPECT_FALSE(Exists(PathIn("missing")));
  struct stat info;
  ASSERT_EQ(stat(PathIn("fifo").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(GdiplusTest, FailedWriteRemovesTheNewTarget) {
  const std::string source = PathIn("s.png");
  const std::string target = PathIn("t.bmp");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "PNG", source));
  GpImage* image = nullptr;
  ASSERT_EQ(Load(source, &image), Ok);
  // A file-size limit below the BMP's 4 KiB makes the write fail part way.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 2048;
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const GpStatus status = GdipSaveImageToFile(image, Wide(target).c_str(), &kBmpEncoder, nullptr);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  GdipDisposeImage(image);
  EXPECT_NE(status, Ok);
  EXPECT_FALSE(Exists(target));
}

TEST_F(GdiplusTest, SavingOverAnExistingFileReplacesItsContent) {
  const std::string source = PathIn("s.png");
  const std::string target = PathIn("t.png");
  ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "PNG", source));
  ASSERT_TRUE(WriteFileText(target, std::string(100000, 'x')));  // longer than the picture
  ASSERT_EQ(Convert(source, target, kPngEncoder), Ok);
  EXPECT_EQ(testpictures::MeanDifference(testpictures::ReadPicture(target),
                                         testpictures::Stripes(35, 39)),
            0.0);
}

// One loaded picture saved in several formats; all but GIF leave it as it was.
TEST_F(GdiplusTest, ALoadedPictureSavesSeveralTimes) {
  const Rgb gradient = testpictures::Gradient(35, 39);  // more colours than GIF holds
  const std::string source = PathIn("s.png");
  ASSERT_TRUE(testpictures::WritePicture(gradient, "PNG", source));
  GpImage* image = nullptr;
  ASSERT_EQ(Load(source, &image), Ok);
  for (int last : {0, 1, 5, 6}) {
    const CLSID encoder = Encoder(last);
    ASSERT_EQ(GdipSaveImageToFile(image, Wide(PathIn("t")).c_str(), &encoder, nullptr), Ok);
    const Rgb written = testpictures::ReadPicture(PathIn("t"));
    if (last == 1) {
      EXPECT_LT(testpictures::MeanDifference(written, gradient), 12);  // JPEG
    } else {
      EXPECT_EQ(testpictures::MeanDifference(written, gradient), 0) << last;
    }
  }
  EXPECT_EQ(GdipSaveImageToFile(image, Wide(PathIn("t")).c_str(), &kGifEncoder, nullptr), Ok);
  EXPECT_EQ(testpictures::ReadPicture(PathIn("t")).width, 35);
  GdipDisposeImage(image);
}

// --- Loading ----------------------------------------------------------------------------------

TEST_F(GdiplusTest, LoadsTheFirstFrameOnly) {
  const Rgb first = testpictures::Stripes(35, 39);
  for (const char* format : {"GIF", "TIFF"}) {
    const std::string source = PathIn("frames");
    ASSERT_TRUE(testpictures::WriteFrames(
        {first, testpictures::Gradient(35, 39), testpictures::Gradient(41, 35)}, format, source));
    ASSERT_EQ(Convert(source, PathIn("t.png"), kPngEncoder), Ok) << format;
    EXPECT_EQ(testpictures::MeanDifference(testpictures::ReadPicture(PathIn("t.png")), first), 0)
        << format;
  }
}

TEST_F(GdiplusTest, LoadsAnIcon) {
  const Rgb stripes = testpictures::Stripes(35, 39);
  const std::string source = PathIn("icon.ico");
  ASSERT_TRUE(WriteFileBytes(source, Icon(stripes)));
  ASSERT_EQ(Convert(source, PathIn("t.png"), kPngEncoder), Ok);
  EXPECT_EQ(testpictures::MeanDifference(testpictures::ReadPicture(PathIn("t.png")), stripes), 0);
}

TEST_F(GdiplusTest, MissingAndNonRegularSourcesAreRefused) {
  GpImage* image = nullptr;
  EXPECT_EQ(Load(PathIn("missing.png"), &image), FileNotFound);
  ASSERT_EQ(mkfifo(PathIn("fifo").c_str(), 0600), 0);
  EXPECT_NE(Load(PathIn("fifo"), &image), Ok);  // must not wait for a writer
  EXPECT_NE(Load(TempDir(), &image), Ok);
  EXPECT_NE(Load("/dev/zero", &image), Ok);
  EXPECT_EQ(image, nullptr);
}

// The format comes from the first bytes: pictures under the wrong name load, and files that are
// no picture of the six formats never reach a decoder, whatever their name.
TEST_F(GdiplusTest, TheContentNotTheNameChoosesTheDecoder) {
  const Rgb stripes = testpictures::Stripes(35, 39);
  for (const char* format : {"BMP", "GIF", "JPEG", "PNG", "TIFF"}) {
    const std::string source = PathIn("picture.txt");
    ASSERT_TRUE(testpictures::WritePicture(stripes, format, source));
    ASSERT_EQ(Convert(source, PathIn("t.png"), kPngEncoder), Ok) << format;
    EXPECT_EQ(testpictures::MeanDifference(testpictures::ReadPicture(PathIn("t.png")),
                                           testpictures::ReadPicture(source, format)),
              0)
        << format;
  }
}

TEST_F(GdiplusTest, NonPicturesNamedPngRunNoOtherProgram) {
  // Stand-ins for the helper programs a converter might start, each leaving a mark when run.
  const std::string bin = PathIn("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  const char* const programs[] = {"gs", "gsc", "gsx", "rsvg-convert", "inkscape", "convert",
                                  "gm", "dcraw", "ufraw-batch", "html2ps", "mpeg2decode", "sh"};
  for (const char* program : programs) {
    const std::string script = bin + "/" + program;
    ASSERT_TRUE(WriteFileText(script, "#!/bin/sh\ntouch '" + PathIn("ran") + "'\n"));
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
  }
  const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

  const std::string files[] = {
      "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 35 39\nnewpath 0 0 moveto 35 39 lineto stroke\nshowpage\n",
      "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 35 39\nshowpage\n",
      std::string("\xC5\xD0\xD3\xC6", 4) + std::string(40, '\0'),  // EPS with a binary header
      "%PDF-1.4\n1 0 obj<<>>endobj\ntrailer<<>>\n%%EOF\n",
      "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"35\" "
      "height=\"39\"><rect width=\"35\" height=\"39\"/></svg>\n",
      "<svg width=\"35\" height=\"39\"><image href=\"|touch x\"/></svg>",
      "push graphic-context\nviewbox 0 0 35 39\nimage over 0,0 0,0 '|sh'\npop graphic-context\n",
      "P6\n35 39\n255\n" + std::string(35 * 39 * 3, '\x7F'),  // a real picture, but no GDI+ one
      std::string("\0\0\2\0\1\0", 6),                         // a cursor, not an icon
      std::string("\0\0\1\0\0\0", 6),                         // an icon of no images
      "",
      "hello"};
  for (const std::string& file : files) {
    const std::string path = PathIn("picture.png");
    ASSERT_TRUE(WriteFileText(path, file));
    GpImage* image = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Load(path, &image), UnknownImageFormat) << file.substr(0, 20);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(image, nullptr);
  }
  setenv("PATH", oldPath.c_str(), 1);
  EXPECT_FALSE(Exists(PathIn("ran")));
}

// Every format cut in half, and every format with its signature followed by garbage.
TEST_F(GdiplusTest, DamagedPicturesAreRefusedSilently) {
  const Rgb stripes = testpictures::Stripes(35, 39);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> good;
  for (const char* format : {"BMP", "GIF", "JPEG", "PNG", "TIFF"}) {
    ASSERT_TRUE(testpictures::WritePicture(stripes, format, PathIn("good")));
    good.emplace_back(format, ReadFileBytes(PathIn("good")));
  }
  good.emplace_back("ICO", Icon(stripes));
  uint32_t state = 12345;
  for (const auto& [format, bytes] : good) {
    SCOPED_TRACE(format);
    // The first 2 to 8 bytes are the signature; everything after them is replaced.
    const size_t signature = format == "BMP" ? 2 : format == "JPEG" ? 3 : format == "TIFF" ? 4 : 8;
    std::vector<uint8_t> garbage = bytes;
    for (size_t i = signature; i < garbage.size(); ++i) {
      state = state * 1664525u + 1013904223u;
      garbage[i] = static_cast<uint8_t>(state >> 24);
    }
    RefusedSilently(garbage);
    RefusedSilently(std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
    RefusedSilently(std::vector<uint8_t>(bytes.begin(), bytes.begin() + signature));
  }
  // A TIFF whose directory comes first and whose pixels are cut short.
  std::vector<uint8_t> tiff = TiffHeaderOnly(35, 39);
  tiff.resize(200 + 35 * 20);
  RefusedSilently(tiff);
}

// Headers built in code that declare pictures far beyond the limits: refused for the limit before
// any pixel store is made (under AddressSanitizer an attempt to allocate one would end the test).
TEST_F(GdiplusTest, HugeDeclaredSizesAreRefused) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool statusTellsTheLimit;  // the PNG decoder reports the limit as a decoding error
  };
  const Case cases[] = {
      {"BMP", Bmp(100000, 100000, false), true},
      {"PNG", PngFirstRows(100000, 100000), false},
      {"PNG over the pixel limit only", PngFirstRows(16385, 16384), false},
      {"GIF", GifHeaderOnly(65535, 65535), true},
      {"JPEG", JpegHeaderOnly(65500, 65500), true},
      {"TIFF", TiffHeaderOnly(100000, 100000), true},
      {"ICO holding a PNG", IcoAround(PngFirstRows(100000, 100000), 0, 0, 32), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GpStatus status = RefusedSilently(c.bytes);
    if (c.statusTellsTheLimit) {
      EXPECT_EQ(status, OutOfMemory);
    }
  }
}

// Boundary pairs on the side limit of 2^18: the last accepted and the first refused.
TEST_F(GdiplusTest, SideLimitBoundaries) {
  constexpr uint32_t kSide = 1u << 18;
  const std::string path = PathIn("wide.bmp");
  for (const auto& [width, height] : {std::pair{kSide, 1u}, std::pair{1u, kSide}}) {
    ASSERT_TRUE(WriteFileBytes(path, Bmp(width, height, true)));
    GpImage* image = nullptr;
    EXPECT_EQ(Load(path, &image), Ok) << width << " x " << height;
    GdipDisposeImage(image);
  }
  EXPECT_EQ(RefusedSilently(Bmp(kSide + 1, 1, true)), OutOfMemory);
  EXPECT_EQ(RefusedSilently(Bmp(1, kSide + 1, true)), OutOfMemory);
}

}  // namespace
