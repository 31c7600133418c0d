#include "engine/jpeg_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "engine/bitmap.h"

// libjpeg's fatal errors come back through longjmp into the operation that installed the error
// return. The frames that call setjmp hold no C++ object that owns anything, and every local
// they change after setjmp is dead once the jump lands.

namespace {

constexpr uint32_t kPrepareBytes = 1u << 20;
// libjpeg's own working storage: only multi-scan pictures of several hundred megapixels need more.
constexpr long kWorkingMemoryLimit = 1L << 30;

// The manager comes first, so libjpeg's error pointer is also the record's address.
struct ErrorReturn {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

[[noreturn]] void ExitToErrorReturn(j_common_ptr info) {
  // The engine shows nothing; the message is formatted as libjpeg expects, then dropped.
  char message[JMSG_LENGTH_MAX];
  info->err->format_message(info, message);
  longjmp(reinterpret_cast<ErrorReturn*>(info->err)->jump, 1);
}

// libjpeg prints the first warning of a picture (a file that ends early, corrupt data) on
// stderr; the engine never writes to the console. Warnings are still counted.
void OutputNothing(j_common_ptr) {}

jpeg_error_mgr* InstallErrorReturn(ErrorReturn* record) {
  jpeg_std_error(&record->manager);
  record->manager.error_exit = ExitToErrorReturn;
  record->manager.output_message = OutputNothing;
  return &record->manager;
}

}  // namespace

JpegCodec::JpegCodec()
    : callback_(nullptr),
      file_(nullptr),
      decompressing_(0),
      compressing_(0),
      kind_(Kind::None),
      width_(0),
      height_(0),
      bitmap_(nullptr) {
  std::memset(&decompressor_, 0, sizeof(decompressor_));
  std::memset(&compressor_, 0, sizeof(compressor_));
}

JpegCodec::~JpegCodec() { Close(); }

int JpegCodec::Close() {
  if (file_ != nullptr) std::fclose(file_);
  // Destroying an object that libjpeg never set up is safe: Close leaves both zeroed, and a
  // failed create frees what it took before it returns.
  if (decompressing_ != 0) {
    jpeg_destroy_decompress(&decompressor_);
  } else if (compressing_ != 0) {
    jpeg_destroy_compress(&compressor_);
  }
  callback_ = nullptr;
  file_ = nullptr;
  decompressing_ = 0;
  compressing_ = 0;
  std::memset(&decompressor_, 0, sizeof(decompressor_));
  std::memset(&compressor_, 0, sizeof(compressor_));
  kind_ = Kind::None;
  width_ = 0;
  height_ = 0;
  bitmap_ = nullptr;
  return 1;
}

int JpegCodec::Open(const char* path, Bitmap* bitmap, ProgressCallback callback) {
  Close();
  if (path == nullptr || path[0] == 0 || bitmap == nullptr) return 0;
  file_ = std::fopen(path, "rb");
  if (file_ == nullptr) return 0;
  unsigned char start[2];
  if (std::fread(start, 2, 1, file_) != 1 || start[0] != 0xFF || start[1] != 0xD8 ||
      std::fseek(file_, 0, SEEK_SET) != 0) {
    Close();
    return 0;
  }

  ErrorReturn error;
  decompressor_.err = InstallErrorReturn(&error);
  decompressing_ = 1;
  if (setjmp(error.jump) != 0) {
    Close();
    return 0;
  }
  jpeg_CreateDecompress(&decompressor_, JPEG_LIB_VERSION, sizeof(decompressor_));
  jpeg_stdio_src(&decompressor_, file_);
  if (jpeg_read_header(&decompressor_, TRUE) != JPEG_HEADER_OK) {
    Close();
    return 0;
  }
  // A progressive picture has libjpeg keep all its coefficients; a few hundred bytes can declare
  // gigabytes of them. Above the limit libjpeg fails cleanly and the file is refused.
  decompressor_.mem->max_memory_to_use = kWorkingMemoryLimit;
  jpeg_start_decompress(&decompressor_);
  const int components = decompressor_.out_color_components;
  if (decompressor_.output_width < 1 || decompressor_.output_height < 1 ||
      (components != 1 && components != 3)) {
    Close();
    return 0;
  }
  width_ = static_cast<int>(decompressor_.output_width);
  height_ = static_cast<int>(decompressor_.output_height);
  kind_ = components == 3 ? Kind::Colour : Kind::Grey;
  callback_ = callback;
  bitmap_ = bitmap;
  return 1;
}

int JpegCodec::Read() {
  if (decompressing_ == 0) return 0;

  ErrorReturn error;
  decompressor_.err = InstallErrorReturn(&error);
  if (setjmp(error.jump) != 0) {
    ReportProgress(callback_, PhaseReading, height_ - 1, height_);
    Close();
    return 0;
  }
  bool stored = bitmap_->Create(width_, height_, kind_ == Kind::Colour ? 24 : 8, 0) != 0;
  // The store is made ready a band of about 1 MiB at a time, ahead of the rows written there.
  const int band = stored ? std::max(1, static_cast<int>(kPrepareBytes / bitmap_->Stride())) : 0;
  int prepared = 0;
  // libjpeg's red, green, blue order is the bitmap's, so rows go straight into the store.
  while (stored && decompressor_.output_scanline < decompressor_.output_height) {
    const int next = static_cast<int>(decompressor_.output_scanline);
    if (next >= prepared) {
      const int count = std::min(band, height_ - next);
      if (bitmap_->PrepareRows(next, count) == 0) {
        stored = false;  // no room on disk for these rows
        break;
      }
      prepared = next + count;
    }
    JSAMPROW row = bitmap_->Row(next);
    // A stdio source never suspends; no row would mean no progress at all.
    stored = jpeg_read_scanlines(&decompressor_, &row, 1) == 1;
    if (stored) {
      ReportProgress(callback_, PhaseReading,
                     static_cast<int>(decompressor_.output_scanline) - 1, height_);
    }
  }
  // Close destroys the decompressor without finishing it: whatever follows the rows in the
  // file is never read.
  ReportProgress(callback_, PhaseReading, height_ - 1, height_);
  Close();
  return stored ? 1 : 0;
}

int JpegCodec::Write(const char* path, const Bitmap* bitmap, int quality, bool colour,
                     bool optimize, int smoothing, ProgressCallback callback) {
  // Lives out here, not in the frame that sets the jump buffer: it owns a pixel file.
  Bitmap converted;
  Close();
  return WriteRows(path, bitmap, quality, colour, optimize, smoothing, callback, &converted);
}

int JpegCodec::WriteRows(const char* path, const Bitmap* bitmap, int quality, bool colour,
                         bool optimize, int smoothing, ProgressCallback callback,
                         Bitmap* converted) {
  if (path == nullptr || path[0] == 0 || bitmap == nullptr || quality < 1 || quality > 100 ||
      bitmap->Width() < 1 || bitmap->Height() < 1 || smoothing < 0 || smoothing > 100) {
    return 0;
  }
  const int height = bitmap->Height();

  ErrorReturn error;
  compressor_.err = InstallErrorReturn(&error);
  if (setjmp(error.jump) != 0) return FailWrite(height, converted);
  jpeg_CreateCompress(&compressor_, JPEG_LIB_VERSION, sizeof(compressor_));
  compressing_ = 1;
  file_ = std::fopen(path, "wb");
  if (file_ == nullptr) return FailWrite(height, converted);
  jpeg_stdio_dest(&compressor_, file_);

  compressor_.image_width = static_cast<JDIMENSION>(bitmap->Width());
  compressor_.image_height = static_cast<JDIMENSION>(height);
  compressor_.input_components = colour ? 3 : 1;
  compressor_.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
  kind_ = colour ? Kind::Colour : Kind::Grey;
  callback_ = callback;
  jpeg_set_defaults(&compressor_);
  compressor_.optimize_coding = optimize ? TRUE : FALSE;
  compressor_.smoothing_factor = smoothing;
  jpeg_set_quality(&compressor_, quality, TRUE);
  jpeg_start_compress(&compressor_, TRUE);

  const Bitmap* source = bitmap;
  const bool matches = colour ? bitmap->BitsPerPixel() == 24
                              : bitmap->BitsPerPixel() == 8 && bitmap->PaletteCount() == 0;
  if (!matches) {
    if (bitmap->ConvertTo(converted, colour ? 24 : 8, 0) == 0) return FailWrite(height, converted);
    source = converted;
  }
  while (compressor_.next_scanline < compressor_.image_height) {
    JSAMPROW row = source->Row(static_cast<int>(compressor_.next_scanline));
    // A stdio destination never suspends; no row taken would mean no progress at all.
    if (jpeg_write_scanlines(&compressor_, &row, 1) != 1) return FailWrite(height, converted);
    ReportProgress(callback_, PhaseWriting, static_cast<int>(compressor_.next_scanline) - 1,
                   height);
  }
  jpeg_finish_compress(&compressor_);
  ReportProgress(callback_, PhaseWriting, height - 1, height);
  converted->Release();
  Close();
  return 1;
}

// The stream keeps whatever was written; a target that was created stays on disk.
int JpegCodec::FailWrite(int height, Bitmap* converted) {
  converted->Release();
  ReportProgress(callback_, PhaseWriting, height - 1, height);
  Close();
  return 0;
}
