// Run: build/default/bin/perfdata_bench (docs/performance.md has the figures).
// The "WithChildren" cases start that many sleeping child processes for their
// duration, so that the live Process object scans a host of that size; every
// child is killed and reaped before the case returns.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/perf_seam.h"
#include "live_objects.h"
#include "wlperf/block_builder.h"

namespace {

constexpr const char* kMainBlock = "238 2 4 86 236 234 330 1300 230";

class Children {
 public:
  explicit Children(int count) {
    const pid_t parent = getpid();
    for (int k = 0; k < count; ++k) {
      const pid_t child = fork();
      if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(0);
        for (;;) pause();
      }
      if (child < 0) break;
      pids_.push_back(child);
    }
  }
  ~Children() {
    for (pid_t pid : pids_) kill(pid, SIGKILL);
    for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
  }
  size_t size() const { return pids_.size(); }

 private:
  std::vector<pid_t> pids_;
};

size_t CountProcesses() {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    count += !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
  }
  return count;
}

void QueryMainBlock(benchmark::State& state) {
  unsetenv("WARDENLINE_PERFDATA");
  std::vector<BYTE> buffer(1 << 20);
  for (auto _ : state) {
    DWORD size = static_cast<DWORD>(buffer.size());
    LONG result = wl::QueryPerformanceData(kMainBlock, nullptr, buffer.data(), &size);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(size * 2);
      size = static_cast<DWORD>(buffer.size());
      result = wl::QueryPerformanceData(kMainBlock, nullptr, buffer.data(), &size);
    }
    benchmark::DoNotOptimize(result);
  }
}

void BM_MainBlockLive(benchmark::State& state) {
  state.counters["processes"] = static_cast<double>(CountProcesses());
  QueryMainBlock(state);
}
BENCHMARK(BM_MainBlockLive)->Unit(benchmark::kMillisecond);

void BM_MainBlockWithChildren(benchmark::State& state) {
  const Children children(static_cast<int>(state.range(0)));
  const size_t processes = CountProcesses();
  state.counters["processes"] = static_cast<double>(processes);
  QueryMainBlock(state);
  state.counters["per_process"] = benchmark::Counter(
      static_cast<double>(processes),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MainBlockWithChildren)->Arg(2000)->Unit(benchmark::kMillisecond);

// One object at a time, to see where the main block's time goes.
void BM_ObjectLive(benchmark::State& state) {
  unsetenv("WARDENLINE_PERFDATA");
  const std::string name = std::to_string(state.range(0));
  std::vector<BYTE> buffer(1 << 20);
  for (auto _ : state) {
    DWORD size = static_cast<DWORD>(buffer.size());
    benchmark::DoNotOptimize(wl::QueryPerformanceData(name.c_str(), nullptr, buffer.data(), &size));
  }
}
BENCHMARK(BM_ObjectLive)
    ->Arg(238)
    ->Arg(2)
    ->Arg(4)
    ->Arg(236)
    ->Arg(234)
    ->Arg(230)
    ->Arg(510)
    ->Unit(benchmark::kMicrosecond);

// The process scan alone over a directory of 2,000 copies of a stat line: the
// parsing and layout cost without the kernel's cost of producing the text.
void BM_ProcessScanSynthetic(benchmark::State& state) {
  std::string pattern = (std::filesystem::temp_directory_path() / "wlperf-bench-XXXXXX").string();
  const std::string root = mkdtemp(pattern.data());
  const int count = static_cast<int>(state.range(0));
  for (int pid = 1; pid <= count; ++pid) {
    std::filesystem::create_directory(root + "/" + std::to_string(pid));
    std::ofstream(root + "/" + std::to_string(pid) + "/stat")
        << pid
        << " (worker process) S 1 1 1 0 -1 4194560 2405 0 12 0 310 120 0 0 20 0 4 0 1500 "
           "228376576 3200 18446744073709551615 1 1 0 0 0 0 0 4096 17663 0 0 0 17 1 0 0 0 0 0\n";
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(wl::perf::ProcessObject(root, 100, 4096));
  }
  state.SetItemsProcessed(state.iterations() * count);
  std::filesystem::remove_all(root);
}
BENCHMARK(BM_ProcessScanSynthetic)->Arg(2000)->Unit(benchmark::kMillisecond);

// Laying out a Process object of 2,000 instances and ten counters.
void BM_BuildProcessBlock(benchmark::State& state) {
  std::vector<wlperf::CounterSpec> counters(10, {1, PERF_COUNTER_RAWCOUNT, 4});
  counters[0] = {6, PERF_100NSEC_TIMER, 8};
  std::vector<wlperf::InstanceSpec> instances;
  for (int k = 0; k < state.range(0); ++k) {
    instances.push_back({"process" + std::to_string(k), std::vector<int64_t>(10, k)});
  }
  wlperf::BlockSpec spec;
  spec.objects = {wlperf::InstanceObject(230, counters, instances)};
  for (auto _ : state) benchmark::DoNotOptimize(wlperf::BuildBlock(spec));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildProcessBlock)->Arg(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
