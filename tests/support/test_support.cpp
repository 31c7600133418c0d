#include "support/test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace testsupport {

void TempDirTest::SetUp() {
  const char* old = std::getenv("TMPDIR");
  hadTmpdir_ = old != nullptr;
  if (hadTmpdir_) savedTmpdir_ = old;
  char pattern[] = "/tmp/zephlora-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  setenv("TMPDIR", dir_.c_str(), 1);
}

void TempDirTest::TearDown() {
  if (hadTmpdir_) {
    setenv("TMPDIR", savedTmpdir_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  if (!dir_.empty()) RemoveTree(dir_);
}

std::vector<std::string> TempDirTest::Spools() const {
  std::vector<std::string> names;
  DIR* dir = opendir(dir_.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind("PIXSPOOL", 0) == 0 && name.size() > 4 &&
        name.compare(name.size() - 4, 4, ".tmp") == 0) {
      names.push_back(name);
    }
  }
  closedir(dir);
  return names;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WriteFileText(const std::string& path, const std::string& text) {
  return WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void RemoveTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    chmod(path.c_str(), 0700);  // a test may have made it unreadable
    if (DIR* dir = opendir(path.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        RemoveTree(path + "/" + entry->d_name);
      }
      closedir(dir);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

std::string CorpusDir() {
  struct stat info;
  if (stat(ZEPHLORA_CORPUS_DIR, &info) == 0 && S_ISDIR(info.st_mode)) return ZEPHLORA_CORPUS_DIR;
  return "";
}

}  // namespace testsupport
