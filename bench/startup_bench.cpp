// Process start to main window shown, for the real program with the bundled site on loopback.
// Run under an X server:  xvfb-run -a -s "-noreset -screen 0 1280x1024x24" build/bench/startup_bench
// The clock starts before fork and stops when the X server reports the window mapped.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "../tests/app/desktop_session.h"
#include "platform/http_fetch.h"
#include "support/loopback_http_server.h"

namespace {

using namespace std::chrono_literals;

const std::string Title = "澜岳设计ZEPHLORA图片格式转换器1.0版";

std::string MakeProgramFolder() {
  char pattern[] = "/tmp/zephlora-bench-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  std::ifstream in(ZEPHLORA_BENCH_PROGRAM, std::ios::binary);
  std::ofstream out(folder + "/zephlora", std::ios::binary);
  out << in.rdbuf();
  out.close();
  chmod((folder + "/zephlora").c_str(), 0755);
  return folder;
}

int SitePort() {
  const std::string site = ZEPHLORA_SITE;
  const size_t colon = site.rfind(':');
  return colon == std::string::npos ? 80 : std::atoi(site.c_str() + colon + 1);
}

void StartToWindowShown(benchmark::State& state) {
  testsupport::LoopbackHttpServer site(testsupport::LoopbackHttpServer::Folder(ZEPHLORA_BENCH_SITE),
                                       "127.0.0.1", SitePort());
  if (!site.Started()) {
    state.SkipWithError("the site's loopback address is taken");
    return;
  }
  const std::string folder = MakeProgramFolder();
  size_t starts = 0;
  for (auto _ : state) {
    apptest::MapWatcher watcher;
    if (!watcher.Ready()) {
      state.SkipWithError("no X display");
      break;
    }
    const auto begin = std::chrono::steady_clock::now();
    const pid_t pid = apptest::Launch(folder + "/zephlora", "/", folder + "/run.log");
    const unsigned long window = watcher.WaitForMapped(Title, 30s);
    const auto shown = std::chrono::steady_clock::now();
    if (window == 0) {
      apptest::Stop(pid);
      state.SkipWithError("the window did not appear");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(shown - begin).count());
    ++starts;
    apptest::CloseWindow(window);
    if (apptest::WaitForExit(pid, 30s) != 0) state.SkipWithError("the program did not end with 0");
  }
  state.counters["version_requests_per_start"] =
      starts == 0 ? 0.0 : static_cast<double>(site.RequestsFor("/xz.txt").size()) / starts;
  std::system(("rm -rf '" + folder + "'").c_str());
}
BENCHMARK(StartToWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The one round trip the update check adds to start-up.
void VersionRoundTrip(benchmark::State& state) {
  testsupport::LoopbackHttpServer site(testsupport::LoopbackHttpServer::Folder(ZEPHLORA_BENCH_SITE));
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::FetchUrlBytesOverHttp(site.Url() + "/xz.txt"));
  }
}
BENCHMARK(VersionRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  bool privateNetwork = false;
  bool privateMounts = false;
  apptest::Isolate(&privateNetwork, &privateMounts);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
