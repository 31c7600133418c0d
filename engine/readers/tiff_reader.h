#pragma once
// TIFF files through libtiff's RGBA image interface, into a 24-bit bitmap. Only the first image
// of a file is read.
#include <cstdint>

#include "engine/image_reader.h"
#include "engine/mapped_buffer.h"

struct tiff;

class TiffReader : public ImageReader {
 public:
  TiffReader() = default;
  TiffReader(const TiffReader&) = delete;
  TiffReader& operator=(const TiffReader&) = delete;
  ~TiffReader() override { Close(); }

  int Open(const char* path, Bitmap* bitmap, ProgressCallback progress) override;
  int Read() override;
  int Close() override;

 private:
  int Decode();

  ProgressCallback progress_ = nullptr;
  tiff* image_ = nullptr;
  int opened_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  Bitmap* bitmap_ = nullptr;
  MappedBuffer raster_;
};
