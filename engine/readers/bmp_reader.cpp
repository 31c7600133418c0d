#include "engine/readers/bmp_reader.h"

#include <climits>
#include <cstring>

#include "engine/bitmap.h"
#include "engine/file_functions.h"

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kCoreHeaderSize = 12;
// Header size, width, height, planes, bit count and compression of an information header.
constexpr int kInfoFieldsSize = 20;

uint16_t Word16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Word32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t Signed32(const uint8_t* p) { return static_cast<int32_t>(Word32(p)); }

}  // namespace

int BmpReader::Open(const char* path, Bitmap* bitmap, ProgressCallback callback) {
  Close();
  if (path == nullptr || path[0] == 0) return 0;
  stream_ = std::fopen(path, "rb");
  if (stream_ == nullptr) return Refuse();
  if (std::fseek(stream_, 0, SEEK_SET) != 0 ||
      std::fread(fileHeader_, 1, kFileHeaderSize, stream_) != kFileHeaderSize) {
    return Refuse();
  }
  if (fileHeader_[0] != 'B' || (fileHeader_[1] != 'M' && fileHeader_[1] != 'A')) {
    return Refuse();
  }

  // The block up to the pixel data is read whole, so its length is checked against the file
  // before anything is allocated: an absurd offset must not become an absurd allocation.
  const uint32_t dataOffset = Word32(fileHeader_ + 10);
  const long fileSize = StreamSize(stream_);
  if (dataOffset < kFileHeaderSize || static_cast<long long>(dataOffset) > fileSize ||
      dataOffset - kFileHeaderSize > static_cast<uint32_t>(INT_MAX)) {
    return Refuse();
  }
  headerBlockLength_ = static_cast<int>(dataOffset - kFileHeaderSize);
  // Too short even for the header size word.
  if (headerBlockLength_ < 4) return Refuse();
  if (headerBlock_.Allocate(headerBlockLength_) == 0 ||
      std::fseek(stream_, kFileHeaderSize, SEEK_SET) != 0 ||
      std::fread(headerBlock_.Data(), 1, static_cast<size_t>(headerBlockLength_), stream_) !=
          static_cast<size_t>(headerBlockLength_)) {
    return Refuse();
  }
  const uint8_t* block = headerBlock_.Data();
  coreHeader_ = Word32(block) == kCoreHeaderSize;
  if (headerBlockLength_ < (coreHeader_ ? kCoreHeaderSize : kInfoFieldsSize)) return Refuse();

  if (Signed32(block + 4) < 1 || Word32(block + 8) == 0) return Refuse();
  if (coreHeader_) {
    compression_ = 0;
    width_ = Word16(block + 4);
    height_ = Word16(block + 6);
    bottomUp_ = true;
    bitCount_ = Word16(block + 10);
  } else {
    compression_ = Word32(block + 16);
    if (compression_ > 3) return Refuse();
    const int32_t height = Signed32(block + 8);
    // No positive int holds the size of the lowest value.
    if (height == INT32_MIN) return Refuse();
    width_ = Signed32(block + 4);
    height_ = height < 0 ? -height : height;
    bottomUp_ = height >= 0;
    if (compression_ == 1 || compression_ == 2) return Refuse();
    bitCount_ = Word16(block + 14);
  }
  progress_ = callback;
  bitmap_ = bitmap;
  opened_ = 1;
  if (bitCount_ != 24) return Refuse();
  return 1;
}

int BmpReader::Refuse() {
  Close();
  return 0;
}

int BmpReader::Fail() {
  ReportProgress(progress_, PhaseReading, height_ - 1, height_);
  Close();
  return 0;
}

int BmpReader::Read() {
  if (opened_ == 0 || bitmap_ == nullptr) {
    Close();
    return 0;
  }
  // Each stored row is filled up to a multiple of four bytes.
  const long long rowLength = (static_cast<long long>(width_) * 24 + 31) / 32 * 4;
  if (rowLength < 1 || rowLength > INT_MAX) return Fail();
  if (bitmap_->BitsPerPixel() != 24 || bitmap_->Width() != width_ ||
      bitmap_->Height() != height_) {
    if (bitmap_->Create(width_, height_, 24, 0) == 0) return Fail();
  }
  // New pages made ready in one go cost far less than one fault each.
  if (bitmap_->PrepareRows(0, height_) == 0) return Fail();
  if (std::fseek(stream_, static_cast<long>(Word32(fileHeader_ + 10)), SEEK_SET) != 0) {
    return Fail();
  }
  PlainBuffer row;
  if (row.Allocate(static_cast<int>(rowLength)) == 0) return Fail();
  const uint8_t* __restrict stored = row.Data();
  for (int i = 0; i < height_; ++i) {
    if (std::fread(row.Data(), 1, static_cast<size_t>(rowLength), stream_) !=
        static_cast<size_t>(rowLength)) {
      return Fail();
    }
    uint8_t* __restrict target = bitmap_->Row(bottomUp_ ? height_ - 1 - i : i);
    for (int x = 0; x < width_; ++x) {
      target[3 * x] = stored[3 * x + 2];
      target[3 * x + 1] = stored[3 * x + 1];
      target[3 * x + 2] = stored[3 * x];
    }
    ReportProgress(progress_, PhaseReading, i, height_);
  }
  ReportProgress(progress_, PhaseReading, height_ - 1, height_);
  Close();
  return 1;
}

int BmpReader::Close() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  progress_ = nullptr;
  opened_ = 0;
  std::memset(fileHeader_, 0, sizeof(fileHeader_));
  headerBlock_.Free();
  headerBlockLength_ = 0;
  coreHeader_ = false;
  bottomUp_ = false;
  compression_ = 0;
  width_ = 0;
  height_ = 0;
  bitCount_ = 0;
  bitmap_ = nullptr;
  return 1;
}
