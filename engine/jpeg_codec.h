#pragma once
// The engine's JPEG reader (first of the loader chain) and its only writer, over libjpeg.
#include <cstdio>

#include <jpeglib.h>

#include "engine/image_reader.h"

class Bitmap;

class JpegCodec : public ImageReader {
 public:
  JpegCodec();
  JpegCodec(const JpegCodec&) = delete;
  JpegCodec& operator=(const JpegCodec&) = delete;
  ~JpegCodec() override;

  // Takes one- and three-component JPEG files; the file and the started decompressor stay open.
  int Open(const char* path, Bitmap* bitmap, ProgressCallback callback) override;
  // Decodes into the bitmap as 24-bit red, green, blue or 8-bit grey without palette.
  int Read() override;
  // Writes any bitmap as a baseline JFIF file: three components when colour, else one (grey).
  // quality 1..100, smoothing 0..100. A target that was opened stays on disk after a failure.
  int Write(const char* path, const Bitmap* bitmap, int quality, bool colour, bool optimize,
            int smoothing, ProgressCallback callback);
  int Close() override;

 private:
  enum class Kind { None, Colour, Grey };

  int WriteRows(const char* path, const Bitmap* bitmap, int quality, bool colour, bool optimize,
                int smoothing, ProgressCallback callback, Bitmap* converted);
  int FailWrite(int height, Bitmap* converted);

  ProgressCallback callback_;
  FILE* file_;
  int decompressing_;
  int compressing_;
  jpeg_decompress_struct decompressor_;
  jpeg_compress_struct compressor_;
  Kind kind_;
  int width_;
  int height_;
  Bitmap* bitmap_;
};
