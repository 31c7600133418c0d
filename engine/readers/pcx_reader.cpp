#include "engine/readers/pcx_reader.h"

#include <cstdint>
#include <cstring>

#include "engine/bitmap.h"
#include "engine/file_functions.h"

namespace {

constexpr int kHeaderSize = 128;
constexpr int kPaletteSize = 768;
// Header and palette: what an 8-bit file holds besides its compressed data.
constexpr long kPalettedOverhead = kHeaderSize + kPaletteSize;

uint16_t Word16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

const uint8_t* DecodePcxLine(uint8_t* destination, int destinationSize, const uint8_t* source,
                             const uint8_t* sourceEnd, int lineLength) {
  int filled = 0;
  while (filled < lineLength) {
    if (source >= sourceEnd) return nullptr;
    const uint8_t c = *source++;
    if (c >= 0xC0) {
      if (source >= sourceEnd) return nullptr;
      const uint8_t value = *source++;
      int count = c & 0x3F;
      if (count > lineLength - filled) count = lineLength - filled;
      if (filled < destinationSize) {
        const int stored = count < destinationSize - filled ? count : destinationSize - filled;
        std::memset(destination + filled, value, static_cast<size_t>(stored));
      }
      filled += count;
    } else {
      if (filled < destinationSize) destination[filled] = c;
      ++filled;
    }
  }
  return source;
}

int PcxReader::Open(const char* path, Bitmap* bitmap, ProgressCallback callback) {
  Close();
  progress_ = callback;
  if (path == nullptr || path[0] == 0) return Refuse();
  stream_ = std::fopen(path, "rb");
  if (stream_ == nullptr) return Refuse();
  if (std::fseek(stream_, 0, SEEK_SET) != 0 ||
      std::fread(header_, 1, kHeaderSize, stream_) != kHeaderSize) {
    return Refuse();
  }
  if (header_[0] != 0x0A) return Refuse();
  const int xmin = Word16(header_ + 4), ymin = Word16(header_ + 6);
  const int xmax = Word16(header_ + 8), ymax = Word16(header_ + 10);
  if (xmax - xmin == 0 || ymax - ymin == 0) return Refuse();
  width_ = xmax - xmin + 1;
  height_ = ymax - ymin + 1;
  bits_ = header_[65] * header_[3];
  bitmap_ = bitmap;
  opened_ = 1;
  if (bits_ != 8 && bits_ != 24) return Refuse();

  // Refuse what the header already shows cannot be decoded inside the buffers: no scan line at
  // all, or 24-bit planes that do not fit the line buffer of 6 x width bytes.
  const int bytesPerLine = Word16(header_ + 66);
  if (bytesPerLine == 0) return Refuse();
  if (bits_ == 24 && width_ >= 1) {
    const long long lineBuffer = 6LL * width_;
    const long long lineLength = static_cast<long long>(header_[65]) * bytesPerLine;
    if (lineLength > lineBuffer || 2LL * bytesPerLine + width_ > lineBuffer) return Refuse();
  }
  return 1;
}

int PcxReader::Refuse() {
  Close();
  return 0;
}

int PcxReader::Fail() {
  ReportProgress(progress_, PhaseReading, height_ - 1, height_);
  Close();
  return 0;
}

int PcxReader::Read() {
  if (opened_ == 0 || bitmap_ == nullptr) {
    Close();
    return 0;
  }
  const long fileSize = StreamSize(stream_);
  // A window with xmax < xmin or ymax < ymin leaves no picture to create.
  if (width_ < 1 || height_ < 1) return Fail();
  int result = 0;
  if (bits_ == 8) {
    result = ReadPaletted(fileSize);
  } else if (bits_ == 24) {
    result = ReadPlanes(fileSize);
  }
  if (result == 0) return Fail();
  ReportProgress(progress_, PhaseReading, height_ - 1, height_);
  Close();
  return 1;
}

int PcxReader::ReadCompressedData(long offset, long size) {
  const size_t bytes = static_cast<size_t>(size);
  if (std::fseek(stream_, offset, SEEK_SET) != 0 ||
      std::fread(data_.View(), 1, bytes, stream_) != bytes) {
    return 0;
  }
  data_.Flush();
  return 1;
}

int PcxReader::ReadPaletted(long fileSize) {
  // The compressed data is held in a 32-bit store.
  if (fileSize <= kPalettedOverhead ||
      fileSize - kPalettedOverhead > static_cast<long>(UINT32_MAX)) {
    return 0;
  }
  const long dataSize = fileSize - kPalettedOverhead;
  if (data_.Allocate(static_cast<uint32_t>(dataSize), "PIXSPOOL") == 0 ||
      bitmap_->Create(width_, height_, 8, 256) == 0 || palette_.Allocate(kPaletteSize) == 0) {
    return 0;
  }
  // New pages made ready in one go cost far less than one fault each.
  if (data_.Prepare(data_.View(), data_.Size()) == 0 || bitmap_->PrepareRows(0, height_) == 0) {
    return 0;
  }
  // The palette is taken from the last 768 bytes whatever byte precedes them.
  if (std::fseek(stream_, fileSize - kPaletteSize, SEEK_SET) != 0 ||
      std::fread(palette_.Data(), 1, kPaletteSize, stream_) != kPaletteSize) {
    return 0;
  }
  PaletteEntry* entries = bitmap_->Table().Entries();
  const uint8_t* colours = palette_.Data();
  for (int i = 0; i < 256; ++i) {
    entries[i].red = colours[3 * i];
    entries[i].green = colours[3 * i + 1];
    entries[i].blue = colours[3 * i + 2];
  }
  if (ReadCompressedData(kHeaderSize, dataSize) == 0) return 0;

  const int lineLength = header_[65] * Word16(header_ + 66);
  const uint8_t* source = data_.View();
  const uint8_t* end = source + dataSize;
  for (int y = 0; y < height_; ++y) {
    source = DecodePcxLine(bitmap_->Row(y), width_, source, end, lineLength);
    if (source == nullptr) return 0;
    ReportProgress(progress_, PhaseReading, y, height_);
  }
  return 1;
}

int PcxReader::ReadPlanes(long fileSize) {
  if (fileSize <= kHeaderSize || fileSize - kHeaderSize > static_cast<long>(UINT32_MAX)) return 0;
  const long dataSize = fileSize - kHeaderSize;
  const int lineBuffer = 6 * width_;
  if (data_.Allocate(static_cast<uint32_t>(dataSize), "PIXSPOOL") == 0 ||
      bitmap_->Create(width_, height_, 24, 0) == 0 || line_.Allocate(lineBuffer) == 0) {
    return 0;
  }
  if (data_.Prepare(data_.View(), data_.Size()) == 0 || bitmap_->PrepareRows(0, height_) == 0) {
    return 0;
  }
  // Bytes that a short split never decodes read as zero rather than as old heap contents.
  std::memset(line_.Data(), 0, static_cast<size_t>(lineBuffer));
  if (ReadCompressedData(kHeaderSize, dataSize) == 0) return 0;

  const int bytesPerLine = Word16(header_ + 66);
  const int lineLength = header_[65] * bytesPerLine;
  const uint8_t* line = line_.Data();
  const uint8_t* source = data_.View();
  const uint8_t* end = source + dataSize;
  for (int y = 0; y < height_; ++y) {
    source = DecodePcxLine(line_.Data(), lineBuffer, source, end, lineLength);
    if (source == nullptr) return 0;
    uint8_t* target = bitmap_->Row(y);
    for (int x = 0; x < width_; ++x) {
      target[3 * x] = line[x];
      target[3 * x + 1] = line[bytesPerLine + x];
      target[3 * x + 2] = line[2 * bytesPerLine + x];
    }
    ReportProgress(progress_, PhaseReading, y, height_);
  }
  return 1;
}

int PcxReader::Close() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  progress_ = nullptr;
  opened_ = 0;
  std::memset(header_, 0, sizeof(header_));
  bits_ = 0;
  width_ = 0;
  height_ = 0;
  bitmap_ = nullptr;
  data_.Release(true);
  palette_.Free();
  line_.Free();
  return 1;
}
