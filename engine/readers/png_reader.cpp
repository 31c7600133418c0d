#include "engine/readers/png_reader.h"

#include <png.h>

#include <climits>
#include <csetjmp>

#include "engine/bitmap.h"

namespace {

// The error function: the message is dropped and the jump lands at the return point of the Open
// or Read that is running. It never returns.
[[noreturn]] void PngErrorExit(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// libpng's own warning function prints to stderr; the engine never prints.
void PngWarning(png_structp, png_const_charp) {}

// The data source: exactly length bytes from the open stream, or an error.
void ReadPngData(png_structp png, png_bytep data, size_t length) {
  if (length == 0) return;
  auto* stream = static_cast<FILE*>(png_get_io_ptr(png));
  if (std::fread(data, length, 1, stream) != 1) png_error(png, "reading png image error");
}

// Display gamma of the screen, and the file gamma assumed for sRGB files and files without one.
constexpr double kScreenGamma = 2.2;
constexpr double kDefaultFileGamma = 0.45455;

}  // namespace

int PngReader::Open(const char* path, Bitmap* bitmap, ProgressCallback progress) {
  Close();
  if (path == nullptr || path[0] == 0 || bitmap == nullptr) return 0;
  stream_ = std::fopen(path, "rb");
  if (stream_ == nullptr || std::fseek(stream_, 0, SEEK_SET) != 0) {
    Close();
    return 0;
  }
  png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, stream_, PngErrorExit, PngWarning);
  if (png_ != nullptr) info_ = png_create_info_struct(png_);
  if (info_ == nullptr || ReadHeader() == 0) {
    Close();
    return 0;
  }
  progress_ = progress;
  bitmap_ = bitmap;
  opened_ = 1;
  return 1;
}

int PngReader::ReadHeader() {
  if (setjmp(png_jmpbuf(png_)) != 0) return 0;
  png_set_read_fn(png_, stream_, ReadPngData);
  png_read_info(png_, info_);
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  png_get_IHDR(png_, info_, &width, &height, &bitDepth_, &colorType_, &interlaceMethod_,
               &compressionMethod_, &filterMethod_);
  if (bitDepth_ > 8) return 0;
  // libpng's own limits keep sizes far below this; the bitmap takes int sizes.
  if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX) return 0;
  width_ = width;
  height_ = height;

  png_set_packing(png_);
  if (colorType_ == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png_, info_, &palette, &count);
    if (count < 1) return 0;
    targetDepth_ = 8;
    paletteCount_ = count;
  } else if ((colorType_ & PNG_COLOR_MASK_COLOR) != 0) {
    targetDepth_ = (colorType_ & PNG_COLOR_MASK_ALPHA) != 0 ? 32 : 24;
  } else {
    targetDepth_ = 8;
    if (bitDepth_ < 8) png_set_expand(png_);
    // A grey picture stays one byte a pixel: its alpha, its own or the one the expansion makes
    // from a tRNS chunk, is dropped.
    png_set_strip_alpha(png_);
  }
  return 1;
}

int PngReader::Read() {
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

int PngReader::PrepareBitmap() {
  const int width = static_cast<int>(width_);
  const int height = static_cast<int>(height_);
  if (bitmap_->Width() != width || bitmap_->Height() != height ||
      bitmap_->BitsPerPixel() != targetDepth_ || bitmap_->PaletteCount() != paletteCount_) {
    if (bitmap_->Create(width, height, targetDepth_, paletteCount_) == 0) return 0;
  }
  if (colorType_ == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png_, info_, &palette, &count);
    if (palette == nullptr || count > 256 || count != bitmap_->PaletteCount()) return 0;
    PaletteEntry* entries = bitmap_->Palette();
    for (int i = 0; i < count; ++i) {
      entries[i].red = palette[i].red;
      entries[i].green = palette[i].green;
      entries[i].blue = palette[i].blue;
    }
  }
  if (height > INT_MAX / static_cast<int>(sizeof(png_bytep))) return 0;
  if (rows_.Allocate(height * static_cast<int>(sizeof(png_bytep))) == 0) return 0;
  auto* rows = reinterpret_cast<png_bytep*>(rows_.Data());
  for (int i = 0; i < height; ++i) rows[i] = bitmap_->Row(i);
  return 1;
}

int PngReader::Decode() {
  if (setjmp(png_jmpbuf(png_)) != 0) return 0;
  if (PrepareBitmap() == 0) return 0;

  int intent = 0;
  double fileGamma = 0;
  if (png_get_sRGB(png_, info_, &intent) != 0) {
    png_set_gamma(png_, kScreenGamma, kDefaultFileGamma);
  } else if (png_get_gAMA(png_, info_, &fileGamma) != 0) {
    png_set_gamma(png_, kScreenGamma, fileGamma);
  } else {
    png_set_gamma(png_, kScreenGamma, kDefaultFileGamma);
  }
  png_set_swap_alpha(png_);
  const int passes = png_set_interlace_handling(png_);
  png_read_update_info(png_, info_);
  // libpng writes a whole decoded row at each address; a row that is not exactly one bitmap row
  // would run past the store.
  if (png_get_rowbytes(png_, info_) != bitmap_->Stride()) return 0;

  const int height = static_cast<int>(height_);
  auto* rows = reinterpret_cast<png_bytep*>(rows_.Data());
  for (int pass = 0; pass < passes; ++pass) {
    for (int i = 0; i < height; ++i) {
      png_read_rows(png_, &rows[i], nullptr, 1);
      ReportProgress(progress_, PhaseReading, i, height);
    }
  }
  png_read_end(png_, info_);
  return 1;
}

int PngReader::Close() {
  if (png_ != nullptr) png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
  png_ = nullptr;
  info_ = nullptr;
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  progress_ = nullptr;
  opened_ = 0;
  width_ = 0;
  height_ = 0;
  bitDepth_ = 0;
  colorType_ = 0;
  interlaceMethod_ = 0;
  compressionMethod_ = 0;
  filterMethod_ = 0;
  targetDepth_ = 0;
  paletteCount_ = 0;
  bitmap_ = nullptr;
  rows_.Free();
  return 1;
}
