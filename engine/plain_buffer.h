#pragma once
// A heap block that knows its size: palettes, headers, row buffers.
#include <cstdint>

class PlainBuffer {
 public:
  PlainBuffer() = default;
  PlainBuffer(const PlainBuffer&) = delete;
  PlainBuffer& operator=(const PlainBuffer&) = delete;
  ~PlainBuffer() { Free(); }

  // Replaces the block with size uninitialised bytes; 0 and an empty buffer on failure.
  int Allocate(int size);
  int Free();

  uint8_t* Data() const { return data_; }
  int Size() const { return size_; }

 private:
  int size_ = 0;
  uint8_t* data_ = nullptr;
};
