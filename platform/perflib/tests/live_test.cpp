#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/perf_seam.h"
#include "drive_map.h"
#include "live_objects.h"
#include "live_source.h"
#include "name_table.h"
#include "test_support.h"
#include "title_indexes.h"
#include "win32/files.h"
#include "win32/registry.h"
#include "wlperf/block_reader.h"

namespace {

using namespace wl::perf;

std::vector<std::string> InstanceNames(const wlperf::ObjectSpec& object) {
  std::vector<std::string> names;
  for (const auto& instance : object.instances) names.push_back(instance.name);
  return names;
}

TEST(PerfLiveParsing, ProcessorsAreTheNumberedCpuLinesWithIdleIn100ns) {
  const char* stat =
      "cpu  10 0 20 3000 5 0 1 0 0 0\n"
      "cpu0 4 1 10 1000 2 3 4 0 0 0\n"
      "cpu1 6 0 10 2000 3 0 0 0 0 0\n"
      "intr 12345\nctxt 777\n";
  const wlperf::ObjectSpec object = ProcessorObject(stat, 100);
  EXPECT_EQ(object.index, title::kProcessor);
  EXPECT_EQ(InstanceNames(object), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(object.counters[0].type, PERF_100NSEC_TIMER_INV);
  EXPECT_EQ(object.counters[0].size, 8u);
  // idle + iowait ticks of 10 ms each, in 100 ns units
  EXPECT_EQ(object.instances[0].values[0], 1002 * 100000LL);
  EXPECT_EQ(object.instances[0].values[1], 5 * 100000LL);   // user + nice
  EXPECT_EQ(object.instances[0].values[2], 17 * 100000LL);  // system + irq + softirq
}

TEST(PerfLiveParsing, WholeDisksOnlyAndSystemSumsThem) {
  perftest::TempDir sys;
  mkdir(sys.Path("block").c_str(), 0755);
  for (const char* dir : {"block/vda", "block/vda/device", "block/loop0", "block/cciss!c0d0",
                          "block/cciss!c0d0/device"}) {
    ASSERT_EQ(mkdir(sys.Path(dir).c_str(), 0755), 0) << dir;
  }
  const char* diskstats =
      "   7       0 loop0 9 0 9 9 9 0 9 9 0 9 9\n"
      " 254       0 vda 100 7 2000 300 50 6 1000 200 2 500 600\n"
      " 254       1 vda1 90 0 1800 250 40 0 800 150 0 400 500\n"
      " 104       0 cciss/c0d0 1 0 8 4 2 0 16 6 0 10 10\n";
  const std::vector<DiskRecord> disks = ParseDiskStats(diskstats, sys.path());
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].name, "vda");
  EXPECT_EQ(disks[1].name, "cciss/c0d0");

  const wlperf::ObjectSpec physical = PhysicalDiskObject(disks);
  const auto& vda = physical.instances[0].values;
  EXPECT_EQ(vda[0], 2);    // in flight
  EXPECT_EQ(vda[1], 500);  // request milliseconds, the live timer unit
  EXPECT_EQ(vda[2], 150);  // its base: transfers
  EXPECT_EQ(physical.counters[1].type, PERF_AVERAGE_TIMER);
  EXPECT_EQ(physical.counters[2].type, PERF_AVERAGE_BASE);
  EXPECT_EQ(vda[7], 2000 * 512);

  const wlperf::ObjectSpec system = SystemObject(disks, "cpu 1 2\nctxt 4242\n");
  EXPECT_FALSE(system.hasInstances);
  EXPECT_EQ(system.values[0], 101);               // reads
  EXPECT_EQ(system.values[1], 52);                // writes
  EXPECT_EQ(system.values[2], (2000 + 8) * 512);  // bytes read
  EXPECT_EQ(system.values[3], (1000 + 16) * 512);
  EXPECT_EQ(system.values[4], 4242);
}

TEST(PerfLiveParsing, NetworkInterfacesFromNetDev) {
  const char* netDev =
      "Inter-|   Receive                                                |  Transmit\n"
      " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
      "drop fifo colls carrier compressed\n"
      "    lo:    3267      29    0    0    0     0          0         0     3267      29    0    "
      "0    0     0       0          0\n"
      "  eth0: 25683940     731    1    2    0     0          0         0    36688     444    3    "
      "4    0     0       0          0\n";
  const wlperf::ObjectSpec object = NetworkInterfaceObject(netDev);
  EXPECT_EQ(InstanceNames(object), (std::vector<std::string>{"lo", "eth0"}));
  const auto& eth0 = object.instances[1].values;
  EXPECT_EQ(eth0[0], 25683940 + 36688);
  EXPECT_EQ(eth0[2], 731);
  EXPECT_EQ(eth0[3], 444);
  EXPECT_EQ(eth0[4], 25683940);
  EXPECT_EQ(eth0[5], 36688);
  EXPECT_EQ(eth0[6], 2);
  EXPECT_EQ(eth0[9], 3);
}

TEST(PerfLiveParsing, ProcessStatWithAwkwardNamesAndShortLines) {
  ProcessRecord process;
  ASSERT_TRUE(ParseProcessStat(
      "42 (a) (b c) S 7 42 42 0 -1 4194560 11 0 2 0 30 20 0 0 20 -5 3 0 100 8192000 250 "
      "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 0 0 0 0 0 0\n",
      &process));
  EXPECT_EQ(process.pid, 42u);
  EXPECT_EQ(process.name, "a) (b c");
  EXPECT_EQ(process.parentPid, 7u);
  EXPECT_EQ(process.minorFaults, 11u);
  EXPECT_EQ(process.majorFaults, 2u);
  EXPECT_EQ(process.userTicks, 30u);
  EXPECT_EQ(process.systemTicks, 20u);
  EXPECT_EQ(process.nice, -5);
  EXPECT_EQ(process.threads, 3u);
  EXPECT_EQ(process.virtualBytes, 8192000u);
  EXPECT_EQ(process.residentPages, 250u);
  EXPECT_FALSE(ParseProcessStat("42 (cut) S 1 2 3", &process));
  EXPECT_FALSE(ParseProcessStat("no parentheses", &process));
  EXPECT_FALSE(ParseProcessStat("", &process));
}

TEST(PerfLiveParsing, ProcessObjectFromAProcDirectory) {
  perftest::TempDir proc;
  const std::string tail = " 20 0 1 0 100 5000000000 10 0\n";
  perftest::WriteFile(proc.Path("1/stat"), "1 (init) S 0 1 1 0 -1 0 5 0 1 0 100 50 0 0" + tail);
  perftest::WriteFile(proc.Path("300/stat"), "300 (worker) S 1 1 1 0 -1 0 0 0 0 0 7 3 0 0" + tail);
  perftest::WriteFile(proc.Path("self/stat"), "999 (self) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0" + tail);
  mkdir(proc.Path("77").c_str(), 0755);  // a process that went away: no stat
  perftest::WriteFile(proc.Path("88/stat"), "garbage");

  wlperf::ObjectSpec object = ProcessObject(proc.path(), 100, 4096);
  std::sort(object.instances.begin(), object.instances.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(InstanceNames(object), (std::vector<std::string>{"init", "worker"}));
  const auto& init = object.instances[0].values;
  EXPECT_EQ(init[0], 150 * 100000LL);  // user + system ticks in 100 ns
  EXPECT_EQ(init[3], 5000000000LL);    // 5 GB of address space: a 64-bit counter
  EXPECT_EQ(init[4], 10 * 4096);
  EXPECT_EQ(init[5], 6);                        // minor + major faults
  EXPECT_EQ(init[8], 1);                        // ID Process
  EXPECT_EQ(object.instances[1].values[9], 1);  // Creating Process ID
}

TEST(PerfLiveParsing, LogicalDisksInUnitsOfAThousandKilobytesWithTotal) {
  const std::vector<VolumeRecord> volumes = {{"C:", 8589934592, 2147483648, 1},
                                             {"D:", 8589934592, 2147483648, 1},
                                             {"E:", 1024000 * 10, 1024000 * 4, 2}};
  const wlperf::ObjectSpec object = LogicalDiskObject(volumes);
  EXPECT_EQ(InstanceNames(object), (std::vector<std::string>{"C:", "D:", "E:", "_Total"}));
  EXPECT_EQ(object.instances[0].values[0], 2097);  // free
  EXPECT_EQ(object.instances[0].values[1], 8388);  // total: the agent's diskSizeMB
  EXPECT_EQ(object.instances[0].values[2], 2048);  // free megabytes
  // D: shares C:'s file system and counts once in the total
  EXPECT_EQ(object.instances[3].values[1], (8589934592 + 10240000) / 1024000);
}

std::vector<BYTE> Query(const char* name) {
  std::vector<BYTE> buffer(12288);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG result = wl::QueryPerformanceData(name, nullptr, buffer.data(), &size);
    if (result == ERROR_SUCCESS) {
      buffer.resize(size);
      return buffer;
    }
    EXPECT_EQ(result, ERROR_MORE_DATA);
    if (result != ERROR_MORE_DATA) return {};
    buffer.resize(buffer.size() + 4096);
  }
}

wlperf::DecodedBlock Decode(const std::vector<BYTE>& bytes) {
  wlperf::DecodedBlock block;
  std::string error;
  EXPECT_TRUE(wlperf::DecodeBlock(bytes.data(), bytes.size(), &block, &error)) << error;
  return block;
}

class PerfLiveHost : public testing::Test {
 protected:
  void SetUp() override { unsetenv("WARDENLINE_PERFDATA"); }
};

// The idle counter only grows while some processor idles, which a loaded build
// machine may not do; the processors' accounted time always grows.
TEST_F(PerfLiveHost, OneProcessorInstancePerCpuWithTimersThatAdvance) {
  std::string stat;
  ASSERT_TRUE(perftest::kPrivateRegistry);
  size_t cpus = 0;
  {
    std::ifstream in("/proc/stat");
    std::string line;
    while (std::getline(in, line))
      cpus += line.size() > 3 && line.compare(0, 3, "cpu") == 0 && isdigit(line[3]);
  }
  const wlperf::DecodedBlock first = Decode(Query("238"));
  ASSERT_EQ(first.objects.size(), 1u);
  ASSERT_EQ(first.objects[0].instances.size(), cpus);
  for (size_t i = 0; i < cpus; ++i) {
    EXPECT_EQ(first.objects[0].instances[i].name, wlperf::Utf8ToUtf16(std::to_string(i)));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const wlperf::DecodedBlock second = Decode(Query("238"));
  int64_t before = 0, after = 0;
  for (size_t i = 0; i < cpus; ++i) {
    const auto& old = first.objects[0].instances[i].values;
    const auto& now = second.objects[0].instances[i].values;
    EXPECT_GE(*now[0], *old[0]) << "idle time of processor " << i;
    before += *old[0] + *old[1] + *old[2];
    after += *now[0] + *now[1] + *now[2];
  }
  EXPECT_GT(after, before);
  EXPECT_EQ(second.perfFreq, kLivePerfFreq);
  EXPECT_GE(second.perfTime, first.perfTime + 300 * kLivePerfFreq / 1000);
}

TEST_F(PerfLiveHost, MainBlockHoldsWhatThisHostHasAndNamesResolve) {
  const wlperf::DecodedBlock block = Decode(Query("238 2 4 86 236 234 330 1300 230"));
  std::vector<DWORD> indexes;
  for (const auto& object : block.objects) indexes.push_back(object.index);
  EXPECT_EQ(indexes, (std::vector<DWORD>{238, 2, 4, 236, 234, 230}));
  const NameTable& names = BuiltinNames();
  for (const auto& object : Decode(Query("Global")).objects) {
    EXPECT_TRUE(names.count(object.index)) << object.index;
    for (const auto& counter : object.counters) EXPECT_TRUE(names.count(counter.index));
  }
  const auto& process = block.objects.back();
  size_t idColumn = 0;
  while (process.counters[idColumn].index != title::kIdProcess) ++idColumn;
  const auto self = std::find_if(process.instances.begin(), process.instances.end(),
                                 [&](const auto& i) { return i.values[idColumn] == getpid(); });
  ASSERT_NE(self, process.instances.end());
  EXPECT_EQ(wlperf::Utf16ToUtf8(self->name), std::string("perflib_test").substr(0, 15));
}

TEST_F(PerfLiveHost, DriveLettersFollowTheDosDevicesKey) {
  perftest::TempDir drive;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\DOS Devices", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::string directory = drive.path();
  ASSERT_EQ(RegSetValueExA(key, "d:", 0, REG_SZ, reinterpret_cast<const BYTE*>(directory.c_str()),
                           static_cast<DWORD>(directory.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const DriveList drives = DosDeviceDrives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0], (std::pair<std::string, std::string>{"C:", "/"}));
  EXPECT_EQ(drives[1], (std::pair<std::string, std::string>{"D:", directory}));

  const wlperf::DecodedBlock block = Decode(Query("236"));
  ASSERT_EQ(block.objects.size(), 1u);
  std::vector<std::string> names;
  for (const auto& instance : block.objects[0].instances) {
    names.push_back(wlperf::Utf16ToUtf8(instance.name));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"C:", "D:", "_Total"}));
  DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &freeClusters, &clusters));
  const uint64_t diskSizeMB = uint64_t{clusters} * sectors * bytes / 1024000;
  EXPECT_EQ(*block.objects[0].instances[0].values[1], static_cast<int64_t>(diskSizeMB));
}

}  // namespace
