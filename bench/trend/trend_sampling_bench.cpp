// One sampling pass over N due controls of available memory (class 8), the
// refresh of the eight performance data blocks included, on this machine's
// live data; and the ring and cache part of it alone.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/page_cache.h"
#include "agent/trend/sampling.h"

namespace {

void buildControls(int count) {
  for (int i = count; i >= 1; --i) {
    auto* c = new trend::Control;
    c->controlIndex = static_cast<DWORD>(i);
    c->classId = 8;
    c->intervalIndex = 1;
    c->bucketsRequested = c->bucketsGranted = 1000;
    c->historyStatus = 1;
    c->thresholdStatus = 1;
    c->thresholdType = 1;
    c->risingThreshold = 200;  // never crossed
    c->valueType = 1;
    c->next = trend::controlList;
    trend::controlList = c;
  }
  trend::buildIndexList();
  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    trend::createHistoryFile(c->controlIndex);
  }
}

void BM_SamplingPass(benchmark::State& state) {
  char pattern[] = "/tmp/wl-trend-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("WARDENLINE_REGISTRY", (dir + "/registry.db").c_str(), 1);
  trend::trendDirectory = dir;
  const int count = static_cast<int>(state.range(0));
  buildControls(count);

  LONG flags[trend::kIntervalCount + 1];
  DWORD now = 1800000000;  // a multiple of 5
  for (auto _ : state) {
    now += 5;
    trend::computeDueFlags(now, flags);
    if (trend::samplingPass(flags, now) != count) state.SkipWithError("not every control sampled");
  }
  state.counters["controls"] = count;
  state.counters["cache_bytes_per_control"] =
      static_cast<double>(trend::cachePageBytesForTesting(trend::controlList->controlIndex));

  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    trend::dropControlCache(c->controlIndex);
  }
  trend::freeLists();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SamplingPass)->Arg(1000)->Unit(benchmark::kMillisecond);

// The ring and cache part alone: one stored sample per control.
void BM_StoreOnly(benchmark::State& state) {
  char pattern[] = "/tmp/wl-trend-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("WARDENLINE_REGISTRY", (dir + "/registry.db").c_str(), 1);
  trend::trendDirectory = dir;
  buildControls(static_cast<int>(state.range(0)));
  DWORD now = 1800000000;
  for (auto _ : state) {
    now += 5;
    for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
      trend::storeRingSample(c, 42, now);
    }
  }
  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    trend::dropControlCache(c->controlIndex);
  }
  trend::freeLists();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_StoreOnly)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
