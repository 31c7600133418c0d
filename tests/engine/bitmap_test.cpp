#include "engine/bitmap.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <tuple>

#include "support/test_support.h"

namespace {

// Reference arithmetic, written out here rather than borrowed from the code under test.
struct Rgb {
  int r, g, b;
};
int RefGrey(Rgb c) { return (306 * c.r + 601 * c.g + 117 * c.b) >> 10; }
int RefPack(Rgb c) { return (c.r >> 3) << 11 | (c.g >> 3) << 6 | (c.b >> 3) << 1; }
Rgb RefUnpack(int w) { return {(w >> 8) & 0xF8, (w >> 3) & 0xF8, (w << 2) & 0xF8}; }

enum Kind { Grey8, Palette8, Rgb16, Rgb24, Argb32 };
const char* const kKindNames[] = {"Grey8", "Palette8", "Rgb16", "Rgb24", "Argb32"};
int DepthOf(Kind k) { return k <= Palette8 ? 8 : k == Rgb16 ? 16 : k == Rgb24 ? 24 : 32; }

constexpr int kWidth = 35, kHeight = 39;  // odd and not square, so a swap shows

uint32_t NextRandom(uint32_t* state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 8;
}

// A picture of the given kind with varied pixels; the palette kind has 7 entries.
void MakeSource(Kind kind, Bitmap* bitmap) {
  ASSERT_EQ(bitmap->Create(kWidth, kHeight, DepthOf(kind), kind == Palette8 ? 7 : 0), 1);
  uint32_t state = 12345u + kind;
  if (kind == Palette8) {
    for (int i = 0; i < 7; ++i) {
      bitmap->Palette()[i].red = static_cast<uint8_t>(NextRandom(&state));
      bitmap->Palette()[i].green = static_cast<uint8_t>(NextRandom(&state));
      bitmap->Palette()[i].blue = static_cast<uint8_t>(NextRandom(&state));
    }
  }
  uint8_t* p = bitmap->Bits();
  for (uint32_t i = 0; i < bitmap->DataSize(); ++i) p[i] = static_cast<uint8_t>(NextRandom(&state));
  if (kind == Palette8) {
    for (uint32_t i = 0; i < bitmap->DataSize(); ++i) p[i] %= 7;
  }
  if (kind == Rgb16) {
    for (uint32_t i = 0; i < bitmap->DataSize(); i += 2) p[i] &= 0xFE;  // bit 0 is always zero
  }
}

Rgb ColourAt(const Bitmap& b, Kind kind, int x, int y) {
  const uint8_t* p = b.Bits() + static_cast<size_t>(y) * b.Stride() + x * b.BitsPerPixel() / 8;
  switch (kind) {
    case Grey8: return {p[0], p[0], p[0]};
    case Palette8: return {b.Palette()[p[0]].red, b.Palette()[p[0]].green, b.Palette()[p[0]].blue};
    case Rgb16: return RefUnpack(p[0] | p[1] << 8);
    case Rgb24: return {p[0], p[1], p[2]};
    case Argb32: return {p[1], p[2], p[3]};
  }
  return {};
}

int Distance(Rgb a, const PaletteEntry& e) {
  return (a.r - e.red) * (a.r - e.red) + (a.g - e.green) * (a.g - e.green) +
         (a.b - e.blue) * (a.b - e.blue);
}

class ConvertPairTest : public testsupport::TempDirTest,
                        public ::testing::WithParamInterface<std::tuple<Kind, Kind>> {};

TEST_P(ConvertPairTest, PixelsFollowTheTable) {
  const Kind from = std::get<0>(GetParam()), to = std::get<1>(GetParam());
  Bitmap source, result;
  MakeSource(from, &source);
  ASSERT_EQ(source.ConvertTo(&result, DepthOf(to), to == Palette8 ? 256 : 0), 1);
  ASSERT_EQ(result.Width(), kWidth);
  ASSERT_EQ(result.Height(), kHeight);
  ASSERT_EQ(result.BitsPerPixel(), DepthOf(to));
  ASSERT_EQ(result.Stride(), static_cast<uint32_t>(kWidth * DepthOf(to) / 8));

  if (from == to) {  // already in the requested form: an exact copy, own palette kept
    ASSERT_EQ(result.DataSize(), source.DataSize());
    EXPECT_EQ(0, memcmp(result.Bits(), source.Bits(), source.DataSize()));
    ASSERT_EQ(result.PaletteCount(), source.PaletteCount());
    if (to == Palette8) {
      EXPECT_EQ(0, memcmp(result.Palette(), source.Palette(), 7 * sizeof(PaletteEntry)));
    }
    return;
  }
  if (to == Palette8) {
    ASSERT_GE(result.PaletteCount(), 1);
    ASSERT_LE(result.PaletteCount(), 256);
    for (int i = 0; i < result.PaletteCount(); ++i) {
      const PaletteEntry& e = result.Palette()[i];
      EXPECT_EQ(e.reserved, 255);
      EXPECT_EQ(e.red & 7, 0);  // colours of the 5-bit histogram
      if (i > 0) {
        EXPECT_LT(result.Palette()[i - 1].key, e.key);
      }
    }
  } else {
    EXPECT_EQ(result.PaletteCount(), 0);
  }

  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = ColourAt(source, from, x, y);
      const uint8_t* q = result.Bits() + static_cast<size_t>(y) * result.Stride() + x * DepthOf(to) / 8;
      SCOPED_TRACE(::testing::Message() << "pixel " << x << "," << y);
      switch (to) {
        case Grey8: ASSERT_EQ(q[0], RefGrey(c)); break;
        case Rgb16: ASSERT_EQ(q[0] | q[1] << 8, RefPack(c)); break;
        case Rgb24: ASSERT_EQ(std::make_tuple(q[0], q[1], q[2]), std::make_tuple(c.r, c.g, c.b)); break;
        case Argb32:
          ASSERT_EQ(std::make_tuple(q[0], q[1], q[2], q[3]), std::make_tuple(255, c.r, c.g, c.b));
          break;
        case Palette8: {
          ASSERT_LT(q[0], result.PaletteCount());
          int best = INT_MAX;
          for (int i = 0; i < result.PaletteCount(); ++i) best = std::min(best, Distance(c, result.Palette()[i]));
          ASSERT_EQ(Distance(c, result.Palette()[q[0]]), best) << "not the nearest entry";
          break;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllPairs, ConvertPairTest,
    ::testing::Combine(::testing::Values(Grey8, Palette8, Rgb16, Rgb24, Argb32),
                       ::testing::Values(Grey8, Palette8, Rgb16, Rgb24, Argb32)),
    [](const auto& info) {
      return std::string(kKindNames[std::get<0>(info.param)]) + "To" +
             kKindNames[std::get<1>(info.param)];
    });

class BitmapTest : public testsupport::TempDirTest {};

TEST_F(BitmapTest, PixelStoreFileLivesFromCreateToRelease) {
  Bitmap bitmap;
  ASSERT_EQ(bitmap.Create(3, 2, 24, 5), 1);
  EXPECT_EQ(bitmap.PaletteCount(), 0);  // no palette above 8 bits
  EXPECT_EQ(bitmap.Stride(), 9u);
  EXPECT_EQ(bitmap.DataSize(), 18u);
  const std::string path = PathIn("PIXSPOOL0.tmp");
  EXPECT_STREQ(bitmap.StorePath(), path.c_str());
  struct stat info;
  ASSERT_EQ(lstat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_size, 18);
  for (uint32_t i = 0; i < bitmap.DataSize(); ++i) ASSERT_EQ(bitmap.Bits()[i], 0);

  EXPECT_EQ(bitmap.Release(), 1);
  EXPECT_EQ(access(path.c_str(), F_OK), -1);
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Bits(), nullptr);
  EXPECT_EQ(bitmap.Stride(), 0u);

  { Bitmap scoped; ASSERT_EQ(scoped.Create(1, 1, 8, 0), 1); }
  EXPECT_TRUE(Spools().empty());  // destruction deletes too
}

struct CreateCase {
  int width, height, depth, palette;
  int result;
};

class CreateBoundaryTest : public testsupport::TempDirTest,
                           public ::testing::WithParamInterface<CreateCase> {};

TEST_P(CreateBoundaryTest, AcceptsOrLeavesEmpty) {
  const CreateCase& c = GetParam();
  Bitmap bitmap;
  ASSERT_EQ(bitmap.Create(2, 2, 24, 0), 1);  // a failed Create must also drop this
  ASSERT_EQ(bitmap.Create(c.width, c.height, c.depth, c.palette), c.result);
  if (c.result == 1) {
    EXPECT_EQ(uint64_t{bitmap.DataSize()}, uint64_t(c.width) * c.height * (c.depth / 8));
    EXPECT_EQ(Spools().size(), 1u);
  } else {
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.BitsPerPixel(), 0);
    EXPECT_EQ(bitmap.PaletteCount(), 0);
    EXPECT_EQ(bitmap.Bits(), nullptr);
    EXPECT_TRUE(Spools().empty());
  }
  bitmap.Release();
  EXPECT_TRUE(Spools().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateBoundaryTest,
    ::testing::Values(CreateCase{0, 1, 24, 0, 0}, CreateCase{1, 0, 24, 0, 0},
                      CreateCase{-1, 5, 24, 0, 0}, CreateCase{5, INT_MIN, 24, 0, 0},
                      CreateCase{1, 1, 12, 0, 0}, CreateCase{1, 1, 0, 0, 0},
                      CreateCase{1, 1, 8, -1, 0}, CreateCase{1, 1, 8, 1, 1},
                      CreateCase{1, 1, 16, -1, 1},  // the palette count is ignored above 8 bits
                      // The store's size is a 32-bit count: 2^32 - 1 bytes fit, 2^32 do not.
                      CreateCase{65535, 65537, 8, 0, 1}, CreateCase{65536, 65536, 8, 0, 0},
                      CreateCase{1073741823, 1, 32, 0, 1}, CreateCase{1073741824, 1, 32, 0, 0},
                      CreateCase{INT_MAX, INT_MAX, 32, 0, 0}),
    [](const auto& info) {
      const CreateCase& c = info.param;
      auto number = [](long long v) { return v < 0 ? "minus" + std::to_string(-v) : std::to_string(v); };
      return number(c.width) + "x" + number(c.height) + "x" + std::to_string(c.depth) + "bit_palette" +
             number(c.palette);
    });

TEST(ColourTest, GreyLevelsAndPacking) {
  EXPECT_EQ(GreyLevel(255, 0, 0), 76);
  EXPECT_EQ(GreyLevel(0, 255, 0), 149);
  EXPECT_EQ(GreyLevel(0, 0, 255), 29);
  EXPECT_EQ(GreyLevel(255, 255, 255), 255);
  EXPECT_EQ(GreyLevel(128, 128, 128), 128);
  EXPECT_EQ(PackColor16(255, 255, 255), 0xFFFE);
  uint8_t r, g, b;
  UnpackColor16(0xFFFE, &r, &g, &b);
  EXPECT_EQ(std::make_tuple(r, g, b), std::make_tuple(248, 248, 248));
  UnpackColor16(PackColor16(200, 100, 50), &r, &g, &b);
  EXPECT_EQ(std::make_tuple(r, g, b), std::make_tuple(200, 96, 48));
}

TEST_F(BitmapTest, ThreeColoursGiveThreeEntriesSortedByKey) {
  Bitmap source, result;
  ASSERT_EQ(source.Create(kWidth, kHeight, 24, 0), 1);
  const uint8_t colours[3][3] = {{200, 100, 50}, {10, 220, 30}, {90, 90, 240}};
  for (int i = 0; i < kWidth * kHeight; ++i) {
    memcpy(source.Bits() + 3 * i, colours[i % 3], 3);
  }
  ASSERT_EQ(source.ConvertTo(&result, 8, 256), 1);
  ASSERT_EQ(result.PaletteCount(), 3);
  const PaletteEntry* e = result.Palette();
  EXPECT_EQ(std::make_tuple(e[0].red, e[0].green, e[0].blue, e[0].reserved),
            std::make_tuple(8, 216, 24, 255));
  EXPECT_EQ(std::make_tuple(e[1].red, e[1].green, e[1].blue, e[1].reserved),
            std::make_tuple(200, 96, 48, 255));
  EXPECT_EQ(std::make_tuple(e[2].red, e[2].green, e[2].blue, e[2].reserved),
            std::make_tuple(88, 88, 240, 255));
  EXPECT_EQ(e[1].key, 200u | 96u << 8 | 48u << 16);
  const uint8_t expected[3] = {1, 0, 2};
  for (int i = 0; i < kWidth * kHeight; ++i) ASSERT_EQ(result.Bits()[i], expected[i % 3]);
}

TEST_F(BitmapTest, PaletteKeepsTheMostFrequentColours) {
  Bitmap source, result;
  ASSERT_EQ(source.Create(10, 1, 8, 0), 1);  // grey levels 0 ×5, 80 ×3, 160 ×2
  const uint8_t grey[10] = {0, 0, 0, 0, 0, 80, 80, 80, 160, 160};
  memcpy(source.Bits(), grey, 10);
  ASSERT_EQ(source.ConvertTo(&result, 8, 2), 1);
  ASSERT_EQ(result.PaletteCount(), 2);
  EXPECT_EQ(result.Palette()[0].red, 0);
  EXPECT_EQ(result.Palette()[1].red, 80);
  EXPECT_EQ(result.Bits()[9], 1);  // 160 is nearer 80 than 0
}

TEST(PaletteTableTest, FindIndexAgainstBruteForce) {
  PaletteTable table;
  ASSERT_EQ(table.Allocate(256), 1);
  uint32_t state = 99;
  for (int i = 0; i < 256; ++i) {
    table.Entries()[i].red = static_cast<uint8_t>(NextRandom(&state) & 0xF8);
    table.Entries()[i].green = static_cast<uint8_t>(NextRandom(&state) & 0xF8);
    table.Entries()[i].blue = static_cast<uint8_t>(NextRandom(&state) & 0xF8);
  }
  ASSERT_EQ(table.SortByKey(), 1);
  for (int i = 0; i < 256; ++i) {
    const PaletteEntry& e = table.Entries()[i];
    const int found = table.FindIndex(e.red, e.green, e.blue);
    EXPECT_EQ(table.Entries()[found].key, e.key) << "exact colour not found";
  }
  for (int n = 0; n < 20000; ++n) {
    const Rgb c{static_cast<int>(NextRandom(&state) & 255), static_cast<int>(NextRandom(&state) & 255),
                static_cast<int>(NextRandom(&state) & 255)};
    int best = INT_MAX;
    for (int i = 0; i < 256; ++i) best = std::min(best, Distance(c, table.Entries()[i]));
    const int found = table.FindIndex(static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
                                      static_cast<uint8_t>(c.b));
    ASSERT_GE(found, 0);
    ASSERT_LT(found, 256);
    ASSERT_EQ(Distance(c, table.Entries()[found]), best) << c.r << "," << c.g << "," << c.b;
  }
}

TEST(PaletteTableTest, VeryLargePalettesStillFindTheNearest) {
  PaletteTable table;  // too many entries for the per-cell candidate lists
  ASSERT_EQ(table.Allocate(70000), 1);
  uint32_t state = 5;
  for (int i = 0; i < 70000; ++i) {
    table.Entries()[i] = {static_cast<uint8_t>(NextRandom(&state)), static_cast<uint8_t>(NextRandom(&state)),
                          static_cast<uint8_t>(NextRandom(&state)), 0, 0};
  }
  ASSERT_EQ(table.SortByKey(), 1);
  const PaletteEntry probe = table.Entries()[4321];
  EXPECT_EQ(table.Entries()[table.FindIndex(probe.red, probe.green, probe.blue)].key, probe.key);
  for (int n = 0; n < 50; ++n) {
    const Rgb c{static_cast<int>(NextRandom(&state) & 255), static_cast<int>(NextRandom(&state) & 255),
                static_cast<int>(NextRandom(&state) & 255)};
    int best = INT_MAX;
    for (int i = 0; i < 70000; ++i) best = std::min(best, Distance(c, table.Entries()[i]));
    const int found = table.FindIndex(static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
                                      static_cast<uint8_t>(c.b));
    ASSERT_EQ(Distance(c, table.Entries()[found]), best);
  }
}

TEST(PaletteTableTest, Refusals) {
  PaletteTable table;
  EXPECT_EQ(table.SortByKey(), 0);
  EXPECT_EQ(table.Allocate(0), 0);
  EXPECT_EQ(table.Allocate(-3), 0);
  const uint8_t pixels[3] = {1, 2, 3};
  EXPECT_EQ(table.BuildFromImage(pixels, 12, 1, 1, 4), 0);
  EXPECT_EQ(table.BuildFromImage(pixels, 24, 1, 1, 0), 0);
  EXPECT_EQ(table.BuildFromImage(nullptr, 24, 1, 1, 4), 0);
  EXPECT_EQ(table.Count(), 0);
  ASSERT_EQ(table.BuildFromImage(pixels, 24, 1, 1, 4), 1);
  EXPECT_EQ(table.Count(), 1);
}

TEST_F(BitmapTest, PaletteIndexesBeyondThePaletteReadBlack) {
  Bitmap source, result;
  ASSERT_EQ(source.Create(2, 1, 8, 1), 1);
  source.Palette()[0] = {10, 20, 30, 0, 0};
  source.Bits()[0] = 0;
  source.Bits()[1] = 200;  // no such entry
  ASSERT_EQ(source.ConvertTo(&result, 24, 0), 1);
  const uint8_t expected[6] = {10, 20, 30, 0, 0, 0};
  EXPECT_EQ(0, memcmp(result.Bits(), expected, 6));
}

TEST_F(BitmapTest, CopyFromAndRefusals) {
  Bitmap source, copy, empty;
  MakeSource(Palette8, &source);
  ASSERT_EQ(copy.CopyFrom(source), 1);
  EXPECT_EQ(copy.PaletteCount(), 7);
  EXPECT_EQ(0, memcmp(copy.Bits(), source.Bits(), source.DataSize()));
  EXPECT_EQ(0, memcmp(copy.Palette(), source.Palette(), 7 * sizeof(PaletteEntry)));
  EXPECT_STRNE(copy.StorePath(), source.StorePath());

  EXPECT_EQ(copy.CopyFrom(empty), 0);
  EXPECT_EQ(empty.ConvertTo(&copy, 24, 0), 0);
  EXPECT_EQ(source.ConvertTo(&copy, 12, 0), 0);
  EXPECT_EQ(copy.Width(), 0);
  EXPECT_EQ(source.ConvertTo(&source, 24, 0), 0);  // never into itself
  EXPECT_EQ(source.Width(), kWidth);
  copy.Release();
  source.Release();
  EXPECT_TRUE(Spools().empty());
}

TEST_F(BitmapTest, PrepareRowsTakesRowsInsideThePicture) {
  Bitmap bitmap, empty;
  ASSERT_EQ(bitmap.Create(kWidth, kHeight, 24, 0), 1);
  EXPECT_EQ(bitmap.PrepareRows(0, kHeight), 1);
  EXPECT_EQ(bitmap.PrepareRows(kHeight - 1, 1), 1);
  EXPECT_EQ(bitmap.PrepareRows(kHeight - 1, 2), 0);
  EXPECT_EQ(bitmap.PrepareRows(kHeight, 1), 0);
  EXPECT_EQ(bitmap.PrepareRows(-1, 2), 0);
  EXPECT_EQ(bitmap.PrepareRows(0, 0), 0);
  EXPECT_EQ(empty.PrepareRows(0, 1), 0);
  // Prepared rows still read as zero, and what is written there reaches the file.
  for (uint32_t i = 0; i < bitmap.DataSize(); ++i) ASSERT_EQ(bitmap.Bits()[i], 0);
  bitmap.Row(kHeight - 1)[kWidth * 3 - 1] = 0x77;
  EXPECT_EQ(testsupport::ReadFileBytes(bitmap.StorePath()).back(), 0x77);
}

}  // namespace
