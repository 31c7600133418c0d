#include "platform/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace platform {

namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, const void* data, size_t size) {
  if (path.empty() || (data == nullptr && size > 0)) return false;
  static std::atomic<unsigned> counter{0};
  // The temporary file sits in the same folder, so the rename never crosses file systems.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.empty()) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = folder + "." + name + "." + std::to_string(getpid()) + "." +
                                  std::to_string(counter++) + ".tmp";
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size);
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
  }
  return false;
}

}  // namespace platform
