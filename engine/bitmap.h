#pragma once
// The engine's in-memory picture. Rows run top-down, unpadded; the pixels live in a mapped
// temporary file, the palette on the heap.
//   8 bits: palette index, or grey level when there is no palette
//  16 bits: little-endian word, red 15..11, green 10..6, blue 5..1, bit 0 zero
//  24 bits: red, green, blue
//  32 bits: alpha, red, green, blue
#include <cstddef>
#include <cstdint>

#include "engine/mapped_buffer.h"
#include "engine/plain_buffer.h"

struct PaletteEntry {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
  uint8_t reserved;
  uint32_t key;  // red | green << 8 | blue << 16, valid after SortByKey
};
static_assert(sizeof(PaletteEntry) == 8, "palette entries are 8 bytes");

uint16_t PackColor16(uint8_t red, uint8_t green, uint8_t blue);
void UnpackColor16(uint16_t word, uint8_t* red, uint8_t* green, uint8_t* blue);
inline uint8_t GreyLevel(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<uint8_t>((306u * red + 601u * green + 117u * blue) >> 10);
}

class PaletteTable {
 public:
  // count entries, zero-filled for the caller to set.
  int Allocate(int count);
  int Free();
  // Rebuilds the palette from the n most frequent 5-bit-per-channel colours of a picture.
  int BuildFromImage(const uint8_t* pixels, int bitsPerPixel, int width, int height, int n);
  int SortByKey();
  // Index of the nearest entry; needs the entries sorted by key (SortByKey), and entries changed
  // afterwards need another SortByKey.
  int FindIndex(uint8_t red, uint8_t green, uint8_t blue) const;

  PaletteEntry* Entries() const { return reinterpret_cast<PaletteEntry*>(entries_.Data()); }
  int Count() const { return count_; }

 private:
  void BuildCells();

  PlainBuffer entries_;
  int count_ = 0;
  PlainBuffer cells_;  // candidate entries per colour cell, made by SortByKey
};

class Bitmap {
 public:
  Bitmap() = default;
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  ~Bitmap() { Release(); }

  int Create(int width, int height, int bitsPerPixel, int paletteCount);
  // Frees the pixel store, deleting its file, and the palette.
  int Release();
  int CopyFrom(const Bitmap& source);
  int ConvertTo(Bitmap* destination, int bitsPerPixel, int paletteCount) const;
  int Flush();
  // Makes count rows from first ready to be written in one go (see MappedBuffer::Prepare); 0
  // when there is no room for them on disk.
  int PrepareRows(int first, int count);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  int PaletteCount() const { return paletteCount_; }
  uint8_t* Bits() const { return bits_; }
  // The store is at most 4 GiB - 1, so a row never is either.
  uint32_t Stride() const { return static_cast<uint32_t>(width_) * (bitsPerPixel_ / 8); }
  uint8_t* Row(int row) const { return bits_ + static_cast<size_t>(row) * Stride(); }
  uint32_t DataSize() const { return pixels_.Size(); }
  PaletteEntry* Palette() const { return palette_.Entries(); }
  PaletteTable& Table() { return palette_; }
  const PaletteTable& Table() const { return palette_; }
  const char* StorePath() const { return pixels_.Path(); }

 private:
  int width_ = 0;
  int height_ = 0;
  int bitsPerPixel_ = 0;
  uint8_t* bits_ = nullptr;
  int paletteCount_ = 0;
  MappedBuffer pixels_;
  PaletteTable palette_;
};
