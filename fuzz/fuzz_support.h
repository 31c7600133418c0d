#pragma once
// Shared by the fuzz targets: each input becomes a real file, read from disk as a user's would be,
// in a private folder that is also $TMPDIR, so a pixel store left behind is caught at once.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzzsupport {

inline const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/zephlora-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    setenv("TMPDIR", pattern, 1);
    return std::string(pattern);
  }();
  return folder;
}

// Writes the bytes to the input file, optionally placed at an offset of a larger file.
inline std::string WriteInput(const uint8_t* data, size_t size) {
  const std::string path = Folder() + "/input";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  return path;
}

// Aborts (a finding) when anything but the input is left in the folder.
inline void CheckNothingLeft() {
  DIR* dir = opendir(Folder().c_str());
  if (dir == nullptr) std::abort();
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0 ||
        std::strcmp(entry->d_name, "input") == 0) {
      continue;
    }
    std::fprintf(stderr, "left behind in the temporary folder: %s\n", entry->d_name);
    std::abort();
  }
  closedir(dir);
}

}  // namespace fuzzsupport

// A target that runs one reader's Open, Read and Close on the input file.
#define ZEPHLORA_READER_FUZZER(ReaderClass)                                         \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {         \
    const std::string path = fuzzsupport::WriteInput(data, size);                   \
    {                                                                               \
      Bitmap bitmap;                                                                \
      ReaderClass reader;                                                           \
      if (reader.Open(path.c_str(), &bitmap, nullptr) == 1) reader.Read();          \
      reader.Close();                                                               \
    }                                                                               \
    fuzzsupport::CheckNothingLeft();                                                \
    return 0;                                                                       \
  }
