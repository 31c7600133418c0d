#include "engine/readers/photo_cd_reader.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/bitmap.h"
#include "engine/file_functions.h"

namespace {

constexpr long kLeastFileSize = 1048576;
// Every image pack carries "PCD_IPI" at the start of its second sector. A probe by size alone
// would take any large file that the other readers refuse and make a picture of its bytes.
constexpr long kSignatureOffset = 2048;
constexpr char kSignature[4] = {'P', 'C', 'D', '_'};

uint8_t Limit(double value) {
  const double rounded = std::floor(value + 0.5);
  if (rounded < 0) return 0;
  if (rounded > 255) return 255;
  return static_cast<uint8_t>(rounded);
}

void ConvertPixel(int luminance, int c1Sample, int c2Sample, uint8_t* rgb) {
  const double y = 1.407488 * luminance;
  const int c1 = c1Sample - 156;
  const int c2 = c2Sample - 137;
  rgb[0] = Limit(y + 1.3230336 * c2 + 0.0000256 * c1);
  rgb[1] = Limit(y - (0.67392 * c2 + 0.3954176 * c1));
  rgb[2] = Limit(y + 2.0360448 * c1 + 0.0000256 * c2);
}

bool ReadExactly(FILE* stream, uint8_t* target, int count) {
  return std::fread(target, 1, static_cast<size_t>(count), stream) == static_cast<size_t>(count);
}

}  // namespace

int PhotoCdReader::Open(const char* path, Bitmap* bitmap, ProgressCallback callback) {
  return Open(path, bitmap, PhotoCdBase, callback);
}

int PhotoCdReader::Open(const char* path, Bitmap* bitmap, int resolution,
                        ProgressCallback callback) {
  Close();
  if (path == nullptr || path[0] == 0) return Refuse();
  stream_ = std::fopen(path, "rb");
  if (stream_ == nullptr) return Refuse();
  if (StreamSize(stream_) < kLeastFileSize) return Refuse();
  char signature[sizeof(kSignature)];
  if (std::fseek(stream_, kSignatureOffset, SEEK_SET) != 0 ||
      std::fread(signature, 1, sizeof(signature), stream_) != sizeof(signature) ||
      std::memcmp(signature, kSignature, sizeof(kSignature)) != 0) {
    return Refuse();
  }
  switch (resolution & 0xFF) {
    case PhotoCdBase16:
      width_ = 192, height_ = 128, start_ = 0x2000;
      break;
    case PhotoCdBase4:
      width_ = 384, height_ = 256, start_ = 0xB800;
      break;
    case PhotoCdBase:
      width_ = 768, height_ = 512, start_ = 0x30000;
      break;
    default:
      return Refuse();
  }
  resolution_ = resolution & 0xFF;
  opened_ = 1;
  progress_ = callback;
  bitmap_ = bitmap;
  return 1;
}

int PhotoCdReader::Refuse() {
  Close();
  return 0;
}

int PhotoCdReader::Fail() {
  ReportProgress(progress_, PhaseReading, height_ - 1, height_);
  Close();
  return 0;
}

int PhotoCdReader::Read() {
  if (opened_ == 0 || bitmap_ == nullptr) {
    Close();
    return 0;
  }
  if (bitmap_->Create(width_, height_, 24, 0) == 0 || bitmap_->PrepareRows(0, height_) == 0) {
    return Fail();
  }
  const uint32_t width = static_cast<uint32_t>(width_);
  if (upper_.Allocate(width, "PIXSPOOL") == 0 || lower_.Allocate(width, "PIXSPOOL") == 0 ||
      chroma_.Allocate(width, "PIXSPOOL") == 0) {
    return Fail();
  }
  if (std::fseek(stream_, start_, SEEK_SET) != 0) return Fail();
  const uint8_t* upper = upper_.View();
  const uint8_t* lower = lower_.View();
  // Two pixels side by side share one sample of each chrominance; C1 fills the first half.
  const uint8_t* c1 = chroma_.View();
  const uint8_t* c2 = chroma_.View() + width_ / 2;
  for (int y = 0; y < height_; y += 2) {
    if (!ReadExactly(stream_, upper_.View(), width_) ||
        !ReadExactly(stream_, lower_.View(), width_) ||
        !ReadExactly(stream_, chroma_.View(), width_)) {
      return Fail();
    }
    uint8_t* top = bitmap_->Row(y);
    uint8_t* bottom = bitmap_->Row(y + 1);
    for (int x = 0; x < width_; ++x) {
      ConvertPixel(upper[x], c1[x / 2], c2[x / 2], top + 3 * x);
      ConvertPixel(lower[x], c1[x / 2], c2[x / 2], bottom + 3 * x);
    }
    ReportProgress(progress_, PhaseReading, y, height_);
  }
  ReportProgress(progress_, PhaseReading, height_ - 1, height_);
  Close();
  return 1;
}

int PhotoCdReader::Close() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  progress_ = nullptr;
  opened_ = 0;
  resolution_ = 0;
  width_ = 0;
  height_ = 0;
  start_ = 0;
  bitmap_ = nullptr;
  upper_.Release(true);
  lower_.Release(true);
  chroma_.Release(true);
  return 1;
}
