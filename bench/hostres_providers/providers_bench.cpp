// One call of W32GetStorage, W32GetDevice and RegGetSoftwareInstalled on
// this machine, records freed after each, as the host resources library makes
// them at every table build. Read the CPU column.
#include <benchmark/benchmark.h>

#include "regprob.h"
#include "winprob.h"

namespace {

struct Handles {
  Handles() {
    W32Register(&win);
    RegRegister(&reg);
  }
  ~Handles() {
    W32Deregister(win);
    RegDeregister(reg);
  }
  WORD win = 0;
  WORD reg = 0;
};

const Handles& TheHandles() {
  static Handles handles;
  return handles;
}

void BM_W32GetStorage(benchmark::State& state) {
  const WORD handle = TheHandles().win;
  int count = 0;
  for (auto _ : state) {
    W32StorageRecord* records = nullptr;
    count = W32GetStorage(handle, 0, &records, nullptr);
    W32FreeResource(handle, records);
  }
  state.counters["records"] = count;
}
BENCHMARK(BM_W32GetStorage)->Unit(benchmark::kMillisecond);

void BM_W32GetDevice(benchmark::State& state) {
  const WORD handle = TheHandles().win;
  int count = 0;
  for (auto _ : state) {
    W32DeviceRecord* records = nullptr;
    count = W32GetDevice(handle, 0, &records, nullptr);
    W32FreeResource(handle, records);
  }
  state.counters["records"] = count;
}
BENCHMARK(BM_W32GetDevice)->Unit(benchmark::kMillisecond);

void BM_RegGetSoftwareInstalled(benchmark::State& state) {
  const WORD handle = TheHandles().reg;
  int count = 0;
  for (auto _ : state) {
    RegSoftwareRecord* records = nullptr;
    count = RegGetSoftwareInstalled(handle, &records, nullptr);
    RegFreeResource(handle, records);
  }
  state.counters["records"] = count;
}
BENCHMARK(BM_RegGetSoftwareInstalled)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
