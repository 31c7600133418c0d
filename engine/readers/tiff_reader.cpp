#include "engine/readers/tiff_reader.h"

#include <tiffio.h>

#include <cstdarg>

#include "engine/bitmap.h"

namespace {

// The engine never prints: every libtiff message of our handles ends here. Returning 1 keeps
// libtiff from passing it on to the process-wide handlers, which print to stderr.
int DiscardMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// No single libtiff allocation (a strip or tile buffer, a tag array) above 1 GiB: real pictures
// use far smaller strips, and a few-byte file that claims one gigantic strip is turned away
// before it takes the memory.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{1} << 30;

}  // namespace

int TiffReader::Open(const char* path, Bitmap* bitmap, ProgressCallback progress) {
  Close();
  if (path == nullptr || path[0] == 0 || bitmap == nullptr) return 0;

  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return 0;
  TIFFOpenOptionsSetErrorHandlerExtR(options, DiscardMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, DiscardMessage, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAllocation);
  image_ = TIFFOpenExt(path, "r", options);
  TIFFOpenOptionsFree(options);  // the handle keeps its own copy of the settings
  if (image_ == nullptr) return 0;

  TIFFGetField(image_, TIFFTAG_IMAGEWIDTH, &width_);
  TIFFGetField(image_, TIFFTAG_IMAGELENGTH, &height_);
  // The RGBA raster, 4 bytes a pixel, is one store whose size is a 32-bit value; a picture that
  // cannot have one is not ours to take.
  if (width_ == 0 || height_ == 0 || width_ > UINT32_MAX / 4 / height_) {
    Close();
    return 0;
  }
  progress_ = progress;
  bitmap_ = bitmap;
  opened_ = 1;
  return 1;
}

int TiffReader::Read() {
  if (opened_ == 0) {
    Close();
    return 0;
  }
  const int result = Decode();
  ReportProgress(progress_, PhaseReading, static_cast<int>(height_) - 1,
                 static_cast<int>(height_));
  Close();
  return result;
}

int TiffReader::Decode() {
  // Open let through only sizes whose raster fits 32 bits, so both fit an int.
  const int width = static_cast<int>(width_);
  const int height = static_cast<int>(height_);
  if (bitmap_->Width() != width || bitmap_->Height() != height || bitmap_->BitsPerPixel() != 24) {
    if (bitmap_->Create(width, height, 24, 0) == 0) return 0;
  }
  if (raster_.Allocate(4 * width_ * height_, "PIXSPOOL") == 0) return 0;
  // New pages made ready in one go cost far less than one fault each.
  if (raster_.Prepare(raster_.View(), raster_.Size()) == 0) return 0;
  if (bitmap_->PrepareRows(0, height) == 0) return 0;
  auto* raster = reinterpret_cast<uint32_t*>(raster_.View());
  if (TIFFReadRGBAImage(image_, width_, height_, raster, 0) == 0) return 0;

  // libtiff delivers the bottom row first; reading its rows from the end puts the top row first
  // without swapping them in place.
  for (int y = 0; y < height; ++y) {
    const uint32_t* source = raster + static_cast<size_t>(height - 1 - y) * width_;
    uint8_t* target = bitmap_->Row(y);
    for (int x = 0; x < width; ++x, target += 3) {
      const uint32_t pixel = source[x];
      target[0] = static_cast<uint8_t>(TIFFGetR(pixel));
      target[1] = static_cast<uint8_t>(TIFFGetG(pixel));
      target[2] = static_cast<uint8_t>(TIFFGetB(pixel));
    }
    ReportProgress(progress_, PhaseReading, y, height);
  }
  return 1;
}

int TiffReader::Close() {
  if (image_ != nullptr) TIFFClose(image_);
  image_ = nullptr;
  raster_.Release(true);
  progress_ = nullptr;
  opened_ = 0;
  width_ = 0;
  height_ = 0;
  bitmap_ = nullptr;
  return 1;
}
