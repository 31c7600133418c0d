#include "platform/process.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {

std::string ProgramFilePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return "";
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool SetCurrentDirectory(const std::string& path) {
  return chdir(path.empty() ? "/" : path.c_str()) == 0;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
    if (errno != ERANGE) return "";
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
