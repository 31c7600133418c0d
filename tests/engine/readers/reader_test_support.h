#pragma once
// Helpers shared by the reader tests: progress recording, stderr capture, little-endian header
// building and a fixture that fails a test which leaves anything in the temporary folder.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "support/test_support.h"

namespace readertest {

struct ProgressReport {
  int phase, percent, row, reserved;
  bool operator==(const ProgressReport& o) const {
    return phase == o.phase && percent == o.percent && row == o.row && reserved == o.reserved;
  }
};
inline std::ostream& operator<<(std::ostream& out, const ProgressReport& r) {
  return out << "{" << r.phase << ", " << r.percent << "%, row " << r.row << ", " << r.reserved
             << "}";
}

inline std::vector<ProgressReport>& Reports() {
  static std::vector<ProgressReport> reports;
  return reports;
}
inline void RecordProgress(int phase, int percent, int row, int reserved) {
  Reports().push_back({phase, percent, row, reserved});
}
// A reading report for each row in rows, then the closing one for the last row of height.
inline std::vector<ProgressReport> ExpectedReports(const std::vector<int>& rows, int height) {
  std::vector<ProgressReport> out;
  for (int row : rows) out.push_back({1, static_cast<int>((row + 1) * 100LL / height), row, 0});
  out.push_back({1, 100, height - 1, 0});
  return out;
}

// What a reader reports for a picture read in the given number of passes: each row once per
// pass, then the closing report.
inline std::vector<ProgressReport> ExpectedProgress(int height, int passes) {
  std::vector<int> rows;
  for (int pass = 0; pass < passes; ++pass) {
    for (int row = 0; row < height; ++row) rows.push_back(row);
  }
  return ExpectedReports(rows, height);
}

// Everything written to file descriptor 2 between construction and Text(), whoever writes it
// (the C library, libpng, libtiff).
class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    char name[] = "/tmp/zephlora-stderr-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0) return;
    unlink(name);
    saved_ = dup(2);
    dup2(file_, 2);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  ~StderrCapture() { Restore(); }

  // Stops capturing and gives what was written.
  std::string Text() {
    Restore();
    std::string text;
    if (file_ < 0) return "(stderr could not be captured)";
    lseek(file_, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n;
    while ((n = read(file_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }

  int file_ = -1;
  int saved_ = -1;
};

inline void Put16(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  (*b)[at] = static_cast<uint8_t>(v);
  (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A test pattern colour that differs in every channel between neighbours and rows.
struct Rgb {
  uint8_t r, g, b;
};
inline Rgb PatternColour(int x, int y) {
  return {static_cast<uint8_t>(x * 7 + y * 3), static_cast<uint8_t>(x * 5 + y * 11 + 40),
          static_cast<uint8_t>(255 - x * 3 - y * 13)};
}

// Checks that bitmap is a 24-bit width x height picture of PatternColour.
inline void ExpectPattern(const Bitmap& bitmap, int width, int height) {
  ASSERT_EQ(bitmap.Width(), width);
  ASSERT_EQ(bitmap.Height(), height);
  ASSERT_EQ(bitmap.BitsPerPixel(), 24);
  EXPECT_EQ(bitmap.PaletteCount(), 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* p = bitmap.Row(y);
    for (int x = 0; x < width; ++x) {
      const Rgb c = PatternColour(x, y);
      ASSERT_TRUE(p[3 * x] == c.r && p[3 * x + 1] == c.g && p[3 * x + 2] == c.b)
          << "pixel " << x << "," << y;
    }
  }
}

// What a corpus file is expected to do in a reader.
enum Outcome { Refused, ReadFails, Decodes };

// Checks the results of Open (opened) and Read (read) against outcome; true when the file
// decoded and its pixels are to be compared.
inline bool ExpectOutcome(Outcome outcome, int opened, int read, const Bitmap& bitmap) {
  switch (outcome) {
    case Refused:
      EXPECT_EQ(opened, 0);
      EXPECT_EQ(bitmap.Width(), 0);
      EXPECT_TRUE(Reports().empty());
      return false;
    case ReadFails:
      EXPECT_EQ(opened, 1);
      EXPECT_EQ(read, 0);
      EXPECT_FALSE(Reports().empty());
      if (!Reports().empty()) {
        EXPECT_EQ(Reports().back().percent, 100);
      }
      return false;
    case Decodes:
      break;
  }
  EXPECT_EQ(read, 1);
  return read == 1;
}

inline std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

// Test inputs are written under names starting with "in-"; anything else in the private
// temporary folder at the end of a test was left there by the code under test.
class ReaderTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    Reports().clear();
  }
  void TearDown() override {
    std::vector<std::string> left;
    for (const std::string& name : FolderEntries(TempDir())) {
      if (name.rfind("in-", 0) != 0) left.push_back(name);
    }
    EXPECT_TRUE(left.empty()) << "left in the temporary folder: " << testing::PrintToString(left);
    TempDirTest::TearDown();
  }
  std::string Input(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = PathIn("in-" + name);
    EXPECT_TRUE(testsupport::WriteFileBytes(path, bytes));
    return path;
  }
  // Temporary files other than the inputs and the bitmap's own pixel store.
  std::vector<std::string> StrayFiles(const char* storePath) const {
    std::vector<std::string> stray;
    for (const std::string& name : FolderEntries(TempDir())) {
      if (name.rfind("in-", 0) != 0 && PathIn(name) != storePath) stray.push_back(name);
    }
    return stray;
  }
};

}  // namespace readertest
