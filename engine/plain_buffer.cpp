#include "engine/plain_buffer.h"

#include <cstdlib>

int PlainBuffer::Allocate(int size) {
  Free();
  if (size < 1) return 0;
  data_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
  if (data_ == nullptr) return 0;
  size_ = size;
  return 1;
}

int PlainBuffer::Free() {
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
  return 1;
}
