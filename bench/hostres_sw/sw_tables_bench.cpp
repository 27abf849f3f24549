// CSWRunTable::hrRefresh (all three tables) on this machine's providers and
// performance data, and on a fixture of 2,000 processes against 2,000
// installed rows where half the names match a row near the end.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/sw_run.h"
#include "win32/timeapi.h"

namespace {

time_t g_t_now = 1'700'000'000;
time_t FakeClock() { return g_t_now; }

void Refresh(benchmark::State& state) {
  for (auto _ : state) {
    g_t_now += 1000;  // the helper reads its data afresh every time
    if (CSWRunTable::hrRefresh() != 0) state.SkipWithError("refresh failed");
  }
  CSWRunTable run;
  CSWInstalledTable installed;
  state.counters["processes"] = run.hrGetEntryCount();
  state.counters["installed"] = installed.hrGetEntryCount();
}

void WriteFixture(const std::string& dir, int processes, int rows) {
  std::ofstream providers(dir + "/providers.json");
  providers << R"({"W32GetSystemTimeZone": {"bias": 0, "kind": 0}, "RegGetSoftwareInstalled": [)";
  for (int i = 0; i < rows; ++i) {
    providers << (i ? "," : "") << R"({"kind": 1, "name": "unit)" << i
              << R"(.service", "pathName": "/usr/lib/pkg)" << i
              << R"(/daemon", "command": "/usr/lib/pkg)" << i << R"(/daemon --config /etc/pkg)" << i
              << R"(.conf", "type": 3})";
  }
  providers << "]}";
  std::ofstream perf(dir + "/perfdata.json");
  perf
      << R"({"objects": [{"index": 230, "name": "Process", "counters": [)"
      << R"({"index": 784, "size": 4}, {"index": 174, "size": 8}, {"index": 6, "size": 8}], "instances": [)";
  for (int i = 0; i < processes; ++i) {
    // Even processes name a row of the last fifth; odd ones match nothing.
    const std::string name = i % 2 == 0
                                 ? "pkg" + std::to_string(rows - 1 - (i % (rows / 5))) + "/daemon"
                                 : "worker" + std::to_string(i);
    perf << (i ? "," : "") << R"({"name": ")" << name << R"(", "values": [)" << i + 1
         << ", 1048576, 5000000]}";
  }
  perf << "]}]}";
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  wl_set_calendar_source(&FakeClock);
  if (HRDXInit() != 0) return 1;
  char pattern[] = "/tmp/wl-sw-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  WriteFixture(dir, 2000, 2000);
  benchmark::RegisterBenchmark("SwTablesRefresh/machine", [](benchmark::State& state) {
    unsetenv("WARDENLINE_PROVIDERS");
    unsetenv("WARDENLINE_PERFDATA");
    Refresh(state);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("SwTablesRefresh/fixture2000x2000", [&dir](benchmark::State& state) {
    setenv("WARDENLINE_PROVIDERS", (dir + "/providers.json").c_str(), 1);
    setenv("WARDENLINE_PERFDATA", (dir + "/perfdata.json").c_str(), 1);
    Refresh(state);
  })->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  HRDXTerminate();
  std::filesystem::remove_all(dir);
  benchmark::Shutdown();
  std::fflush(nullptr);
  // The performance helper's unload waits on platform state that the
  // process exit has already torn down on this thread; leave without it.
  _exit(0);
}
