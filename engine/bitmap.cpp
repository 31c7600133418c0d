#include "engine/bitmap.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

uint16_t PackColor16(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 3) << 6) | ((blue >> 3) << 1));
}

void UnpackColor16(uint16_t word, uint8_t* red, uint8_t* green, uint8_t* blue) {
  *red = static_cast<uint8_t>((word >> 8) & 0xF8);
  *green = static_cast<uint8_t>((word >> 3) & 0xF8);
  *blue = static_cast<uint8_t>((word << 2) & 0xF8);
}

// ---------------------------------------------------------------------------------------------
// PaletteTable

int PaletteTable::Allocate(int count) {
  Free();  // also drops the cells: they describe the old entries
  if (count < 1 || count > INT_MAX / static_cast<int>(sizeof(PaletteEntry))) return 0;
  if (entries_.Allocate(count * static_cast<int>(sizeof(PaletteEntry))) == 0) return 0;
  std::memset(entries_.Data(), 0, static_cast<size_t>(entries_.Size()));
  count_ = count;
  return 1;
}

int PaletteTable::Free() {
  entries_.Free();
  cells_.Free();
  count_ = 0;
  return 1;
}

namespace {

struct HistogramSlot {
  uint32_t colour;  // a packed 16-bit colour
  uint32_t count;
};

uint16_t ReadWord(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

int PaletteTable::BuildFromImage(const uint8_t* pixels, int bitsPerPixel, int width, int height,
                                 int n) {
  Free();
  if (pixels == nullptr || width < 1 || height < 1 || n < 1) return 0;
  if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
    return 0;
  }
  auto* slots = static_cast<HistogramSlot*>(std::malloc(65536 * sizeof(HistogramSlot)));
  if (slots == nullptr) return 0;
  for (uint32_t i = 0; i < 65536; ++i) slots[i] = {i, 0};

  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  const uint8_t* p = pixels;
  switch (bitsPerPixel) {
    case 8:
      for (size_t i = 0; i < count; ++i, ++p) ++slots[PackColor16(*p, *p, *p)].count;
      break;
    case 16:
      // Bit 0 carries no colour; masking it keeps one slot per distinct colour.
      for (size_t i = 0; i < count; ++i, p += 2) ++slots[ReadWord(p) & 0xFFFE].count;
      break;
    case 24:
      for (size_t i = 0; i < count; ++i, p += 3) ++slots[PackColor16(p[0], p[1], p[2])].count;
      break;
    case 32:
      for (size_t i = 0; i < count; ++i, p += 4) ++slots[PackColor16(p[1], p[2], p[3])].count;
      break;
  }

  int used = 0;
  for (uint32_t i = 0; i < 65536; ++i) used += slots[i].count != 0;
  const int taken = std::min(used, n);
  // Most frequent first; equal counts by colour so that the result does not depend on the sort.
  std::partial_sort(slots, slots + taken, slots + 65536,
                    [](const HistogramSlot& a, const HistogramSlot& b) {
                      return a.count != b.count ? a.count > b.count : a.colour < b.colour;
                    });
  if (Allocate(taken) == 0) {
    std::free(slots);
    return 0;
  }
  PaletteEntry* entries = Entries();
  for (int i = 0; i < taken; ++i) {
    UnpackColor16(static_cast<uint16_t>(slots[i].colour), &entries[i].red, &entries[i].green,
                  &entries[i].blue);
    entries[i].reserved = 255;
  }
  std::free(slots);
  return SortByKey();
}

int PaletteTable::SortByKey() {
  if (count_ < 1) return 0;
  PaletteEntry* entries = Entries();
  for (int i = 0; i < count_; ++i) {
    entries[i].key = static_cast<uint32_t>(entries[i].red) |
                     static_cast<uint32_t>(entries[i].green) << 8 |
                     static_cast<uint32_t>(entries[i].blue) << 16;
  }
  // Stable, so entries with equal keys keep their order, as a bubble sort leaves them.
  std::stable_sort(entries, entries + count_,
                   [](const PaletteEntry& a, const PaletteEntry& b) { return a.key < b.key; });
  BuildCells();
  return 1;
}

namespace {

uint32_t KeyOf(int red, int green, int blue) {
  return static_cast<uint32_t>(red) | static_cast<uint32_t>(green) << 8 |
         static_cast<uint32_t>(blue) << 16;
}

// The colour cube is cut into 16 x 16 x 16 cells of 16 levels per channel.
constexpr int kCellShift = 4;
constexpr int kCellSize = 1 << kCellShift;
constexpr int kCellsPerAxis = 256 / kCellSize;
constexpr int kCells = kCellsPerAxis * kCellsPerAxis * kCellsPerAxis;

int CellOf(int red, int green, int blue) {
  return ((red >> kCellShift) * kCellsPerAxis + (green >> kCellShift)) * kCellsPerAxis +
         (blue >> kCellShift);
}

// Squared distance from a value to the range [low, low + kCellSize - 1]: nearest and farthest.
int NearSquare(int value, int low) {
  const int d = value < low ? low - value : value > low + kCellSize - 1 ? value - low - kCellSize + 1 : 0;
  return d * d;
}
int FarSquare(int value, int low) {
  const int d = std::max(std::abs(value - low), std::abs(value - low - kCellSize + 1));
  return d * d;
}

}  // namespace

// For every cell, the entries that can be nearest to some colour in it: an entry whose nearest
// point of the cell is farther than some other entry's farthest point never wins there.
void PaletteTable::BuildCells() {
  cells_.Free();
  if (count_ < 1 || count_ > 65536) return;
  const PaletteEntry* entries = Entries();
  auto forEachCandidate = [&](int cell, auto&& take) {
    const int lowRed = cell / (kCellsPerAxis * kCellsPerAxis) * kCellSize;
    const int lowGreen = cell / kCellsPerAxis % kCellsPerAxis * kCellSize;
    const int lowBlue = cell % kCellsPerAxis * kCellSize;
    int bound = INT_MAX;
    for (int i = 0; i < count_; ++i) {
      bound = std::min(bound, FarSquare(entries[i].red, lowRed) + FarSquare(entries[i].green, lowGreen) +
                                  FarSquare(entries[i].blue, lowBlue));
    }
    for (int i = 0; i < count_; ++i) {
      if (NearSquare(entries[i].red, lowRed) + NearSquare(entries[i].green, lowGreen) +
              NearSquare(entries[i].blue, lowBlue) <=
          bound) {
        take(i);
      }
    }
  };
  int total = 0;
  for (int cell = 0; cell < kCells; ++cell) forEachCandidate(cell, [&](int) { ++total; });
  const int header = (kCells + 1) * static_cast<int>(sizeof(uint32_t));
  if (cells_.Allocate(header + total * static_cast<int>(sizeof(uint16_t))) == 0) return;
  auto* starts = reinterpret_cast<uint32_t*>(cells_.Data());
  auto* list = reinterpret_cast<uint16_t*>(cells_.Data() + header);
  uint32_t used = 0;
  for (int cell = 0; cell < kCells; ++cell) {
    starts[cell] = used;
    forEachCandidate(cell, [&](int i) { list[used++] = static_cast<uint16_t>(i); });
  }
  starts[kCells] = used;
}

// Nearest entry by squared distance in RGB; among equals, the lowest index.
//
// A colour is compared only with the candidates of its cell (BuildCells), which always include
// every entry that can be nearest to any colour of the cell, so the answer is exact: an entry of
// the same colour is at distance 0 and wins. Without allocation, and on a 256-entry palette a cell
// holds a few candidates instead of 256. When there was no room for the cells, the sorted keys
// still find an exact colour by binary search, and other colours are compared with every entry.
int PaletteTable::FindIndex(uint8_t red, uint8_t green, uint8_t blue) const {
  if (count_ < 1) return 0;
  const PaletteEntry* entries = Entries();
  int best = INT_MAX, bestIndex = 0;
  auto consider = [&](int i) {
    const int dr = entries[i].red - red, dg = entries[i].green - green, db = entries[i].blue - blue;
    const int d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      bestIndex = i;
    }
  };
  if (cells_.Data() != nullptr) {
    const auto* starts = reinterpret_cast<const uint32_t*>(cells_.Data());
    const auto* list =
        reinterpret_cast<const uint16_t*>(cells_.Data() + (kCells + 1) * sizeof(uint32_t));
    const int cell = CellOf(red, green, blue);
    for (uint32_t n = starts[cell]; n < starts[cell + 1]; ++n) consider(list[n]);
    return bestIndex;
  }
  const uint32_t key = KeyOf(red, green, blue);
  int low = 0, high = count_;
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (entries[middle].key < key) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low < count_ && entries[low].key == key) return low;
  for (int i = 0; i < count_; ++i) consider(i);
  return bestIndex;
}

// ---------------------------------------------------------------------------------------------
// Bitmap

int Bitmap::Create(int width, int height, int bitsPerPixel, int paletteCount) {
  Release();
  if (width < 1 || height < 1) return 0;
  if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
    return 0;
  }
  if (bitsPerPixel == 8 && paletteCount < 0) return 0;
  if (bitsPerPixel != 8) paletteCount = 0;
  const uint32_t bytesPerPixel = static_cast<uint32_t>(bitsPerPixel) / 8;
  // The store's byte count is a 32-bit value.
  if (static_cast<uint32_t>(width) > UINT32_MAX / bytesPerPixel / static_cast<uint32_t>(height)) {
    return 0;
  }
  if (paletteCount > 0 && palette_.Allocate(paletteCount) == 0) return 0;
  const uint32_t size = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * bytesPerPixel;
  if (pixels_.Allocate(size, "PIXSPOOL") == 0) {
    Release();
    return 0;
  }
  width_ = width;
  height_ = height;
  bitsPerPixel_ = bitsPerPixel;
  paletteCount_ = paletteCount;
  bits_ = pixels_.View();
  return 1;
}

int Bitmap::Release() {
  pixels_.Release(true);
  palette_.Free();
  width_ = height_ = bitsPerPixel_ = paletteCount_ = 0;
  bits_ = nullptr;
  return 1;
}

int Bitmap::Flush() { return pixels_.Flush(); }

int Bitmap::PrepareRows(int first, int count) {
  if (first < 0 || count < 1 || first >= height_ || count > height_ - first) return 0;
  return pixels_.Prepare(Row(first), static_cast<uint32_t>(count) * Stride());
}

int Bitmap::CopyFrom(const Bitmap& source) {
  if (&source == this) return width_ >= 1 && height_ >= 1 ? 1 : 0;
  if (source.width_ < 1 || source.height_ < 1) return 0;
  if (Create(source.width_, source.height_, source.bitsPerPixel_, source.paletteCount_) == 0) {
    return 0;
  }
  std::memcpy(bits_, source.bits_, DataSize());
  if (paletteCount_ > 0) {
    std::memcpy(Palette(), source.Palette(), static_cast<size_t>(paletteCount_) * sizeof(PaletteEntry));
  }
  Flush();
  return 1;
}

namespace {

// Pixel readers: each gives the red, green and blue of one pixel.
struct Grey8Source {
  static constexpr int kBytes = 1;
  const uint8_t* lut;  // unused
  void Get(const uint8_t* p, uint8_t* r, uint8_t* g, uint8_t* b) const { *r = *g = *b = *p; }
};
struct Palette8Source {
  static constexpr int kBytes = 1;
  const uint8_t* lut;  // 256 × (red, green, blue); indexes beyond the palette read black
  void Get(const uint8_t* p, uint8_t* r, uint8_t* g, uint8_t* b) const {
    const uint8_t* c = lut + 3 * *p;
    *r = c[0];
    *g = c[1];
    *b = c[2];
  }
};
struct Rgb16Source {
  static constexpr int kBytes = 2;
  const uint8_t* lut;
  void Get(const uint8_t* p, uint8_t* r, uint8_t* g, uint8_t* b) const {
    UnpackColor16(ReadWord(p), r, g, b);
  }
};
struct Rgb24Source {
  static constexpr int kBytes = 3;
  const uint8_t* lut;
  void Get(const uint8_t* p, uint8_t* r, uint8_t* g, uint8_t* b) const {
    *r = p[0];
    *g = p[1];
    *b = p[2];
  }
};
struct Argb32Source {
  static constexpr int kBytes = 4;
  const uint8_t* lut;
  void Get(const uint8_t* p, uint8_t* r, uint8_t* g, uint8_t* b) const {
    *r = p[1];
    *g = p[2];
    *b = p[3];
  }
};

// Pixel writers.
struct Grey8Target {
  static constexpr int kBytes = 1;
  void Put(uint8_t* q, uint8_t r, uint8_t g, uint8_t b) { *q = GreyLevel(r, g, b); }
};
struct Palette8Target {
  static constexpr int kBytes = 1;
  const PaletteTable* table;
  // Pictures repeat nearby colours all the time; a small direct-mapped memory of recent answers,
  // on the stack, saves most searches. A slot holds its colour + 1, so 0 means empty.
  static constexpr uint32_t kSlots = 4096;
  uint32_t colours[kSlots] = {};
  uint8_t indexes[kSlots] = {};
  void Put(uint8_t* q, uint8_t r, uint8_t g, uint8_t b) {
    const uint32_t colour = r | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16;
    const uint32_t slot = (colour * 2654435761u) >> 20;  // top 12 bits of a Fibonacci hash
    if (colours[slot] != colour + 1) {
      colours[slot] = colour + 1;
      indexes[slot] = static_cast<uint8_t>(table->FindIndex(r, g, b));
    }
    *q = indexes[slot];
  }
};
struct Rgb16Target {
  static constexpr int kBytes = 2;
  void Put(uint8_t* q, uint8_t r, uint8_t g, uint8_t b) {
    const uint16_t word = PackColor16(r, g, b);
    q[0] = static_cast<uint8_t>(word);
    q[1] = static_cast<uint8_t>(word >> 8);
  }
};
struct Rgb24Target {
  static constexpr int kBytes = 3;
  void Put(uint8_t* q, uint8_t r, uint8_t g, uint8_t b) {
    q[0] = r;
    q[1] = g;
    q[2] = b;
  }
};
struct Argb32Target {
  static constexpr int kBytes = 4;
  void Put(uint8_t* q, uint8_t r, uint8_t g, uint8_t b) {
    q[0] = 255;
    q[1] = r;
    q[2] = g;
    q[3] = b;
  }
};

template <typename Source, typename Target>
void ConvertPixels(const Bitmap& from, Bitmap* to, Source source, Target& target) {
  const size_t count = static_cast<size_t>(from.Width()) * static_cast<size_t>(from.Height());
  const uint8_t* p = from.Bits();
  uint8_t* q = to->Bits();
  for (size_t i = 0; i < count; ++i, p += Source::kBytes, q += Target::kBytes) {
    uint8_t r, g, b;
    source.Get(p, &r, &g, &b);
    target.Put(q, r, g, b);
  }
}

template <typename Source>
void ConvertFrom(const Bitmap& from, Bitmap* to, bool paletteTarget, Source source) {
  if (paletteTarget) {
    Palette8Target target{&to->Table()};
    ConvertPixels(from, to, source, target);
    return;
  }
  switch (to->BitsPerPixel()) {
    case 8: { Grey8Target target; ConvertPixels(from, to, source, target); break; }
    case 16: { Rgb16Target target; ConvertPixels(from, to, source, target); break; }
    case 24: { Rgb24Target target; ConvertPixels(from, to, source, target); break; }
    case 32: { Argb32Target target; ConvertPixels(from, to, source, target); break; }
  }
}

}  // namespace

int Bitmap::ConvertTo(Bitmap* destination, int bitsPerPixel, int paletteCount) const {
  if (width_ < 1 || height_ < 1 || destination == nullptr || destination == this) return 0;
  if (destination->Create(width_, height_, bitsPerPixel, paletteCount) == 0) return 0;

  const bool paletteTarget = bitsPerPixel == 8 && paletteCount > 0;
  const bool paletteSource = bitsPerPixel_ == 8 && paletteCount_ > 0;
  if (bitsPerPixel == bitsPerPixel_ && (bitsPerPixel != 8 || paletteTarget == paletteSource)) {
    return destination->CopyFrom(*this);
  }

  if (paletteTarget) {
    PaletteTable& table = destination->palette_;
    // A byte addresses no more than 256 entries.
    const int wanted = std::min(paletteCount, 256);
    if (table.BuildFromImage(bits_, bitsPerPixel_, width_, height_, wanted) == 0) return 0;
    destination->paletteCount_ = table.Count();
  }

  switch (bitsPerPixel_) {
    case 8:
      if (paletteSource) {
        uint8_t lut[256 * 3] = {};
        const int entries = std::min(paletteCount_, 256);
        for (int i = 0; i < entries; ++i) {
          lut[3 * i] = Palette()[i].red;
          lut[3 * i + 1] = Palette()[i].green;
          lut[3 * i + 2] = Palette()[i].blue;
        }
        ConvertFrom(*this, destination, paletteTarget, Palette8Source{lut});
      } else {
        ConvertFrom(*this, destination, paletteTarget, Grey8Source{nullptr});
      }
      break;
    case 16: ConvertFrom(*this, destination, paletteTarget, Rgb16Source{nullptr}); break;
    case 24: ConvertFrom(*this, destination, paletteTarget, Rgb24Source{nullptr}); break;
    case 32: ConvertFrom(*this, destination, paletteTarget, Argb32Source{nullptr}); break;
  }
  destination->Flush();
  return 1;
}
