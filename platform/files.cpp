#include "platform/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace platform {

std::string TemporaryPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir != nullptr && dir[0] != 0) ? dir : "/tmp";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsRegularFile(const char* path) {
  struct stat info;
  return path != nullptr && stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool DeleteFilePath(const char* path) {
  return path != nullptr && unlink(path) == 0;
}

CreateResult CreateExclusiveFile(const char* path, int* fd) {
  const int opened = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (opened >= 0) {
    *fd = opened;
    return CreateResult::Created;
  }
  return errno == EEXIST ? CreateResult::NameTaken : CreateResult::Failed;
}

bool ResizeFile(int fd, size_t size) {
  int result;
  do {
    result = ftruncate(fd, static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  if (result != 0) return false;
  // Reserve the blocks now: a sparse file that later finds the disk full kills the process with
  // SIGBUS on the first write into the mapping, where a refusal here is a clean failure.
  do {
    result = posix_fallocate(fd, 0, static_cast<off_t>(size));
  } while (result == EINTR);
  // File systems without block reservation keep the sparse file, as before.
  return result == 0 || result == EOPNOTSUPP || result == EINVAL;
}

void* MapFile(int fd, size_t size) {
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return view == MAP_FAILED ? nullptr : view;
}

bool PrepareForWriting(void* address, size_t bytes) {
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(address);
  const uintptr_t aligned = start - start % page;
  int result;
  do {
    result = madvise(reinterpret_cast<void*>(aligned), bytes + (start - aligned), MADV_POPULATE_WRITE);
  } while (result != 0 && errno == EINTR);
  // Kernels before 5.14 do not know the advice; their pages fault in one by one, as ever.
  return result == 0 || errno == EINVAL;
}

void UnmapFile(void* view, size_t size) {
  if (view != nullptr) munmap(view, size);
}

bool FlushView(void* address, size_t bytes) {
  // msync wants a page-aligned start; widen the range down to its page.
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(address);
  const uintptr_t aligned = start - start % page;
  return msync(reinterpret_cast<void*>(aligned), bytes + (start - aligned), MS_ASYNC) == 0;
}

void CloseFile(int fd) {
  if (fd >= 0) close(fd);
}

}  // namespace platform
