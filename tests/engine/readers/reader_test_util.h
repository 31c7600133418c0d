#pragma once
// Small helpers shared by the reader tests.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace readertest {

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

// Names in a folder, without "." and "..".
inline std::vector<std::string> FilesIn(const std::string& folder) {
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

// Records the progress reports of a reader; callbacks are plain functions, so the log is global.
struct ProgressCall {
  int phase, percent, row, reserved;
  bool operator==(const ProgressCall& o) const {
    return phase == o.phase && percent == o.percent && row == o.row && reserved == o.reserved;
  }
};
inline std::ostream& operator<<(std::ostream& os, const ProgressCall& c) {
  return os << "(" << c.phase << ", " << c.percent << "%, row " << c.row << ", " << c.reserved << ")";
}
inline std::vector<ProgressCall>& ProgressLog() {
  static std::vector<ProgressCall> log;
  return log;
}
inline void RecordProgress(int phase, int percent, int row, int reserved) {
  ProgressLog().push_back({phase, percent, row, reserved});
}

// What a reader must report for a picture of the given height read in the given number of
// passes: each row once per pass, then the last row once more, each with the percentage of rows
// done, truncated.
inline std::vector<ProgressCall> ExpectedProgress(int height, int passes) {
  std::vector<ProgressCall> calls;
  for (int pass = 0; pass < passes; ++pass) {
    for (int row = 0; row < height; ++row) {
      calls.push_back({1, (row + 1) * 100 / height, row, 0});
    }
  }
  calls.push_back({1, 100, height - 1, 0});
  return calls;
}

}  // namespace readertest
