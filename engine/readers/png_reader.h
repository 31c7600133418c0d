#pragma once
// PNG files of 1, 2, 4 and 8 bits per sample through libpng: grey and palette pictures into 8-bit
// bitmaps, RGB into 24-bit and RGB with alpha into 32-bit (alpha first). 16-bit files are refused.
#include <cstdint>
#include <cstdio>

#include "engine/image_reader.h"
#include "engine/plain_buffer.h"

struct png_struct_def;
struct png_info_def;

class PngReader : public ImageReader {
 public:
  PngReader() = default;
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  ~PngReader() override { Close(); }

  int Open(const char* path, Bitmap* bitmap, ProgressCallback progress) override;
  int Read() override;
  int Close() override;

 private:
  // The two frames that libpng errors jump back to; they hold nothing that needs destroying.
  int ReadHeader();
  int Decode();
  int PrepareBitmap();

  ProgressCallback progress_ = nullptr;
  FILE* stream_ = nullptr;
  int opened_ = 0;
  png_struct_def* png_ = nullptr;
  png_info_def* info_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  int bitDepth_ = 0;
  int colorType_ = 0;
  int interlaceMethod_ = 0;
  int compressionMethod_ = 0;
  int filterMethod_ = 0;
  int targetDepth_ = 0;
  int paletteCount_ = 0;
  Bitmap* bitmap_ = nullptr;
  PlainBuffer rows_;  // one row address per bitmap row
};
