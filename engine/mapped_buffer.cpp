#include "engine/mapped_buffer.h"

#include "engine/file_functions.h"
#include "platform/files.h"

int MappedBuffer::CreateBackingFile(const char* name, const char* filePath) {
  if (filePath != nullptr && filePath[0] != 0) {
    if (path_.Assign(filePath) == 0 || DeleteFileIfExists(filePath) == 0) return 0;
    return platform::CreateExclusiveFile(filePath, &file_) == platform::CreateResult::Created;
  }
  // Another process may take a probed name before we create it; then the next number is tried.
  // The file is never opened if it exists, so a planted link or file is left alone.
  for (long n = 0;; ++n) {
    if (MakeTempFileName(&path_, name, nullptr, n, &n) == 0) return 0;
    switch (platform::CreateExclusiveFile(path_.Text(), &file_)) {
      case platform::CreateResult::Created: return 1;
      case platform::CreateResult::NameTaken: continue;
      case platform::CreateResult::Failed: return 0;
    }
  }
}

int MappedBuffer::Allocate(uint32_t size, const char* name, const char* filePath) {
  Release(false);
  if (size == 0 || name == nullptr || name[0] == 0) return 0;
  if (CreateBackingFile(name, filePath) == 0) {
    // Nothing of ours exists at the path: whatever is there belongs to someone else.
    path_.Clear();
    Release(false);
    return 0;
  }
  if (!platform::ResizeFile(file_, size)) {
    Release(true);
    return 0;
  }
  view_ = static_cast<uint8_t*>(platform::MapFile(file_, size));
  if (view_ == nullptr) {
    Release(true);
    return 0;
  }
  mapped_ = size;
  size_ = size;
  return 1;
}

int MappedBuffer::Release(bool deleteFile) {
  platform::UnmapFile(view_, mapped_);
  platform::CloseFile(file_);
  if (deleteFile && !path_.Empty()) DeleteFileIfExists(path_.Text());
  file_ = -1;
  view_ = nullptr;
  mapped_ = 0;
  size_ = 0;
  path_.Clear();
  return 1;
}

int MappedBuffer::Flush(const void* address, uint32_t bytes) {
  if (view_ == nullptr) return 0;
  const auto* start = address != nullptr ? static_cast<const uint8_t*>(address) : view_;
  if (start < view_ || start >= view_ + size_) return 0;
  const uint32_t available = static_cast<uint32_t>(view_ + size_ - start);
  if (bytes == 0 || bytes > available) bytes = available;
  return platform::FlushView(const_cast<uint8_t*>(start), bytes) ? 1 : 0;
}

int MappedBuffer::Prepare(const void* address, uint32_t bytes) {
  if (view_ == nullptr || address == nullptr) return 0;
  const auto* start = static_cast<const uint8_t*>(address);
  if (start < view_ || start >= view_ + size_ || bytes > static_cast<uint32_t>(view_ + size_ - start)) {
    return 0;
  }
  return platform::PrepareForWriting(const_cast<uint8_t*>(start), bytes) ? 1 : 0;
}
