// CDeviceTable::hrGetNext walks feeding each index back, over a fixture of
// 10,000 devices (every fourth a disk), and CDeviceTable::Refresh of it.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "agent/hostres/device_table.h"
#include "agent/hostres/ridovo_app.h"

namespace {

constexpr int kRows = 10000;

void WriteFixture(const std::string& path) {
  std::ofstream out(path);
  out << R"({"W32GetDevice": [)";
  for (int i = 0; i < kRows; ++i) {
    const bool disk = i % 4 == 3;
    out << (i ? "," : "") << R"({"type": )" << (disk ? 6 : 1) << R"(, "description": "device )" << i
        << R"(", "deviceId": "0.0", "status": 2, "media": )" << (disk ? 3 : 2)
        << R"(, "hardDisk": )" << (disk ? i : 0) << R"(, "signature": )" << i << "}";
  }
  out << "]";
  for (const char* call :
       {"W32GetProcessor", "W32GetNetwork", "W32GetPrinter", "W32GetDiskStorage",
        "RegGetScsiDiskStorage", "RegGetNonScsiDiskStorage", "RegGetKeyboard", "RegGetDeviceVideo",
        "RegGetParallelPort", "RegGetPointerPort", "RegGetSerialComm"}) {
    out << R"(, ")" << call << R"(": [])";
  }
  out << "}";
}

void Walk(benchmark::State& state, HRDEVICETYPE type) {
  CDeviceTable table;
  DWORD rows = 0;
  for (auto _ : state) {
    rows = 0;
    DWORD index = 0;
    while (table.hrGetNext(index, type) != nullptr) ++rows;
    benchmark::DoNotOptimize(index);
  }
  state.counters["rows"] = rows;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  char pattern[] = "/tmp/wl-device-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  WriteFixture(dir + "/providers.json");
  setenv("WARDENLINE_PROVIDERS", (dir + "/providers.json").c_str(), 1);
  if (HRDXInit() != 0 || CDeviceTable::hrInit() != 0) return 1;
  benchmark::RegisterBenchmark("DeviceTableWalk/all10000", [](benchmark::State& state) {
    Walk(state, HR_DEVICE_ALL);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DeviceTableWalk/disks2500of10000", [](benchmark::State& state) {
    Walk(state, HR_DEVICE_DISKSTORAGE);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DeviceTableRefresh/fixture10000", [](benchmark::State& state) {
    for (auto _ : state) {
      if (CDeviceTable::Refresh() != 0) state.SkipWithError("refresh failed");
    }
  })->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  HRDXTerminate();
  std::filesystem::remove_all(dir);
  benchmark::Shutdown();
  return 0;
}
