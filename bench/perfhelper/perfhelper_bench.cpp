// Enumerating n processes by position, as the host resources library counts
// and lists them: positions 1, 2, 3, ... until the result is not 0.
//   perfhelper_bench [--processes=N] [benchmark flags]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "agent/perfhelper/lookups.h"
#include "agent/perfhelper/snapshot.h"
#include "win32/timeapi.h"

namespace {

int processCount = 2000;
std::string workDir;

time_t frozenClock() { return 1'700'000'000; }

// A private registry and a fixture of `count` processes.
void prepareEnvironment(int count) {
  char pattern[] = "/tmp/wl-perfhelper-bench-XXXXXX";
  workDir = mkdtemp(pattern);
  setenv("WARDENLINE_REGISTRY", (workDir + "/registry.db").c_str(), 1);
  setenv("WARDENLINE_PERFDATA", (workDir + "/perfdata.json").c_str(), 1);
  wl_set_calendar_source(&frozenClock);
  std::ofstream out(workDir + "/perfdata.json");
  out << R"({"objects":[{"index":230,"name":"Process","counters":[)"
      << R"({"index":784,"name":"ID Process","size":4},)"
      << R"({"index":174,"name":"Virtual Bytes","size":8},)"
      << R"({"index":6,"name":"% Processor Time","size":8}],"instances":[)";
  for (int i = 0; i < count; ++i) {
    out << (i ? "," : "") << R"({"name":"process)" << i << R"(.exe","values":[)" << 1000 + i << ","
        << (i + 1) * 4096 << "," << i * 100000 << "]}";
  }
  out << "]}]}";
}

void enumerate(benchmark::State& state, bool reuseList) {
  perfpeek::Snapshot snapshot;
  char name[257];
  DWORD processId = 0;
  if (perfpeek::refreshSnapshot(&snapshot) != 0) {
    state.SkipWithError("no performance data");
    return;
  }
  int found = 0;
  for (auto _ : state) {
    found = 0;
    while (perfpeek::findInstanceAt(&snapshot, perfpeek::kProcessInstanceType, found + 1, name,
                                    sizeof(name), &processId, reuseList) == 0) {
      ++found;
    }
    benchmark::DoNotOptimize(found);
  }
  if (found != processCount) state.SkipWithError("wrong number of processes");
  state.counters["processes"] = found;
}

void BM_EnumerateRebuildingEveryCall(benchmark::State& state) { enumerate(state, false); }
void BM_EnumerateReusingUnchangedList(benchmark::State& state) { enumerate(state, true); }

BENCHMARK(BM_EnumerateRebuildingEveryCall)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumerateReusingUnchangedList)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--processes=", 12) == 0) processCount = std::atoi(argv[i] + 12);
  }
  prepareEnvironment(processCount);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::system(("rm -rf '" + workDir + "'").c_str());
  return 0;
}
