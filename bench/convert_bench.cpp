// ConvertToJpeg of a 12-megapixel colour JPEG with the batch run's settings (colour, quality 75,
// optimised tables, no smoothing), beside libjpeg doing the same decode and encode straight, in
// memory (jpeg_mem_src, jpeg_mem_dest), one row per call. The runs alternate in every iteration
// so that load from elsewhere on the machine falls on all alike, and all must write the same file.
//
//   convert_ms         ConvertToJpeg, from the source file to the target file
//   straight_ms        the reference: decode into a picture allocated for the run, then encode
//   ratio, best_ratio  convert / straight over all runs, and fastest / fastest
//   warm_ms            the reference decoding into one picture buffer kept for all runs, so its
//                      pages are never new (ratio_warm)
//   interleaved_ms     each row encoded as soon as it is decoded, no picture at all: libjpeg's
//                      work alone (ratio_interleaved)
//   store_ms           the engine's pixel store alone: create, make ready, fill, delete 36 MB
//   ratio_beyond_store (convert - store) / warm: what the engine adds apart from its store
//   *_heap_KiB         heap peak added by one run; the engine's pixels are in a mapped file, so
//                      both are libjpeg's own working storage
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "engine/bitmap.h"
#include "engine/convert.h"
#include "heap_counter.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

struct ErrorReturn {
  jpeg_error_mgr manager;
  jmp_buf jump;
};
[[noreturn]] void Exit(j_common_ptr info) {
  longjmp(reinterpret_cast<ErrorReturn*>(info->err)->jump, 1);
}
void Silent(j_common_ptr) {}

// A photo-like picture: smooth gradients with fine noise, encoded at quality 90, 4:2:0.
bool MakeSource(unsigned char** bytes, unsigned long* size) {
  jpeg_compress_struct info;
  ErrorReturn error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = Exit;
  unsigned char* row = static_cast<unsigned char*>(std::malloc(kWidth * 3));
  if (row == nullptr) return false;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&info);
    std::free(row);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, bytes, size);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  uint32_t state = 7;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 29) - 4;
      const int r = 128 + static_cast<int>(100 * std::sin(x * 0.0011 + y * 0.0004)) + noise;
      const int g = 128 + static_cast<int>(100 * std::cos(y * 0.0013)) + noise;
      const int b = (x + y) * 255 / (kWidth + kHeight) + noise;
      row[3 * x] = static_cast<uint8_t>(std::clamp(r, 0, 255));
      row[3 * x + 1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
      row[3 * x + 2] = static_cast<uint8_t>(std::clamp(b, 0, 255));
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::free(row);
  return true;
}

// The references, in memory with the batch settings, one row per libjpeg call: the whole
// picture is decoded into a picture buffer, then encoded from it, as the engine does. picture
// null: each row is encoded as soon as it is decoded, with one row buffer and no picture at all.
struct Straight {
  jpeg_decompress_struct in;
  jpeg_compress_struct out;
  ErrorReturn error;  // shared: one jump back for both objects
  unsigned char* row;
  unsigned char* bytes;
  unsigned long size;
};

bool RunStraight(Straight* s, const unsigned char* source, unsigned long sourceSize,
                 unsigned char* picture) {
  s->in.err = s->out.err = jpeg_std_error(&s->error.manager);
  s->error.manager.error_exit = Exit;
  s->error.manager.output_message = Silent;
  if (setjmp(s->error.jump) != 0) {
    jpeg_destroy_decompress(&s->in);
    jpeg_destroy_compress(&s->out);
    return false;
  }
  jpeg_create_decompress(&s->in);
  jpeg_create_compress(&s->out);
  jpeg_mem_src(&s->in, source, sourceSize);
  jpeg_read_header(&s->in, TRUE);
  jpeg_start_decompress(&s->in);
  jpeg_mem_dest(&s->out, &s->bytes, &s->size);
  s->out.image_width = s->in.output_width;
  s->out.image_height = s->in.output_height;
  s->out.input_components = 3;
  s->out.in_color_space = JCS_RGB;
  jpeg_set_defaults(&s->out);
  s->out.optimize_coding = TRUE;
  s->out.smoothing_factor = 0;
  jpeg_set_quality(&s->out, 75, TRUE);
  jpeg_start_compress(&s->out, TRUE);
  const size_t stride = static_cast<size_t>(s->in.output_width) * 3;
  if (picture == nullptr) {
    s->row = static_cast<unsigned char*>(std::malloc(stride));
    if (s->row == nullptr) longjmp(s->error.jump, 1);
    while (s->in.output_scanline < s->in.output_height) {
      JSAMPROW rows[1] = {s->row};
      jpeg_read_scanlines(&s->in, rows, 1);
      jpeg_write_scanlines(&s->out, rows, 1);
    }
  } else {
    while (s->in.output_scanline < s->in.output_height) {
      JSAMPROW rows[1] = {picture + s->in.output_scanline * stride};
      jpeg_read_scanlines(&s->in, rows, 1);
    }
    while (s->out.next_scanline < s->out.image_height) {
      JSAMPROW rows[1] = {picture + s->out.next_scanline * stride};
      jpeg_write_scanlines(&s->out, rows, 1);
    }
  }
  jpeg_finish_compress(&s->out);
  jpeg_destroy_decompress(&s->in);
  jpeg_destroy_compress(&s->out);
  return true;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  return bytes;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Times of one kind of run: the sum and the fastest.
struct Timing {
  std::chrono::steady_clock::duration total{};
  std::chrono::steady_clock::duration best = std::chrono::steady_clock::duration::max();
  long long heapPeak = 0;
  void Add(std::chrono::steady_clock::duration d, long long heap) {
    total += d;
    best = std::min(best, d);
    heapPeak = std::max(heapPeak, heap);
  }
};

// One straight run; its output is kept the first time for the comparison of files.
bool TimeStraight(Timing* timing, const unsigned char* source, unsigned long sourceSize,
                  unsigned char* picture, std::vector<uint8_t>* output) {
  Straight straight{};
  const long long before = heapcount::Reset();
  const auto start = std::chrono::steady_clock::now();
  const bool done = RunStraight(&straight, source, sourceSize, picture);
  const auto time = std::chrono::steady_clock::now() - start;
  timing->Add(time, heapcount::peak.load() - before);
  if (done && output->empty()) output->assign(straight.bytes, straight.bytes + straight.size);
  std::free(straight.row);
  std::free(straight.bytes);
  return done;
}

void BM_ConvertToJpegVsStraightLibjpeg(benchmark::State& state) {
  // A private folder for the source, the target and the pixel store.
  char folder[] = "/tmp/zephlora-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  setenv("TMPDIR", folder, 1);
  const std::string source = std::string(folder) + "/source.jpg";
  const std::string target = std::string(folder) + "/target.jpg";
  unsigned char* sourceBytes = nullptr;
  unsigned long sourceSize = 0;
  FILE* f = nullptr;
  // libjpeg's own storage (some 36 MB with optimised tables) stays on the heap between runs, so
  // that it costs every kind of run the same, whatever glibc's trimming makes of the order.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  const size_t pictureSize = static_cast<size_t>(kWidth) * kHeight * 3;
  auto* warm = static_cast<unsigned char*>(std::malloc(pictureSize));
  if (warm == nullptr || !MakeSource(&sourceBytes, &sourceSize) ||
      (f = std::fopen(source.c_str(), "wb")) == nullptr ||
      std::fwrite(sourceBytes, 1, sourceSize, f) != sourceSize || std::fclose(f) != 0) {
    state.SkipWithError("cannot make the source picture");
    std::free(sourceBytes);
    std::free(warm);
    return;
  }
  std::memset(warm, 0, pictureSize);  // its pages are mapped before the runs

  Timing convert, fresh, reused, interleaved, store;
  std::vector<uint8_t> freshOutput, reusedOutput, interleavedOutput;
  for (auto _ : state) {
    long long before = heapcount::Reset();
    auto start = std::chrono::steady_clock::now();
    const int result = ConvertToJpeg(source.c_str(), target.c_str(), false, 75, true, 0);
    convert.Add(std::chrono::steady_clock::now() - start, heapcount::peak.load() - before);
    if (result != Success) {
      state.SkipWithError("ConvertToJpeg failed");
      break;
    }

    // A picture of its own for each run, as each conversion of a straight program needs one:
    // new pages, as malloc gives for a block this size by default (glibc maps anything above
    // 32 MiB), made so here because the set-up keeps the heap for libjpeg's storage.
    void* picture = mmap(nullptr, pictureSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    const bool done = picture != MAP_FAILED &&
                      TimeStraight(&fresh, sourceBytes, sourceSize, static_cast<unsigned char*>(picture),
                                   &freshOutput) &&
                      TimeStraight(&reused, sourceBytes, sourceSize, warm, &reusedOutput) &&
                      TimeStraight(&interleaved, sourceBytes, sourceSize, nullptr, &interleavedOutput);
    if (picture != MAP_FAILED) munmap(picture, pictureSize);
    if (!done) {
      state.SkipWithError("a straight run failed");
      break;
    }

    // What the engine's pixel store alone costs: create, make ready, fill, delete.
    start = std::chrono::steady_clock::now();
    {
      Bitmap bitmap;
      if (bitmap.Create(kWidth, kHeight, 24, 0) == 0 || bitmap.PrepareRows(0, kHeight) == 0) {
        state.SkipWithError("no room for a pixel store");
        break;
      }
      std::memset(bitmap.Bits(), 1, bitmap.DataSize());
      benchmark::DoNotOptimize(bitmap.Bits());
    }
    store.Add(std::chrono::steady_clock::now() - start, 0);
  }
  // All runs must have made the same file, or the comparison means nothing.
  if (state.iterations() > 0 && !state.error_occurred()) {
    const std::vector<uint8_t> written = ReadAll(target);
    if (written != freshOutput || written != reusedOutput || written != interleavedOutput) {
      state.SkipWithError("the runs wrote different files");
    }
  }

  const double runs = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  const auto mean = [&](const Timing& t) { return Milliseconds(t.total) / runs; };
  const auto ratio = [&](const Timing& a, const Timing& b) {
    return Milliseconds(a.total) / std::max(Milliseconds(b.total), 1e-9);
  };
  state.counters["convert_ms"] = mean(convert);
  state.counters["straight_ms"] = mean(fresh);
  state.counters["ratio"] = ratio(convert, fresh);
  state.counters["best_ratio"] =
      Milliseconds(convert.best) / std::max(Milliseconds(fresh.best), 1e-9);
  state.counters["warm_ms"] = mean(reused);
  state.counters["ratio_warm"] = ratio(convert, reused);
  state.counters["interleaved_ms"] = mean(interleaved);
  state.counters["ratio_interleaved"] = ratio(convert, interleaved);
  state.counters["store_ms"] = mean(store);
  state.counters["ratio_beyond_store"] =
      (Milliseconds(convert.total) - Milliseconds(store.total)) / std::max(Milliseconds(reused.total), 1e-9);
  state.counters["convert_heap_KiB"] = static_cast<double>(convert.heapPeak) / 1024.0;
  state.counters["straight_heap_KiB"] = static_cast<double>(fresh.heapPeak) / 1024.0;

  std::free(sourceBytes);
  std::free(warm);
  unlink(source.c_str());
  unlink(target.c_str());
  rmdir(folder);
}

BENCHMARK(BM_ConvertToJpegVsStraightLibjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
