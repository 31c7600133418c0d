// ScanFolder over a tree of 100,000 files in 1,000 folders, beside `find DIR -type f` on the
// same tree in the same run.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "batch/folder_scan.h"

namespace {

const std::string& Tree() {
  static const std::string root = [] {
    char pattern[] = "/tmp/zephlora-scan-bench-XXXXXX";
    std::string dir = mkdtemp(pattern);
    const char* kinds[] = {".jpg", ".bmp", ".gif", ".png", ".txt"};
    // 10 folders at the top, each holding 99 more: 1,000 folders of 100 files each.
    for (int top = 0; top < 10; ++top) {
      const std::string topDir = dir + "/t" + std::to_string(top);
      mkdir(topDir.c_str(), 0755);
      for (int sub = 0; sub < 100; ++sub) {
        const std::string folder = sub == 0 ? topDir : topDir + "/s" + std::to_string(sub);
        if (sub != 0) mkdir(folder.c_str(), 0755);
        for (int f = 0; f < 100; ++f) {
          const std::string path = folder + "/img" + std::to_string(f) + kinds[f % 5];
          if (FILE* file = std::fopen(path.c_str(), "w")) std::fclose(file);
        }
      }
    }
    std::atexit([] { std::system(("rm -rf " + Tree()).c_str()); });
    return dir;
  }();
  return root;
}

void BM_ScanFolder(benchmark::State& state) {
  const std::string& root = Tree();
  size_t count = 0;
  for (auto _ : state) {
    std::vector<std::string> found;
    ScanFolder(root, &found);
    count = found.size();
  }
  state.counters["pictures"] = static_cast<double>(count);
}

void BM_FindTypeF(benchmark::State& state) {
  const std::string command = "find " + Tree() + " -type f > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
  }
}

BENCHMARK(BM_ScanFolder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindTypeF)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
