#pragma once
// Kodak Photo CD image packs: one of the three lower resolutions, converted from luminance and
// chrominance to red, green, blue.
#include <cstdio>

#include "engine/image_reader.h"
#include "engine/mapped_buffer.h"

// Resolution selectors; only the low byte of a selector is looked at.
enum PhotoCdResolution {
  PhotoCdBase16 = 0,  // 192 x 128
  PhotoCdBase4 = 1,   // 384 x 256
  PhotoCdBase = 2,    // 768 x 512, the one the loader chain reads
};

class PhotoCdReader : public ImageReader {
 public:
  PhotoCdReader() = default;
  PhotoCdReader(const PhotoCdReader&) = delete;
  PhotoCdReader& operator=(const PhotoCdReader&) = delete;
  ~PhotoCdReader() override { Close(); }

  // 1 when the file is at least 1 MiB long, carries "PCD_" at offset 2048 and the resolution is
  // one of the three above.
  int Open(const char* path, Bitmap* bitmap, int resolution, ProgressCallback callback);
  // The base resolution, 768 x 512.
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
  int resolution_ = 0;
  int width_ = 0;
  int height_ = 0;
  long start_ = 0;
  Bitmap* bitmap_ = nullptr;
  // Rows of one Read: upper luminance, lower luminance, chrominance.
  MappedBuffer upper_;
  MappedBuffer lower_;
  MappedBuffer chroma_;
};
