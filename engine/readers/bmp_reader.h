#pragma once
// Windows bitmap files: uncompressed 24-bit pictures with an information or a core header, in
// either row order. Everything else is refused at Open.
#include <cstdint>
#include <cstdio>

#include "engine/image_reader.h"
#include "engine/plain_buffer.h"

class BmpReader : public ImageReader {
 public:
  BmpReader() = default;
  BmpReader(const BmpReader&) = delete;
  BmpReader& operator=(const BmpReader&) = delete;
  ~BmpReader() override { Close(); }

  int Open(const char* path, Bitmap* bitmap, ProgressCallback callback) override;
  int Read() override;
  int Close() override;

 private:
  int Refuse();
  // Ends a Read that went wrong after a successful Open.
  int Fail();

  ProgressCallback progress_ = nullptr;
  FILE* stream_ = nullptr;
  int opened_ = 0;
  uint8_t fileHeader_[14] = {};
  PlainBuffer headerBlock_;
  int headerBlockLength_ = 0;
  bool coreHeader_ = false;
  bool bottomUp_ = false;
  uint32_t compression_ = 0;
  int width_ = 0;
  int height_ = 0;
  int bitCount_ = 0;
  Bitmap* bitmap_ = nullptr;
};
