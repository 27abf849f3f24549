// CStorageTable::hrGetNext over a fixture of 10,000 storage rows and
// CPartitionTable::hrGetNext over 10,000 partitions, each returned index fed
// back (the cursor path: one step per call); CStorageTable::Refresh of the
// 10,000 rows (provider, build and index keeping); and
// CStorageTable::hrRefresh (storage, file systems, devices, partitions) on
// this machine's providers.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "agent/hostres/device_table.h"
#include "agent/hostres/filesys_table.h"
#include "agent/hostres/partition_table.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/storage_table.h"

namespace {

// 10,000 storage rows, and 10,000 partitions of one disk (every list the
// device table reads named, so that nothing comes from this machine).
void WriteFixture(const std::string& path, int rows) {
  std::ofstream out(path);
  out << R"({"W32GetStorage": [)";
  for (int i = 0; i < rows; ++i) {
    out << (i ? "," : "") << R"({"type": 4, "description": "/srv/volume)" << i
        << R"x( (ext4 /dev/sdx)", "allocationUnits": 4096, "size": 1000000, "used": 1000, "label": "/srv/volume)x"
        << i << R"(", "hardDisk": 1, "partition": )" << i + 1 << "}";
  }
  out << R"(], "W32GetPartition": [)";
  for (int i = 0; i < rows; ++i) {
    out << (i ? "," : "") << R"({"hardDisk": 1, "partition": )" << i + 1
        << R"(, "label": "/dev/sdx)" << i + 1 << R"(", "size": 1024})";
  }
  out << R"(], "W32GetDevice": [{"type": 6, "media": 3, "hardDisk": 1}], "W32GetFileSystem": [])";
  for (const char* call :
       {"W32GetProcessor", "W32GetNetwork", "W32GetPrinter", "W32GetDiskStorage",
        "RegGetScsiDiskStorage", "RegGetNonScsiDiskStorage", "RegGetKeyboard", "RegGetDeviceVideo",
        "RegGetParallelPort", "RegGetPointerPort", "RegGetSerialComm"}) {
    out << R"(, ")" << call << R"(": [])";
  }
  out << "}";
}

void WalkFixture(benchmark::State& state) {
  CStorageTable table;
  DWORD rows = 0;
  for (auto _ : state) {
    DWORD index = 0;
    rows = 0;
    while (table.hrGetNext(index) != nullptr) ++rows;
    benchmark::DoNotOptimize(rows);
  }
  state.counters["rows"] = rows;
}

void WalkPartitions(benchmark::State& state) {
  CPartitionTable table;
  DWORD rows = 0;
  for (auto _ : state) {
    DWORD device = 0;
    DWORD partition = 0;
    rows = 0;
    while (table.hrGetNext(device, partition) != nullptr) ++rows;
    benchmark::DoNotOptimize(rows);
  }
  state.counters["rows"] = rows;
}

void RefreshMachine(benchmark::State& state) {
  for (auto _ : state) {
    if (CStorageTable::hrRefresh() != 0) state.SkipWithError("refresh failed");
  }
  state.counters["storage"] = CStorageTable().hrGetEntryCount();
  state.counters["filesystems"] = CFileSysTable().hrGetEntryCount();
  state.counters["devices"] = CDeviceTable().hrGetEntryCount();
  state.counters["partitions"] = CPartitionTable().hrGetEntryCount();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  char pattern[] = "/tmp/wl-storage-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  WriteFixture(dir + "/providers.json", 10000);
  if (HRDXInit() != 0) return 1;

  benchmark::RegisterBenchmark("StorageWalk/fixture10000", [&dir](benchmark::State& state) {
    setenv("WARDENLINE_PROVIDERS", (dir + "/providers.json").c_str(), 1);
    CStorageTable::CleanupTable(g_p_storageList);
    if (CStorageTable::hrInit() != 0) state.SkipWithError("build failed");
    WalkFixture(state);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("StorageRefresh/fixture10000", [&dir](benchmark::State& state) {
    setenv("WARDENLINE_PROVIDERS", (dir + "/providers.json").c_str(), 1);
    if (CStorageTable::hrInit() != 0) state.SkipWithError("build failed");
    for (auto _ : state) {
      if (CStorageTable::Refresh() != 0) state.SkipWithError("refresh failed");
    }
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("PartitionWalk/fixture10000", [&dir](benchmark::State& state) {
    setenv("WARDENLINE_PROVIDERS", (dir + "/providers.json").c_str(), 1);
    HRDXTerminate();
    if (HRDXInit() != 0 || CPartitionTable().hrInit() != 0) state.SkipWithError("build failed");
    WalkPartitions(state);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("StorageFamilyRefresh/machine", [](benchmark::State& state) {
    unsetenv("WARDENLINE_PROVIDERS");
    HRDXTerminate();
    if (HRDXInit() != 0 || CPartitionTable().hrInit() != 0) state.SkipWithError("build failed");
    RefreshMachine(state);
  })->Unit(benchmark::kMillisecond);

  benchmark::RunSpecifiedBenchmarks();
  HRDXTerminate();
  std::filesystem::remove_all(dir);
  benchmark::Shutdown();
  return 0;
}
