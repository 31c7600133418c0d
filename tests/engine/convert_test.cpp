#include "engine/convert.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "engine/jpeg_codec.h"
#include "engine/load_image.h"
#include "jpeg_straight.h"
#include "support/test_support.h"

namespace {

using jpegstraight::Raster;
using jpegstraight::Settings;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;
using testsupport::WriteFileText;

constexpr int kWidth = 35, kHeight = 39;
const Settings kBatch{75, true, 0, false};
const std::vector<uint8_t> kUntouched = {'k', 'e', 'e', 'p'};

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

class ConvertTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_EQ(mkdir(PathIn("pictures").c_str(), 0700), 0);
    colour_ = jpegstraight::MakePicture(kWidth, kHeight, 3, 11);
    ASSERT_TRUE(WriteFileBytes(PathIn("pictures/colour.jpg"), jpegstraight::Encode(colour_, Settings{})));
    ASSERT_TRUE(WriteFileBytes(PathIn("grey.jpg"),
                               jpegstraight::Encode(jpegstraight::MakePicture(kWidth, kHeight, 1, 12), Settings{})));
    ASSERT_TRUE(WriteFileBytes(PathIn("cmyk.jpg"),
                               jpegstraight::Encode(jpegstraight::MakePicture(kWidth, kHeight, 4, 13), Settings{})));
    ASSERT_TRUE(WriteFileText(PathIn("notes.txt"), "not a picture"));
  }
  Raster colour_;
};

// ---------------------------------------------------------------------------------------------
// Every result of the command

enum Source { Colour, Grey, Cmyk, Text, Missing, Folder, Wildcard, NoSource, EmptySource };
enum Target { Fresh, Existing, InMissingFolder, NoTarget, EmptyTarget };

struct ResultCase {
  const char* name;
  Source source;
  Target target;
  int quality, smoothing;
  int result;
};

void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.name; }

class ConvertResultTest : public ConvertTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ConvertResultTest, GivesItsResultAndLeavesNoStore) {
  const ResultCase& c = GetParam();
  std::string source;
  switch (c.source) {
    case Colour: source = PathIn("pictures/colour.jpg"); break;
    case Grey: source = PathIn("grey.jpg"); break;
    case Cmyk: source = PathIn("cmyk.jpg"); break;
    case Text: source = PathIn("notes.txt"); break;
    case Missing: source = PathIn("missing.jpg"); break;
    case Folder: source = PathIn("pictures"); break;
    case Wildcard: source = PathIn("pictures/*.jpg"); break;
    case NoSource: case EmptySource: break;
  }
  std::string target = PathIn("out.jpg");
  if (c.target == Existing) {
    ASSERT_TRUE(WriteFileBytes(target, kUntouched));
  }
  if (c.target == InMissingFolder) target = PathIn("no/such/out.jpg");

  const char* sourceArg = c.source == NoSource ? nullptr : source.c_str();
  const char* targetArg = c.target == NoTarget ? nullptr : c.target == EmptyTarget ? "" : target.c_str();
  EXPECT_EQ(ConvertToJpeg(sourceArg, targetArg, false, c.quality, true, c.smoothing), c.result);
  EXPECT_TRUE(Spools().empty());

  if (c.result == Success) {
    Raster written;
    ASSERT_TRUE(jpegstraight::Decode(ReadFileBytes(target), &written));
    EXPECT_EQ(written.width, kWidth);
    EXPECT_EQ(written.height, kHeight);
    EXPECT_EQ(written.components, 3);
  } else if (c.target == Existing) {
    EXPECT_EQ(ReadFileBytes(target), kUntouched);
  } else if (c.target == InMissingFolder) {
    EXPECT_FALSE(Exists(PathIn("no")));
  } else if (c.target == Fresh) {
    EXPECT_FALSE(Exists(target));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertResultTest,
    ::testing::Values(
        ResultCase{"Colour", Colour, Fresh, 75, 0, Success},
        ResultCase{"GreySourceOverExistingTarget", Grey, Existing, 75, 0, Success},
        ResultCase{"Quality1", Colour, Fresh, 1, 0, Success},
        ResultCase{"Quality100", Colour, Fresh, 100, 0, Success},
        ResultCase{"Smoothing100", Colour, Fresh, 75, 100, Success},
        ResultCase{"Quality0", Colour, Existing, 0, 0, BadArgument},
        ResultCase{"Quality101", Colour, Existing, 101, 0, BadArgument},
        ResultCase{"SmoothingMinus1", Colour, Existing, 75, -1, BadArgument},
        ResultCase{"Smoothing101", Colour, Existing, 75, 101, BadArgument},
        ResultCase{"NullSource", NoSource, Existing, 75, 0, BadArgument},
        ResultCase{"EmptySource", EmptySource, Existing, 75, 0, BadArgument},
        ResultCase{"NullTarget", Colour, NoTarget, 75, 0, BadArgument},
        ResultCase{"EmptyTarget", Colour, EmptyTarget, 75, 0, BadArgument},
        ResultCase{"MissingSourceAndNoTarget", Missing, NoTarget, 75, 0, BadArgument},
        ResultCase{"MissingSource", Missing, Existing, 75, 0, SourceMissing},
        ResultCase{"MissingSourceWithTargetInMissingFolder", Missing, InMissingFolder, 75, 0,
                   SourceMissing},
        ResultCase{"FolderSource", Folder, Existing, 75, 0, FormatNotRecognised},
        ResultCase{"WildcardSource", Wildcard, Existing, 75, 0, FormatNotRecognised},
        ResultCase{"CmykSource", Cmyk, Existing, 75, 0, FormatNotRecognised},
        ResultCase{"TextSource", Text, Fresh, 75, 0, FormatNotRecognised},
        ResultCase{"TargetInMissingFolder", Colour, InMissingFolder, 75, 0, WriteFailed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConvertTest, TheFileIsTheStraightEncodingOfTheDecodedPicture) {
  Raster decoded;
  ASSERT_TRUE(jpegstraight::Decode(ReadFileBytes(PathIn("pictures/colour.jpg")), &decoded));
  for (bool grey : {false, true}) {
    const std::string target = PathIn(grey ? "grey-out.jpg" : "colour-out.jpg");
    ASSERT_EQ(ConvertToJpeg(PathIn("pictures/colour.jpg").c_str(), target.c_str(), grey, 75, true, 0),
              Success);
    Raster expected = decoded;
    if (grey) {  // the bitmap's grey levels
      expected = {kWidth, kHeight, 1, {}};
      for (size_t i = 0; i < decoded.samples.size(); i += 3) {
        expected.samples.push_back(static_cast<uint8_t>(
            (306 * decoded.samples[i] + 601 * decoded.samples[i + 1] + 117 * decoded.samples[i + 2]) >> 10));
      }
    }
    EXPECT_EQ(ReadFileBytes(target), jpegstraight::Encode(expected, kBatch)) << "grey " << grey;
  }
}

TEST_F(ConvertTest, WriteFailureKeepsWhatWasWritten) {
  if (access("/dev/full", W_OK) != 0) {
    GTEST_SKIP() << "/dev/full is not writable here";
  }
  EXPECT_EQ(ConvertToJpeg(PathIn("pictures/colour.jpg").c_str(), "/dev/full", false, 75, true, 0),
            WriteFailed);
  EXPECT_TRUE(Spools().empty());
}

// A temporary folder on a file system too small for the pixel store: writing to a mapped page
// that has no room behind it ends a process with SIGBUS, so the reader must see it coming. The
// small file system is mounted in a private namespace of a child process and goes with it.
TEST_F(ConvertTest, NoRoomForThePixelStoreIsARefusalNotACrash) {
  ASSERT_TRUE(WriteFileBytes(PathIn("big.jpg"),
                             jpegstraight::Encode(jpegstraight::MakePicture(1000, 700, 3, 14), Settings{})));
  const std::string small = PathIn("small");
  ASSERT_EQ(mkdir(small.c_str(), 0700), 0);
  constexpr int kCannotMount = 77;
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    const bool isolated = unshare(geteuid() == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
                          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                          mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") == 0;
    if (!isolated) _exit(kCannotMount);
    setenv("TMPDIR", small.c_str(), 1);
    const int result = ConvertToJpeg(PathIn("big.jpg").c_str(), PathIn("out.jpg").c_str(), false, 75,
                                     true, 0);
    DIR* dir = opendir(small.c_str());
    int left = 0;
    while (dir != nullptr && readdir(dir) != nullptr) ++left;
    if (dir != nullptr) closedir(dir);
    _exit(result == FormatNotRecognised && left == 2 ? 0 : 1);  // only "." and ".." left
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  if (WEXITSTATUS(status) == kCannotMount) GTEST_SKIP() << "cannot mount a small file system here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "not FormatNotRecognised, or a store was left";
  EXPECT_FALSE(Exists(PathIn("out.jpg")));
}

// ---------------------------------------------------------------------------------------------
// The loader chain

TEST_F(ConvertTest, APipeAsSourceIsRefusedWithoutWaiting) {
  const std::string pipe = PathIn("pipe.jpg");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // In a child with an alarm, so that a reader waiting for a writer fails the test, not hangs it.
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    alarm(20);
    const int result = ConvertToJpeg(pipe.c_str(), PathIn("out.jpg").c_str(), false, 75, true, 0);
    _exit(result == FormatNotRecognised ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(Exists(PathIn("out.jpg")));
  EXPECT_TRUE(Spools().empty());
}

TEST_F(ConvertTest, LoadImageGivesTheReadersPicture) {
  Bitmap bitmap;
  ASSERT_EQ(LoadImage(PathIn("pictures/colour.jpg").c_str(), &bitmap), Success);
  Raster decoded;
  ASSERT_TRUE(jpegstraight::Decode(ReadFileBytes(PathIn("pictures/colour.jpg")), &decoded));
  EXPECT_EQ(bitmap.BitsPerPixel(), 24);
  EXPECT_EQ(std::vector<uint8_t>(bitmap.Bits(), bitmap.Bits() + bitmap.DataSize()), decoded.samples);

  ASSERT_EQ(LoadImage(PathIn("grey.jpg").c_str(), &bitmap), Success);
  EXPECT_EQ(bitmap.BitsPerPixel(), 8);
  EXPECT_EQ(bitmap.PaletteCount(), 0);
  bitmap.Release();

  EXPECT_EQ(LoadImage(PathIn("missing.jpg").c_str(), &bitmap), SourceMissing);
  EXPECT_EQ(LoadImage(PathIn("notes.txt").c_str(), &bitmap), FormatNotRecognised);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_TRUE(Spools().empty());
}

TEST_F(ConvertTest, AReaderThatTookTheFileHasTheLastWord) {
  // The JPEG reader takes this header, then cannot store 65500 x 65500 colour pixels.
  const auto bytes = jpegstraight::WithFrameSize(
      jpegstraight::Encode(jpegstraight::MakePicture(8, 8, 3, 1), Settings{}), 65500, 65500);
  ASSERT_TRUE(WriteFileBytes(PathIn("huge.jpg"), bytes));
  Bitmap bitmap;
  JpegCodec codec;
  ASSERT_EQ(codec.Open(PathIn("huge.jpg").c_str(), &bitmap, nullptr), 1);
  codec.Close();
  EXPECT_EQ(LoadImage(PathIn("huge.jpg").c_str(), &bitmap), FormatNotRecognised);
  EXPECT_EQ(ConvertToJpeg(PathIn("huge.jpg").c_str(), PathIn("out.jpg").c_str(), false, 75, true, 0),
            FormatNotRecognised);
  EXPECT_FALSE(Exists(PathIn("out.jpg")));
  EXPECT_TRUE(Spools().empty());
}

// ---------------------------------------------------------------------------------------------
// The public JPEG corpus: each file converts, or is refused, as its kind says.

enum Verdict {
  Converts,     // a picture libjpeg reads, damaged or not
  Refused,      // not a JPEG the reader takes: no reader of the chain reads it
  OtherFormat,  // another format under a .jpg name: refused by the JPEG reader
};

// Reader headers of the other formats, by file: an OtherFormat file converts once its reader is
// part of the engine.
#if __has_include("engine/readers/png_reader.h")
constexpr bool kPngReader = true;
#else
constexpr bool kPngReader = false;
#endif

const std::map<std::string, Verdict>& Corpus() {
  static const std::map<std::string, Verdict> corpus = {
      {"exiftool_Canon.jpg", Converts},
      {"exiftool_ExifTool.jpg", Converts},
      {"exiftool_FLIR.jpg", Converts},
      {"exiftool_GoPro.jpg", Converts},
      {"exiftool_Nikon.jpg", Converts},
      {"exiftool_Writer.jpg", Converts},
      {"im_input.jpg", Converts},
      {"jdec_16bit-qtables.jpg", Converts},
      {"jdec_blank_800x280.jpg", Converts},
      {"jdec_dc-predictor-overflow.jpg", Converts},
      {"jdec_derive-huffman-codes-overflow.jpg", Refused},  // bad Huffman table
      {"jdec_empty.jpg", Refused},
      {"jdec_extraneous-data.jpg", Converts},
      {"jdec_grayscale_large.jpg", Converts},
      {"jdec_grayscale_long.jpg", Converts},
      {"jdec_invalid-dimensions.jpg", Refused},  // height 0
      {"jdec_its_4085c929e0.jpg", Refused},      // invalid progressive parameters
      {"jdec_its_72d091e08c.jpg", Refused},      // bogus marker length
      {"jdec_its_754664a12e.jpg", Refused},      // 148 components, no scan
      {"jdec_its_8e5e74dbf9.jpg", Converts},     // data segment ends early: made up
      {"jdec_its_adcb34b94f.jpg", Refused},      // bogus arithmetic conditioning index
      {"jdec_its_c3018ebe53.jpg", Converts},     // corrupt entropy data: only warned about
      {"jdec_its_c52ffdd6a0.jpg", Refused},      // bogus Huffman table
      {"jdec_its_d085a42245.jpg", Refused},      // undefined Huffman table
      {"jdec_its_d22db5be75.jpg", Converts},
      {"jdec_its_ef72419365.jpg", Refused},      // bogus sampling factors
      {"jdec_its_f012a4321f.jpg", Refused},      // starts FF 00
      {"jdec_jpeg_lossless_sel1.jpg", Refused},  // lossless, 16 bits
      {"jdec_large_image.jpg", Converts},
      {"jdec_max_size.jpg", Refused},  // 65535 x 65535, beyond libjpeg
      {"jdec_missing-frame-image-1410.jpg", Refused},
      {"jdec_missing-sof.jpg", Refused},
      {"jdec_missing-sos.jpg", Refused},
      {"jdec_moz_jpg-cmyk-1.jpg", Refused},  // four components
      {"jdec_moz_jpg-gray.jpg", Converts},
      {"jdec_moz_jpg-progressive.jpg", Converts},
      {"jdec_moz_jpg-size-15x15.jpg", Converts},
      {"jdec_moz_jpg-size-17x17.jpg", Converts},
      {"jdec_moz_jpg-size-1x1.jpg", Converts},
      {"jdec_moz_jpg-size-2x2.jpg", Converts},
      {"jdec_moz_jpg-size-33x33.jpg", Converts},
      {"jdec_moz_jpg-size-6x6.jpg", OtherFormat},  // PNG data
      {"jdec_non-interleaved-mcu.jpg", Converts},
      {"jdec_null_height.jpg", Refused},
      {"jdec_progressive-missing-ac.jpg", Converts},
      {"jdec_restarts.jpg", Converts},
      {"jdec_rgb.jpg", Converts},
      {"jdec_tower.jpg", Converts},
      {"jdec_tower_progressive.jpg", Converts},
      {"ljt_monkey12.jpg", Refused},  // 12-bit samples
      {"ljt_testimgari.jpg", Converts},
      {"ljt_testimgint.jpg", Converts},
      {"ljt_testorig.jpg", Converts},
      {"pil_app13.jpg", Converts},
      {"pil_exif-72dpi-int.jpg", Converts},
      {"pil_flower.jpg", Converts},
      {"pil_hopper.jpg", Converts},
      {"pil_hopper_16bit_qtables.jpg", Converts},
      {"pil_hopper_bad_exif.jpg", Converts},
      {"pil_hopper_gray.jpg", Converts},
      {"pil_hopper_orientation_6.jpg", Converts},
      {"pil_icc-after-SOF.jpg", Converts},
      {"pil_icc_profile_big.jpg", Converts},
      {"pil_iptc.jpg", Converts},
      {"pil_jpeg_ff00_header.jpg", Converts},
      {"pil_junk_jpeg_header.jpg", Converts},
      {"pil_photoshop-200dpi-broken.jpg", Converts},
      {"pil_pil_sample_cmyk.jpg", Refused},  // four components
      {"pil_pil_sample_rgb.jpg", Converts},
      {"pil_truncated_app14.jpg", Converts},
      {"pil_truncated_jpeg.jpg", Converts},
      {"vips_cd1.1.jpg", Converts},
      {"vips_sample.jpg", Converts},
      {"vips_truncated.jpg", Converts},
      {"vips_ultra-hdr.jpg", Converts},
      {"zig_grayscale_sample0.jpg", Converts},
      {"zig_subsampling_410.jpg", Converts},
      {"zig_subsampling_411.jpg", Converts},
      {"zig_subsampling_420.jpg", Converts},
      {"zig_subsampling_422.jpg", Converts},
      {"zig_subsampling_444.jpg", Converts},
      {"zig_tuba.jpg", Converts},
  };
  return corpus;
}

std::set<std::string> CorpusFiles() {
  std::set<std::string> names;
  if (DIR* dir = opendir((testsupport::CorpusDir() + "/jpeg").c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') names.insert(entry->d_name);
    }
    closedir(dir);
  }
  return names;
}

class JpegCorpusTest : public testsupport::TempDirTest {};

TEST_F(JpegCorpusTest, EveryFileHasItsVerdict) {
  SKIP_WITHOUT_CORPUS();
  std::set<std::string> listed;
  for (const auto& [name, verdict] : Corpus()) listed.insert(name);
  EXPECT_EQ(CorpusFiles(), listed);
}

TEST_F(JpegCorpusTest, EachFileConvertsOrIsRefusedAsItsKindSays) {
  SKIP_WITHOUT_CORPUS();
  for (const auto& [name, verdict] : Corpus()) {
    SCOPED_TRACE(name);
    const std::string source = testsupport::CorpusDir() + "/jpeg/" + name;
    const std::string target = PathIn("out.jpg");
    unlink(target.c_str());
    if (!Exists(source)) continue;  // the listing test names what is missing

    Bitmap bitmap;
    JpegCodec codec;
    const int opened = codec.Open(source.c_str(), &bitmap, nullptr);
    EXPECT_EQ(opened, verdict == Converts ? 1 : 0);
    codec.Close();

    testing::internal::CaptureStderr();
    const int result = ConvertToJpeg(source.c_str(), target.c_str(), false, 75, true, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(Spools().empty());
    const bool converts = verdict == Converts || (verdict == OtherFormat && kPngReader);
    if (!converts) {
      EXPECT_EQ(result, FormatNotRecognised);
      EXPECT_FALSE(Exists(target));
      continue;
    }
    ASSERT_EQ(result, Success);
    if (verdict != Converts) continue;
    // The written file is the picture libjpeg decodes from the source, encoded in colour.
    Raster decoded;
    ASSERT_TRUE(jpegstraight::Decode(ReadFileBytes(source), &decoded));
    if (decoded.components == 1) {
      Raster rgb{decoded.width, decoded.height, 3, {}};
      for (uint8_t v : decoded.samples) rgb.samples.insert(rgb.samples.end(), {v, v, v});
      decoded = rgb;
    }
    EXPECT_EQ(ReadFileBytes(target), jpegstraight::Encode(decoded, kBatch));
  }
}

}  // namespace
