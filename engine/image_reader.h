#pragma once
// What every format reader of the loader chain does.
#include "engine/progress.h"

class Bitmap;

class ImageReader {
 public:
  virtual ~ImageReader() = default;
  // 1 when the reader takes the file; it stays open, remembering the bitmap and the callback.
  virtual int Open(const char* path, Bitmap* bitmap, ProgressCallback callback) = 0;
  // Decodes into the bitmap given to Open; 1 on success. Always closes.
  virtual int Read() = 0;
  // Closes the file, drops decoder state and resets every field; safe at any time. Returns 1.
  virtual int Close() = 0;
};
