// ConvertWithGdiplus of a 12 MP photo-like PNG to each of the five types, beside `gm convert` of
// the same file to the same format (TIFF with LZW, as the stand-in writes it), run as a program in
// the same run. Wall time; the program's time includes its start (a few milliseconds).
#include <benchmark/benchmark.h>
#include <magick/api.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gdiplus.h"
#include "single/gdiplus_converter.h"

extern char** environ;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

std::string folder;

std::string SourcePath() { return folder + "/photo.png"; }

// Smooth gradients with fine noise, many thousand distinct colours, written as PNG.
bool WritePhotoLike(const std::string& path) {
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3);
  uint32_t state = 7;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 29) - 4;
      const int v[3] = {128 + static_cast<int>(100 * std::sin(x * 0.0011)) + noise,
                        128 + static_cast<int>(100 * std::cos(y * 0.0013)) + noise,
                        (x + y) * 255 / (kWidth + kHeight) + noise};
      uint8_t* p = &pixels[(static_cast<size_t>(y) * kWidth + x) * 3];
      for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(v[i] < 0 ? 0 : v[i] > 255 ? 255 : v[i]);
    }
  }
  ExceptionInfo exception;
  GetExceptionInfo(&exception);
  Image* image = ConstituteImage(kWidth, kHeight, "RGB", CharPixel, pixels.data(), &exception);
  DestroyExceptionInfo(&exception);
  if (image == nullptr) return false;
  ImageInfo* info = CloneImageInfo(nullptr);
  std::snprintf(info->filename, sizeof info->filename, "PNG:%s", path.c_str());
  std::snprintf(image->filename, sizeof image->filename, "%s", info->filename);
  const bool ok = WriteImage(info, image) == MagickPass;
  DestroyImageInfo(info);
  DestroyImage(image);
  return ok;
}

const char* const kFormats[] = {"", "BMP", "JPEG", "GIF", "TIFF", "PNG"};

void BM_ConvertWithGdiplus(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const std::string target = folder + "/ours." + kFormats[type];
  for (auto _ : state) {
    if (!ConvertWithGdiplus(SourcePath(), target, type)) {
      state.SkipWithError("conversion failed");
      break;
    }
  }
  state.SetLabel(kFormats[type]);
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void BM_GmConvert(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const std::string target = std::string(kFormats[type]) + ":" + folder + "/gm." + kFormats[type];
  std::vector<std::string> args = {"gm", "convert", SourcePath()};
  if (type == 4) args.insert(args.end(), {"-compress", "LZW"});
  args.push_back(target);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    pid_t child = 0;
    int status = 0;
    if (posix_spawnp(&child, "gm", nullptr, nullptr, argv.data(), environ) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("gm convert failed");
      break;
    }
  }
  state.SetLabel(kFormats[type]);
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

// Ours and gm's one after the other for each format.
void Register() {
  for (int type = 1; type <= 5; ++type) {
    for (auto* function : {BM_ConvertWithGdiplus, BM_GmConvert}) {
      benchmark::RegisterBenchmark(function == BM_GmConvert ? "BM_GmConvert" : "BM_ConvertWithGdiplus",
                                   function)
          ->Arg(type)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Iterations(3);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  uintptr_t token = 0;
  GdiplusStartupInput input{1, nullptr, 0, 0};
  char pattern[] = "/tmp/zephlora-gdiplus-bench-XXXXXX";
  if (GdiplusStartup(&token, &input, nullptr) != Ok || mkdtemp(pattern) == nullptr) return 1;
  folder = pattern;
  int result = 1;
  if (WritePhotoLike(SourcePath())) {
    Register();
    benchmark::RunSpecifiedBenchmarks();
    result = 0;
  } else {
    std::fprintf(stderr, "cannot write the source picture\n");
  }
  for (const char* name : {"photo.png", "ours.BMP", "ours.JPEG", "ours.GIF", "ours.TIFF", "ours.PNG",
                           "gm.BMP", "gm.JPEG", "gm.GIF", "gm.TIFF", "gm.PNG"})
    unlink((folder + "/" + name).c_str());
  rmdir(folder.c_str());
  benchmark::Shutdown();
  return result;
}
