#include "engine/jpeg_codec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "engine/bitmap.h"
#include "jpeg_straight.h"
#include "support/test_support.h"

namespace {

using jpegstraight::Raster;
using jpegstraight::Settings;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

constexpr int kWidth = 35, kHeight = 39;  // odd and not square, so a swap shows
const Settings kBatch{75, true, 0, false};

std::vector<std::array<int, 4>> reports;
void Record(int phase, int percent, int row, int reserved) {
  reports.push_back({phase, percent, row, reserved});
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// Copies a raster into a new bitmap of the same shape (1 component: 8-bit grey, 3: 24-bit).
void Fill(const Raster& raster, Bitmap* bitmap) {
  ASSERT_EQ(bitmap->Create(raster.width, raster.height, raster.components * 8, 0), 1);
  std::copy(raster.samples.begin(), raster.samples.end(), bitmap->Bits());
}

std::vector<uint8_t> Pixels(const Bitmap& bitmap) {
  return std::vector<uint8_t>(bitmap.Bits(), bitmap.Bits() + bitmap.DataSize());
}

class JpegCodecTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    reports.clear();
  }
  std::string Save(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = PathIn(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }
};

// ---------------------------------------------------------------------------------------------
// Reading

struct ReadCase {
  const char* name;
  int components;
  bool progressive;
  int depth;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class JpegReadTest : public JpegCodecTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(JpegReadTest, RowsMatchAStraightDecode) {
  const ReadCase& c = GetParam();
  const auto bytes = jpegstraight::Encode(jpegstraight::MakePicture(kWidth, kHeight, c.components, 5),
                                          Settings{90, false, 0, c.progressive});
  Raster expected;
  ASSERT_TRUE(jpegstraight::Decode(bytes, &expected));

  Bitmap bitmap;
  JpegCodec codec;
  ASSERT_EQ(codec.Open(Save("in.jpg", bytes).c_str(), &bitmap, nullptr), 1);
  ASSERT_EQ(codec.Read(), 1);
  EXPECT_EQ(bitmap.Width(), kWidth);
  EXPECT_EQ(bitmap.Height(), kHeight);
  EXPECT_EQ(bitmap.BitsPerPixel(), c.depth);
  EXPECT_EQ(bitmap.PaletteCount(), 0);
  EXPECT_EQ(Pixels(bitmap), expected.samples);
  EXPECT_EQ(codec.Read(), 0) << "Read closes the codec";
}

INSTANTIATE_TEST_SUITE_P(Kinds, JpegReadTest,
                         ::testing::Values(ReadCase{"ColourJfif", 3, false, 24},
                                           ReadCase{"ColourProgressive", 3, true, 24},
                                           ReadCase{"Grey", 1, false, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  std::vector<uint8_t> (*make)();
};

std::vector<uint8_t> Cmyk() {
  return jpegstraight::Encode(jpegstraight::MakePicture(kWidth, kHeight, 4, 1), Settings{});
}
std::vector<uint8_t> SoiOnly() { return {0xFF, 0xD8}; }
std::vector<uint8_t> StartsWithEoi() {
  auto bytes = jpegstraight::Encode(jpegstraight::MakePicture(8, 8, 3, 1), Settings{});
  bytes[1] = 0xD9;
  return bytes;
}
std::vector<uint8_t> SoiThenJunk() {
  std::vector<uint8_t> bytes(300, 0x5A);
  bytes[0] = 0xFF;
  bytes[1] = 0xD8;
  return bytes;
}
std::vector<uint8_t> TablesWithoutImage() {
  auto bytes = jpegstraight::Encode(jpegstraight::MakePicture(8, 8, 3, 1), Settings{});
  const auto segments = jpegstraight::HeaderSegments(bytes);
  bytes.resize(segments.back().offset);  // everything before SOS
  bytes.push_back(0xFF);
  bytes.push_back(0xD9);
  return bytes;
}
std::vector<uint8_t> ZeroHeight() {
  return jpegstraight::WithFrameSize(jpegstraight::Encode(jpegstraight::MakePicture(8, 8, 3, 1), Settings{}), 8, 0);
}
std::vector<uint8_t> WiderThanLibjpeg() {
  return jpegstraight::WithFrameSize(jpegstraight::Encode(jpegstraight::MakePicture(8, 8, 1, 1), Settings{}),
                       65535, 8);
}

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class JpegRefusedTest : public JpegCodecTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(JpegRefusedTest, OpenRefusesAndStaysUsable) {
  const std::string path = Save("in.jpg", GetParam().make());
  Bitmap bitmap;
  JpegCodec codec;
  EXPECT_EQ(codec.Open(path.c_str(), &bitmap, Record), 0);
  EXPECT_EQ(codec.Read(), 0);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(Spools().empty());

  // The same codec takes the next file.
  const std::string good = Save("good.jpg", jpegstraight::Encode(
                                                jpegstraight::MakePicture(3, 2, 3, 1), Settings{}));
  ASSERT_EQ(codec.Open(good.c_str(), &bitmap, nullptr), 1);
  EXPECT_EQ(codec.Read(), 1);
  EXPECT_EQ(bitmap.Width(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpegRefusedTest,
    ::testing::Values(RefusedCase{"Cmyk", Cmyk}, RefusedCase{"TwoBytesFFD8", SoiOnly},
                      RefusedCase{"StartsFFD9", StartsWithEoi},
                      RefusedCase{"FFD8ThenJunk", SoiThenJunk},
                      RefusedCase{"Empty", [] { return std::vector<uint8_t>(); }},
                      RefusedCase{"TablesWithoutImage", TablesWithoutImage},
                      RefusedCase{"ZeroHeight", ZeroHeight},
                      RefusedCase{"WiderThanLibjpegDecodes", WiderThanLibjpeg}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegCodecTest, OpenRefusesWhatIsNoFile) {
  Bitmap bitmap;
  JpegCodec codec;
  EXPECT_EQ(codec.Open(PathIn("missing.jpg").c_str(), &bitmap, nullptr), 0);
  EXPECT_EQ(codec.Open(TempDir().c_str(), &bitmap, nullptr), 0);  // a directory
  EXPECT_EQ(codec.Open("", &bitmap, nullptr), 0);
  EXPECT_EQ(codec.Open(nullptr, &bitmap, nullptr), 0);
  EXPECT_EQ(codec.Read(), 0);
  EXPECT_EQ(codec.Close(), 1);
}

// Cuts a file in the middle of its scan data: libjpeg makes up the rest and only warns.
class JpegTruncatedTest : public JpegCodecTest, public ::testing::WithParamInterface<bool> {};

TEST_P(JpegTruncatedTest, ReadsWithoutAWord) {
  auto bytes = jpegstraight::Encode(jpegstraight::MakePicture(kWidth, kHeight, 3, 9),
                                    Settings{90, false, 0, GetParam()});
  const auto segments = jpegstraight::HeaderSegments(bytes);
  ASSERT_EQ(segments.back().marker, 0xDA);
  // The first scan's entropy data runs to the next marker that is neither stuffing nor restart.
  const size_t start = segments.back().offset + 4 + segments.back().payload.size();
  size_t end = start;
  while (end + 1 < bytes.size() &&
         !(bytes[end] == 0xFF && bytes[end + 1] != 0 && (bytes[end + 1] & 0xF8) != 0xD0)) {
    ++end;
  }
  ASSERT_GT(end - start, 8u);
  bytes.resize(start + (end - start) / 2);
  Raster expected;
  long warnings = 0;
  ASSERT_TRUE(jpegstraight::Decode(bytes, &expected, &warnings));
  ASSERT_GT(warnings, 0) << "the cut must be felt";

  const std::string path = Save("cut.jpg", bytes);
  Bitmap bitmap;
  JpegCodec codec;
  testing::internal::CaptureStderr();
  const int opened = codec.Open(path.c_str(), &bitmap, nullptr);
  const int read = opened == 1 ? codec.Read() : 0;
  const std::string printed = testing::internal::GetCapturedStderr();
  ASSERT_EQ(opened, 1);
  ASSERT_EQ(read, 1);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(Pixels(bitmap), expected.samples);
}

INSTANTIATE_TEST_SUITE_P(Scans, JpegTruncatedTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Progressive" : "Baseline"; });

TEST_F(JpegCodecTest, ReadThatCannotStoreFailsWithAClosingReport) {
  // libjpeg takes 65500 x 65500; its 24-bit pixels do not fit a 4 GiB store.
  const auto bytes = jpegstraight::WithFrameSize(
      jpegstraight::Encode(jpegstraight::MakePicture(8, 8, 3, 1), Settings{}), 65500, 65500);
  Bitmap bitmap;
  JpegCodec codec;
  ASSERT_EQ(codec.Open(Save("huge.jpg", bytes).c_str(), &bitmap, Record), 1);
  EXPECT_EQ(codec.Read(), 0);
  EXPECT_EQ(reports, (std::vector<std::array<int, 4>>{{1, 100, 65499, 0}}));
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_TRUE(Spools().empty());
  EXPECT_EQ(codec.Read(), 0);
}

TEST_F(JpegCodecTest, ProgressiveFileDeclaringGigabytesIsRefused) {
  // libjpeg would keep every coefficient of 65500 x 65500 x 3 samples: about 25 GB.
  Settings progressive;
  progressive.progressive = true;
  const auto bytes = jpegstraight::WithFrameSize(
      jpegstraight::Encode(jpegstraight::MakePicture(8, 8, 3, 1), progressive), 65500, 65500);
  Bitmap bitmap;
  JpegCodec codec;
  EXPECT_EQ(codec.Open(Save("huge.jpg", bytes).c_str(), &bitmap, Record), 0);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_TRUE(Spools().empty());
}

TEST_F(JpegCodecTest, FourRowsReportEachRowThenClose) {
  const auto bytes =
      jpegstraight::Encode(jpegstraight::MakePicture(kWidth, 4, 3, 2), Settings{});
  Bitmap bitmap;
  JpegCodec codec;
  ASSERT_EQ(codec.Open(Save("four.jpg", bytes).c_str(), &bitmap, Record), 1);
  EXPECT_TRUE(reports.empty()) << "Open reports nothing";
  ASSERT_EQ(codec.Read(), 1);
  EXPECT_EQ(reports, (std::vector<std::array<int, 4>>{
                         {1, 25, 0, 0}, {1, 50, 1, 0}, {1, 75, 2, 0}, {1, 100, 3, 0}, {1, 100, 3, 0}}));

  reports.clear();
  ASSERT_EQ(codec.Write(PathIn("out.jpg").c_str(), &bitmap, 75, true, true, 0, Record), 1);
  EXPECT_EQ(reports, (std::vector<std::array<int, 4>>{
                         {0, 25, 0, 0}, {0, 50, 1, 0}, {0, 75, 2, 0}, {0, 100, 3, 0}, {0, 100, 3, 0}}));
}

// ---------------------------------------------------------------------------------------------
// Writing

enum Kind { Grey8, Palette8, Rgb16, Rgb24, Argb32 };
const char* const kKindNames[] = {"Grey8", "Palette8", "Rgb16", "Rgb24", "Argb32"};

// A bitmap of the kind with varied pixels, and the red, green, blue it stands for, worked out
// here from the pixel layouts rather than by the engine's own conversion.
Raster MakeBitmap(Kind kind, Bitmap* bitmap) {
  const int depth = kind <= Palette8 ? 8 : kind == Rgb16 ? 16 : kind == Rgb24 ? 24 : 32;
  EXPECT_EQ(bitmap->Create(kWidth, kHeight, depth, kind == Palette8 ? 7 : 0), 1);
  const Raster noise = jpegstraight::MakePicture(kWidth, kHeight, depth / 8, 77 + kind);
  std::copy(noise.samples.begin(), noise.samples.end(), bitmap->Bits());
  if (kind == Palette8) {
    for (int i = 0; i < 7; ++i) {
      bitmap->Palette()[i] = {static_cast<uint8_t>(37 * i), static_cast<uint8_t>(250 - 31 * i),
                              static_cast<uint8_t>(90 + 20 * i), 0, 0};
    }
    for (uint32_t i = 0; i < bitmap->DataSize(); ++i) bitmap->Bits()[i] %= 7;
  }
  if (kind == Rgb16) {
    for (uint32_t i = 0; i < bitmap->DataSize(); i += 2) bitmap->Bits()[i] &= 0xFE;
  }
  Raster rgb{kWidth, kHeight, 3, {}};
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const uint8_t* p = bitmap->Bits() + i * depth / 8;
    int r = 0, g = 0, b = 0;
    switch (kind) {
      case Grey8: r = g = b = p[0]; break;
      case Palette8: {
        const PaletteEntry& e = bitmap->Palette()[p[0]];
        r = e.red, g = e.green, b = e.blue;
        break;
      }
      case Rgb16: {
        const int w = p[0] | p[1] << 8;
        r = (w >> 8) & 0xF8, g = (w >> 3) & 0xF8, b = (w << 2) & 0xF8;
        break;
      }
      case Rgb24: r = p[0], g = p[1], b = p[2]; break;
      case Argb32: r = p[1], g = p[2], b = p[3]; break;
    }
    rgb.samples.insert(rgb.samples.end(),
                       {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)});
  }
  return rgb;
}

Raster GreyOf(const Raster& rgb) {
  Raster grey{rgb.width, rgb.height, 1, {}};
  for (size_t i = 0; i < rgb.samples.size(); i += 3) {
    grey.samples.push_back(static_cast<uint8_t>(
        (306 * rgb.samples[i] + 601 * rgb.samples[i + 1] + 117 * rgb.samples[i + 2]) >> 10));
  }
  return grey;
}

class JpegWriteTest : public JpegCodecTest,
                      public ::testing::WithParamInterface<std::tuple<Kind, bool>> {};

TEST_P(JpegWriteTest, BytesAreThoseOfAStraightEncodeOfTheColours) {
  const Kind kind = std::get<0>(GetParam());
  const bool colour = std::get<1>(GetParam());
  Bitmap bitmap;
  const Raster rgb = MakeBitmap(kind, &bitmap);
  const std::string path = PathIn("out.jpg");
  JpegCodec codec;
  ASSERT_EQ(codec.Write(path.c_str(), &bitmap, 75, colour, true, 0, nullptr), 1);
  EXPECT_EQ(ReadFileBytes(path), jpegstraight::Encode(colour ? rgb : GreyOf(rgb), kBatch));
  EXPECT_EQ(Spools().size(), 1u) << "only the source's store is left";
}

INSTANTIATE_TEST_SUITE_P(
    KindsAndModes, JpegWriteTest,
    ::testing::Combine(::testing::Values(Grey8, Palette8, Rgb16, Rgb24, Argb32),
                       ::testing::Bool()),
    [](const auto& info) {
      return std::string(kKindNames[std::get<0>(info.param)]) +
             (std::get<1>(info.param) ? "ToColour" : "ToGrey");
    });

class JpegSettingsTest : public JpegCodecTest, public ::testing::WithParamInterface<Settings> {};

TEST_P(JpegSettingsTest, ReachLibjpeg) {
  const Settings& s = GetParam();
  const Raster picture = jpegstraight::MakePicture(kWidth, kHeight, 3, 3);
  Bitmap bitmap;
  Fill(picture, &bitmap);
  const std::string path = PathIn("out.jpg");
  JpegCodec codec;
  ASSERT_EQ(codec.Write(path.c_str(), &bitmap, s.quality, true, s.optimize, s.smoothing, nullptr), 1);
  EXPECT_EQ(ReadFileBytes(path), jpegstraight::Encode(picture, s));
}

INSTANTIATE_TEST_SUITE_P(Values, JpegSettingsTest,
                         ::testing::Values(Settings{1, false, 0, false}, Settings{100, true, 100, false},
                                           Settings{50, false, 37, false}, Settings{75, true, 0, false}),
                         [](const auto& info) {
                           return "Quality" + std::to_string(info.param.quality) +
                                  (info.param.optimize ? "Optimised" : "") + "Smoothing" +
                                  std::to_string(info.param.smoothing);
                         });

// The tables of ITU-T T.81 annex K.3 in the order libjpeg writes them (luminance DC and AC,
// chrominance DC and AC), each as its code counts per length.
const std::vector<std::vector<uint8_t>> kStandardCounts = {
    {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D},
    {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}};

// Code-count arrays of every DHT table in the header.
std::vector<std::vector<uint8_t>> HuffmanCounts(const std::vector<uint8_t>& bytes) {
  std::vector<std::vector<uint8_t>> tables;
  for (const auto& segment : jpegstraight::HeaderSegments(bytes)) {
    if (segment.marker != 0xC4) continue;
    size_t at = 0;
    while (at + 17 <= segment.payload.size()) {
      std::vector<uint8_t> counts(segment.payload.begin() + at + 1, segment.payload.begin() + at + 17);
      int symbols = 0;
      for (uint8_t n : counts) symbols += n;
      tables.push_back(counts);
      at += 17 + symbols;
    }
  }
  return tables;
}

std::vector<int> FrameMarkers(const std::vector<uint8_t>& bytes) {
  std::vector<int> markers;
  for (const auto& segment : jpegstraight::HeaderSegments(bytes)) {
    if (segment.marker >= 0xC0 && segment.marker <= 0xCF && segment.marker != 0xC4 &&
        segment.marker != 0xC8 && segment.marker != 0xCC) {
      markers.push_back(segment.marker);
    }
  }
  return markers;
}

TEST_F(JpegCodecTest, BatchSettingsGiveBaselineJfifWithOptimisedTables) {
  Bitmap bitmap;
  Fill(jpegstraight::MakePicture(kWidth, kHeight, 3, 4), &bitmap);
  JpegCodec codec;
  const std::string optimised = PathIn("optimised.jpg"), standard = PathIn("standard.jpg");
  ASSERT_EQ(codec.Write(optimised.c_str(), &bitmap, 75, true, true, 0, nullptr), 1);
  ASSERT_EQ(codec.Write(standard.c_str(), &bitmap, 75, true, false, 0, nullptr), 1);

  const auto bytes = ReadFileBytes(optimised);
  const auto segments = jpegstraight::HeaderSegments(bytes);
  ASSERT_FALSE(segments.empty());
  EXPECT_EQ(segments[0].marker, 0xE0);
  EXPECT_EQ(std::string(segments[0].payload.begin(), segments[0].payload.begin() + 5),
            std::string("JFIF\0", 5));
  EXPECT_EQ(FrameMarkers(bytes), std::vector<int>{0xC0});  // baseline, three components
  for (const auto& s : segments) {
    if (s.marker == 0xC0) {
      EXPECT_EQ(s.payload[5], 3);
    }
  }
  const auto tables = HuffmanCounts(bytes);
  ASSERT_EQ(tables.size(), 4u);
  for (const auto& counts : tables) {
    for (const auto& known : kStandardCounts) EXPECT_NE(counts, known);
  }
  // Without optimisation the same picture carries the standard tables: the check can tell.
  EXPECT_EQ(HuffmanCounts(ReadFileBytes(standard)), kStandardCounts);
}

struct BadWriteCase {
  const char* name;
  int quality, smoothing;
  bool emptyBitmap, missingFolder;
};

void PrintTo(const BadWriteCase& c, std::ostream* os) { *os << c.name; }

class JpegBadWriteTest : public JpegCodecTest, public ::testing::WithParamInterface<BadWriteCase> {};

TEST_P(JpegBadWriteTest, FailsWithoutCreatingTheTarget) {
  const BadWriteCase& c = GetParam();
  Bitmap bitmap;
  if (!c.emptyBitmap) MakeBitmap(Rgb16, &bitmap);  // would need a converted copy
  const std::string path = c.missingFolder ? PathIn("no/such/folder/out.jpg") : PathIn("out.jpg");
  JpegCodec codec;
  EXPECT_EQ(codec.Write(path.c_str(), &bitmap, c.quality, true, true, c.smoothing, Record), 0);
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(Exists(PathIn("no")));
  EXPECT_TRUE(reports.empty()) << "no callback was kept yet";
  EXPECT_EQ(Spools().size(), c.emptyBitmap ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JpegBadWriteTest,
    ::testing::Values(BadWriteCase{"Quality0", 0, 0, false, false},
                      BadWriteCase{"Quality101", 101, 0, false, false},
                      BadWriteCase{"SmoothingMinus1", 75, -1, false, false},
                      BadWriteCase{"Smoothing101", 75, 101, false, false},
                      BadWriteCase{"EmptyBitmap", 75, 0, true, false},
                      BadWriteCase{"MissingFolder", 75, 0, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegCodecTest, LimitsOfQualityAndSmoothingAreAccepted) {
  Bitmap bitmap;
  Fill(jpegstraight::MakePicture(kWidth, kHeight, 3, 6), &bitmap);
  JpegCodec codec;
  for (auto [quality, smoothing] : {std::pair{1, 0}, {100, 100}, {1, 100}, {100, 0}}) {
    const std::string path = PathIn("q" + std::to_string(quality) + "s" + std::to_string(smoothing));
    EXPECT_EQ(codec.Write(path.c_str(), &bitmap, quality, true, false, smoothing, nullptr), 1);
    Raster decoded;
    EXPECT_TRUE(jpegstraight::Decode(ReadFileBytes(path), &decoded));
  }
}

TEST_F(JpegCodecTest, WriteErrorInsideLibjpegFailsAfterReportingAndLeavesNoStore) {
  if (access("/dev/full", W_OK) != 0) {
    GTEST_SKIP() << "/dev/full is not writable here";
  }
  Bitmap bitmap;
  MakeBitmap(Argb32, &bitmap);  // written through a converted copy
  JpegCodec codec;
  EXPECT_EQ(codec.Write("/dev/full", &bitmap, 75, true, false, 0, Record), 0);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back(), (std::array<int, 4>{0, 100, kHeight - 1, 0}));
  EXPECT_EQ(Spools().size(), 1u) << "the converted copy is gone";
  // The codec is closed and can write again.
  EXPECT_EQ(codec.Write(PathIn("after.jpg").c_str(), &bitmap, 75, true, false, 0, nullptr), 1);
}

}  // namespace
