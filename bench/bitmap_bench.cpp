// Create + ConvertTo on a 6000 x 4000 picture, in MB/s of source pixels, with the heap peak that
// one conversion adds (counter "heap_peak_KiB"; pixel stores are mapped files, not heap).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "engine/bitmap.h"
#include "heap_counter.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// A photo-like picture: smooth gradients with fine noise, many thousand distinct colours.
void FillPhotoLike(Bitmap* bitmap) {
  uint32_t state = 7;
  const int bytes = bitmap->BitsPerPixel() / 8;
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = bitmap->Row(y);
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 29) - 4;
      const int r = 128 + static_cast<int>(100 * std::sin(x * 0.0011)) + noise;
      const int g = 128 + static_cast<int>(100 * std::cos(y * 0.0013)) + noise;
      const int b = (x + y) * 255 / (kWidth + kHeight) + noise;
      uint8_t* p = row + x * bytes;
      if (bytes == 4) *p++ = 255;
      p[0] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
      p[1] = static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
      p[2] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
    }
  }
}

void Convert(benchmark::State& state, int fromDepth, int toDepth, int paletteCount) {
  Bitmap source;
  if (source.Create(kWidth, kHeight, fromDepth, 0) == 0) {
    state.SkipWithError("cannot create the source");
    return;
  }
  FillPhotoLike(&source);
  long long heapPeak = 0;
  for (auto _ : state) {
    const long long before = heapcount::Reset();
    Bitmap destination;  // Create is part of what is measured
    if (source.ConvertTo(&destination, toDepth, paletteCount) == 0) {
      state.SkipWithError("conversion failed");
      break;
    }
    benchmark::DoNotOptimize(destination.Bits());
    heapPeak = std::max(heapPeak, heapcount::peak.load() - before);
    state.PauseTiming();
    destination.Release();  // deleting the file is not part of the conversion
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * source.DataSize());
  state.counters["heap_peak_KiB"] = static_cast<double>(heapPeak) / 1024.0;
}

void BM_Convert24To32(benchmark::State& state) { Convert(state, 24, 32, 0); }
void BM_Convert32To24(benchmark::State& state) { Convert(state, 32, 24, 0); }
void BM_Convert24To8Grey(benchmark::State& state) { Convert(state, 24, 8, 0); }
void BM_Convert24To8Palette256(benchmark::State& state) { Convert(state, 24, 8, 256); }

BENCHMARK(BM_Convert24To32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert32To24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert24To8Grey)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert24To8Palette256)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
