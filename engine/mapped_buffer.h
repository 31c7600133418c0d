#pragma once
// A block of memory backed by a file and mapped read/write: pixel stores and large scratch stores.
#include <cstdint>

#include "engine/text_buffer.h"

class MappedBuffer {
 public:
  MappedBuffer() = default;
  MappedBuffer(const MappedBuffer&) = delete;
  MappedBuffer& operator=(const MappedBuffer&) = delete;
  // The backing file stays on disk; owners that want it gone call Release(true) first.
  ~MappedBuffer() { Release(false); }

  // A new zero-filled store of size bytes, backed by filePath when given, else by a new file
  // name + n + ".tmp" in the temporary folder, created exclusively with mode 0600.
  int Allocate(uint32_t size, const char* name, const char* filePath = nullptr);
  int Release(bool deleteFile);
  // Writes a range of the view back to its file; bytes 0 means from address to the end.
  int Flush(const void* address = nullptr, uint32_t bytes = 0);
  // Makes a range ready to be written: present, and with its room in the file claimed. 0 when
  // the file system has no room for it; the range must not be written then.
  int Prepare(const void* address, uint32_t bytes);

  uint8_t* View() const { return view_; }
  uint32_t Size() const { return size_; }
  const char* Path() const { return path_.Text(); }

 private:
  int CreateBackingFile(const char* name, const char* filePath);

  int file_ = -1;
  uint8_t* view_ = nullptr;
  TextBuffer path_;
  uint32_t size_ = 0;
  uint32_t mapped_ = 0;  // bytes of the live mapping, kept for unmapping
};
