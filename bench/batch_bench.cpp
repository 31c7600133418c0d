// A batch run of 200 pictures of about 2 megapixels (JPEG, PNG and BMP in turn) through the
// handler of 按钮3 on a real window (offscreen toolkit), beside `gm mogrify -format jpg
// -quality 75` on the same files in the same run.
//   build/bench/batch_bench
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/main_window.h"
#include "batch/batch_panel.h"
#include "platform/desktop_services.h"
#include "platform/scripted_services.h"
#include "support/pictures.h"
#include "support/test_support.h"

namespace {

constexpr int Pictures = 200;
constexpr int Width = 1632;  // 1632 x 1224: 2.0 megapixels, 4:3
constexpr int Height = 1224;

// A smooth picture with fine grain, so that the encoders have photo-like work to do.
testpictures::Rgb Photo(int seed) {
  testpictures::Rgb picture = testpictures::Gradient(Width, Height);
  uint32_t state = 2463534242u + static_cast<uint32_t>(seed);
  for (uint8_t& sample : picture.pixels) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    const int grain = static_cast<int>(state % 25) - 12;
    const int value = sample + grain;
    sample = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
  }
  return picture;
}

int CountFiles(const std::string& folder) {
  int count = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

struct Batch {
  std::string root;
  std::string source;
  std::vector<std::string> files;

  Batch() {
    char pattern[] = "/tmp/zephlora-batch-bench-XXXXXX";
    root = mkdtemp(pattern);
    source = root + "/pictures";
    mkdir(source.c_str(), 0755);
    const char* formats[] = {"JPEG", "PNG", "BMP"};
    const char* extensions[] = {".jpg", ".png", ".bmp"};
    // One picture per format, copied: making 200 distinct 2 MP files would take minutes.
    std::vector<std::vector<uint8_t>> made;
    for (int kind = 0; kind < 3; ++kind) {
      const std::string path = root + "/made" + extensions[kind];
      testpictures::WritePicture(Photo(kind), formats[kind], path);
      made.push_back(testsupport::ReadFileBytes(path));
      std::remove(path.c_str());
    }
    for (int i = 0; i < Pictures; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/p%03d%s", i, extensions[i % 3]);
      files.push_back(source + name);
      testsupport::WriteFileBytes(files.back(), made[i % 3]);
    }
  }
  ~Batch() { testsupport::RemoveTree(root); }

  std::string Output(const std::string& name) const {
    const std::string folder = root + "/" + name;
    testsupport::RemoveTree(folder);
    mkdir(folder.c_str(), 0755);
    return folder;
  }
};

const Batch& TheBatch() {
  static const Batch batch;
  return batch;
}

void BM_BatchRun(benchmark::State& state) {
  const Batch& batch = TheBatch();
  app::MainWindow window("http://127.0.0.1:9");
  // The rows as a scan leaves them; a scan would not list the PNG files by their names.
  for (const std::string& path : batch.files) {
    const int row = app::ListAppendRow(window.超级列表框1, path.substr(path.rfind('/') + 1));
    app::ListSetCellText(window.超级列表框1, row, 1, path);
    app::ListSetStateImage(window.超级列表框1, row, 1);
  }
  app::SetEditText(window.编辑框1, batch.source);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string out = batch.Output("engine");
    app::SetEditText(window.编辑框2, out);
    platform::ScriptedServices services;
    services.QueueMessageAnswer(platform::AnswerOk);
    state.ResumeTiming();
    batch::On按钮3Click(window, services);
    if (CountFiles(out) != Pictures) {
      state.SkipWithError("not every picture was converted");
      break;
    }
  }
  state.counters["pictures_per_second"] =
      benchmark::Counter(Pictures, benchmark::Counter::kIsIterationInvariantRate);
}

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_GmMogrify(benchmark::State& state) {
  const Batch& batch = TheBatch();
  // gm runs in a child process, which the benchmark's CPU time does not see.
  const double cpuBefore = ChildrenCpuSeconds();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string out = batch.Output("gm");
    // mogrify puts the output folder before each name as given, so the names are relative.
    const std::string command = "cd " + batch.source + " && gm mogrify -output-directory " + out +
                                " -format jpg -quality 75 *";
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0 || CountFiles(out) != Pictures) {
      state.SkipWithError("gm mogrify failed");
      break;
    }
  }
  state.counters["gm_cpu_seconds"] = benchmark::Counter(
      ChildrenCpuSeconds() - cpuBefore, benchmark::Counter::kAvgIterations);
  state.counters["pictures_per_second"] =
      benchmark::Counter(Pictures, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_BatchRun)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_GmMogrify)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  platform::PrepareToolkit();
  int toolkitArgc = 1;
  QApplication application(toolkitArgc, argv);
  platform::QuietToolkitMessages();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
