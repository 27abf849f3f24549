// The system and storage groups and the storage, file-system and partition
// tables over fixture providers: every device list the device table reads is
// named in the fixture (empty unless a test fills it), so nothing comes from
// this machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "agent/hostres/device_table.h"
#include "agent/hostres/filesys_table.h"
#include "agent/hostres/partition_table.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/storage_table.h"
#include "agent/hostres/system_group.h"
#include "agent/testing/agent_environment.h"
#include "win32/timeapi.h"

namespace {

using nlohmann::json;

const wltest::AgentEnvironment environment("hostres-storage-test");

time_t g_t_now = 1'700'000'000;
time_t FakeClock() { return g_t_now; }

std::u16string Text(const CString& text) {
  return std::u16string(static_cast<const WCHAR*>(text), text.GetLength());
}

json Time(int year, int month, int day, int hour) {
  return {{"year", year}, {"month", month}, {"dayOfWeek", 0}, {"day", day},
          {"hour", hour}, {"minute", 0},    {"second", 0},    {"milliseconds", 0}};
}

json Storage(int type, const std::string& label, int harddisk, int partition) {
  return {{"type", type},
          {"description", label + " (ext4)"},
          {"allocationUnits", 4096},
          {"size", 1000},
          {"used", 10},
          {"label", label},
          {"hardDisk", harddisk},
          {"partition", partition}};
}

json FileSystem(int harddisk, int partition) {
  return {{"hardDisk", harddisk}, {"partition", partition}, {"type", 11}, {"access", 1}};
}

json Disk(int harddisk) { return {{"type", 6}, {"media", 3}, {"hardDisk", harddisk}}; }

json Partition(int harddisk, int partition) {
  return {{"hardDisk", harddisk},
          {"partition", partition},
          {"label", "/dev/sd" + std::string(1, static_cast<char>('a' + harddisk - 1)) +
                        std::to_string(partition)},
          {"size", 1024 * partition},
          {"type", 131}};
}

class StorageTablesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("WARDENLINE_PROVIDERS", ProvidersPath().c_str(), 1);
    setenv("WARDENLINE_PERFDATA", (environment.directory() + "/perfdata.json").c_str(), 1);
    wl_set_calendar_source(&FakeClock);
  }
  void SetUp() override {
    providers_ = json::object();
    for (const char* call :
         {"W32GetStorage", "W32GetFileSystem", "W32GetPartition", "W32GetDevice", "W32GetProcessor",
          "W32GetNetwork", "W32GetPrinter", "W32GetDiskStorage", "RegGetScsiDiskStorage",
          "RegGetNonScsiDiskStorage", "RegGetKeyboard", "RegGetDeviceVideo", "RegGetParallelPort",
          "RegGetPointerPort", "RegGetSerialComm"}) {
      providers_[call] = json::array();
    }
    providers_["W32GetSystemTimeZone"] = {{"bias", -60}, {"kind", 2}};
    providers_["W32GetSWInstalledLastChange"] = {{"time", Time(2026, 3, 1, 8)}};
    Write();
    ASSERT_EQ(HRDXInit(), 0u);
  }
  void TearDown() override { HRDXTerminate(); }

  static std::string ProvidersPath() { return environment.directory() + "/providers.json"; }
  void Set(const char* call, json value) {
    providers_[call] = std::move(value);
    Write();
  }
  void Write() const { std::ofstream(ProvidersPath()) << providers_.dump(); }

  json providers_;
};

// --- storage table ---

TEST_F(StorageTablesTest, StorageRowsSkipUnusedRecordsAndKeepIndexesByLabel) {
  CStorageTable table;
  EXPECT_EQ(CStorageTable::hrRefresh(), 0u) << "before hrInit: nothing to rebuild";
  EXPECT_EQ(table.hrGetEntryCount(), 0u);
  DWORD index = 0;
  EXPECT_EQ(table.hrGetNext(index), nullptr);

  json big = {{"type", 4},
              {"description", "/data (xfs /dev/sdb)"},
              {"allocationUnits", 16384},
              {"size", 1220703125},
              {"used", 406901041},
              {"allocationFailures", 7},
              {"label", "/data"},
              {"hardDisk", 2},
              {"partition", 3}};
  Set("W32GetStorage", {Storage(2, "Physical memory", 0, 0), Storage(0, "unused", 0, 0), big});
  ASSERT_EQ(CStorageTable::hrInit(), 0u);
  EXPECT_EQ(table.hrGetEntryCount(), 2u);
  std::vector<DWORD> walk;
  while (table.hrGetNext(index) != nullptr) walk.push_back(index);
  EXPECT_EQ(walk, (std::vector<DWORD>{1, 3})) << "the type-0 record leaves a gap";
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(table.hrGet(0), nullptr);
  EXPECT_EQ(table.hrGet(2), nullptr);

  const CStorageEntry* data = table.hrGet(3);
  ASSERT_NE(data, nullptr);
  DWORD got = 0, units = 0, size = 0, used = 0, failures = 0;
  HRSTORAGETYPE type{};
  CString description;
  data->hrEntryGet(got, type, description, units, size, used, failures);
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(type, HR_STORAGE_FIXED_DISK);
  EXPECT_EQ(Text(description), u"/data (xfs /dev/sdb)");
  EXPECT_EQ(uint64_t{units} * size, 20'000'000'000'000u) << "20 TB, not wrapped";
  EXPECT_EQ(used, 406901041u);
  EXPECT_EQ(failures, 7u);
  EXPECT_EQ(Text(data->StorageLabelGet()), u"/data");
  EXPECT_EQ(data->HarddiskGet(), 2);
  EXPECT_EQ(data->PartitionGet(), 3);

  // The first area goes, a new one comes: "/data" keeps 3, "/new" gets 4
  // (above the old maximum 3 and the new count 2).
  Set("W32GetStorage", {big, Storage(4, "/new", 1, 1)});
  ASSERT_EQ(CStorageTable::hrRefresh(), 0u);
  index = 0;
  walk.clear();
  while (table.hrGetNext(index) != nullptr) walk.push_back(index);
  EXPECT_EQ(walk, (std::vector<DWORD>{3, 4}));
  EXPECT_EQ(Text(table.hrGet(4)->StorageLabelGet()), u"/new");
}

TEST_F(StorageTablesTest, AFailedStorageRebuildKeepsTheOldRowsAndStopsTheChain) {
  Set("W32GetStorage", json::array({Storage(4, "/", 1, 0)}));
  Set("W32GetFileSystem", json::array({FileSystem(1, 0)}));
  CFileSysTable fileSystems;
  ASSERT_EQ(CFileSysTable::hrInit(), 0u) << "builds the storage table on the way";
  CStorageTable storage;
  ASSERT_EQ(storage.hrGetEntryCount(), 1u);

  Set("W32GetStorage", {{"result", -5}});
  Set("W32GetFileSystem", {FileSystem(1, 0), FileSystem(9, 9)});
  EXPECT_EQ(CStorageTable::Refresh(), 1207u);
  EXPECT_EQ(CStorageTable::hrRefresh(), 1207u);
  EXPECT_EQ(CFileSysTable::hrRefresh(), 1207u);
  EXPECT_EQ(storage.hrGetEntryCount(), 1u) << "old rows kept";
  EXPECT_EQ(fileSystems.hrGetEntryCount(), 1u) << "the chain stopped before the file systems";

  HRDXTerminate();
  ASSERT_EQ(HRDXInit(), 0u);
  EXPECT_EQ(CStorageTable::hrInit(), 1206u);
  EXPECT_EQ(g_p_storageList, nullptr);
  EXPECT_EQ(CFileSysTable::hrInit(), 1206u) << "the storage table's failure";
}

TEST_F(StorageTablesTest, AWalkThroughOneObjectSurvivesARebuildThroughAnother) {
  Set("W32GetStorage", {Storage(2, "a", 0, 0), Storage(3, "b", 0, 0), Storage(4, "c", 0, 0)});
  ASSERT_EQ(CStorageTable::hrInit(), 0u);
  CStorageTable walker;
  CStorageTable other = walker;
  DWORD index = 0;
  ASSERT_NE(walker.hrGetNext(index), nullptr);
  ASSERT_NE(walker.hrGetNext(index), nullptr);
  ASSERT_EQ(index, 2u);

  // The walker's cursor stands in the list that this rebuild frees.
  Set("W32GetStorage", {Storage(4, "c", 0, 0), Storage(3, "b", 0, 0), Storage(4, "d", 0, 0)});
  ASSERT_EQ(other.hrRefresh(), 0u);
  const CStorageEntry* next = walker.hrGetNext(index);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(Text(next->StorageLabelGet()), u"d") << "the row after \"b\" in the new list";
  EXPECT_EQ(index, 4u);
  EXPECT_EQ(walker.hrGetNext(index), nullptr);
  EXPECT_EQ(index, 0u);
}

// --- system and storage groups ---

TEST_F(StorageTablesTest, GroupsPassProviderValuesAndMapFailures) {
  DWORD value = 9;
  Set("W32GetMemorySize", {{"bytes", 33554432}});
  EXPECT_EQ(CStorageGroup::hrMemorySizeGet(value), 0u);
  EXPECT_EQ(value, 32768u);
  Set("W32GetMemorySize", {{"bytes", 1ull << 43}});
  EXPECT_EQ(CStorageGroup::hrMemorySizeGet(value), 0u);
  EXPECT_EQ(value, 0xFFFFFFFFu) << "8 TiB saturates instead of wrapping to 0";
  Set("W32GetMemorySize", {{"result", 8}});
  EXPECT_EQ(CStorageGroup::hrMemorySizeGet(value), 0u);
  EXPECT_EQ(value, 0u);

  Set("W32GetSystemUptime", {{"uptime", 123456}});
  Set("W32GetUserCount", {{"users", 3}});
  Set("W32GetSystemTime", {{"time", Time(2026, 12, 7, 14)}});
  EXPECT_EQ(CSystemGroup::hrSystemUptimeGet(value), 0u);
  EXPECT_EQ(value, 123456u);
  EXPECT_EQ(CSystemGroup::hrSystemNumUsersGet(value), 0u);
  EXPECT_EQ(value, 3u);
  SYSTEMTIME date{};
  TIME_ZONE_INFORMATION zone{};
  HRTimeZone kind = 0;
  EXPECT_EQ(CSystemGroup::hrSystemDateGet(date, zone, kind), 0u);
  EXPECT_EQ(date.wYear, 2026);
  EXPECT_EQ(date.wHour, 14);
  EXPECT_EQ(zone.Bias, -60);
  EXPECT_EQ(kind, 2u);

  Set("W32GetSystemUptime", {{"result", 5}});
  Set("W32GetUserCount", {{"result", 5}});
  EXPECT_EQ(CSystemGroup::hrSystemUptimeGet(value), 1201u);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(CSystemGroup::hrSystemNumUsersGet(value), 1203u);
  Set("W32GetSystemTimeZone", {{"result", 5}});
  EXPECT_EQ(CSystemGroup::hrSystemDateGet(date, zone, kind), 1202u);
  Set("W32GetSystemTime", {{"result", 5}});
  EXPECT_EQ(CSystemGroup::hrSystemDateGet(date, zone, kind), 1202u);

  value = 9;
  EXPECT_EQ(CSystemGroup::hrSystemMaxProcessesGet(value), 0u);
  EXPECT_EQ(value, 0u);
  CString parameters(u"kept");
  EXPECT_EQ(CSystemGroup::hrSystemInitialLoadParametersGet(parameters), 0u);
  EXPECT_EQ(Text(parameters), u"kept");
}

TEST_F(StorageTablesTest, ProcessCountIsTheHelpersProcessInstances) {
  json instances = json::array();
  for (int pid = 1; pid <= 40; ++pid) {
    instances.push_back({{"name", "p" + std::to_string(pid)}, {"values", {pid}}});
  }
  json perf = {{"objects",
                {{{"index", 230},
                  {"name", "Process"},
                  {"counters", {{{"index", 784}, {"name", "ID Process"}, {"size", 4}}}},
                  {"instances", instances}}}}};
  std::ofstream(environment.directory() + "/perfdata.json") << perf.dump();
  g_t_now += 1000;  // the helper's data is due again
  // The helper is asked on a thread of its own (see sw_tables_test.cpp).
  DWORD value = 0;
  std::thread([&value] { EXPECT_EQ(CSystemGroup::hrSystemProcessesGet(value), 0u); }).join();
  EXPECT_EQ(value, 40u);
}

// --- file-system table ---

TEST_F(StorageTablesTest, FileSystemsReferToTheirStorageRowByDiskAndPartition) {
  const std::string longLabel = "/" + std::string(80, 'm');
  Set("W32GetStorage", {Storage(2, "Physical memory", 0, 0), Storage(4, "/boot", 1, 1),
                        Storage(4, longLabel, 1, 2), Storage(4, "/boot-again", 1, 1)});
  json full = FileSystem(1, 1);
  full["bootable"] = 1;
  full["lastFullBackup"] = Time(2026, 1, 2, 3);
  // The second (2, 5) is another mount of the same area (a bind mount).
  Set("W32GetFileSystem", {full, FileSystem(2, 5), FileSystem(1, 2), FileSystem(2, 5)});
  CFileSysTable table;
  ASSERT_EQ(CFileSysTable::hrInit(), 0u);
  ASSERT_EQ(table.hrGetEntryCount(), 4u);

  const CFileSysEntry* boot = table.hrGet(1);
  ASSERT_NE(boot, nullptr);
  DWORD index = 0, storage = 0;
  CString mount, remote(u"untouched");
  HRFSTYPES type{};
  HRFSACCESS access{};
  int bootable = 0;
  SYSTEMTIME fullBackup{}, partial{};
  TIME_ZONE_INFORMATION zone{};
  HRTimeZone kind = 0;
  boot->hrEntryGet(index, mount, type, access, storage, remote, bootable, fullBackup, partial, zone,
                   kind);
  EXPECT_EQ(storage, 2u) << "the first storage row on (1, 1)";
  EXPECT_EQ(Text(mount), u"/boot");
  EXPECT_EQ(Text(remote), u"untouched");
  EXPECT_EQ(Text(boot->hrFSRemoteMountPointGet()), u"");
  EXPECT_EQ(type, HR_FS_JOURNALED);
  EXPECT_EQ(access, HR_FS_READ_WRITE);
  EXPECT_EQ(bootable, 1);
  EXPECT_EQ(fullBackup.wDay, 2);
  EXPECT_EQ(partial.wYear, 0);
  EXPECT_EQ(zone.Bias, -60);
  EXPECT_EQ(kind, 2u);

  const CFileSysEntry* orphan = table.hrGet(2);
  ASSERT_NE(orphan, nullptr);
  EXPECT_EQ(orphan->hrFSStorageIndexGet(), 0u) << "no storage row on (2, 5)";
  EXPECT_EQ(Text(orphan->hrFSMountPointGet()), u"");
  EXPECT_EQ(Text(table.hrGet(3)->hrFSMountPointGet()), Text(CString(longLabel.c_str()).Left(65)))
      << "cut to 65 characters";

  WCHAR buffer[66];
  EXPECT_EQ(CFileSysTable::StorageIndexGet(7, 7, buffer), 0u);
  EXPECT_EQ(buffer[0], u'\0');

  // (1, 2) goes: the others keep their indexes, both (2, 5) rows distinct
  // ones, and a new pair gets 5.
  Set("W32GetFileSystem", {FileSystem(2, 5), FileSystem(2, 5), FileSystem(3, 1), FileSystem(1, 1)});
  ASSERT_EQ(CFileSysTable::hrRefresh(), 0u);
  std::vector<DWORD> walk;
  index = 0;
  while (table.hrGetNext(index) != nullptr) walk.push_back(index);
  EXPECT_EQ(walk, (std::vector<DWORD>{2, 4, 5, 1}));

  Set("W32GetFileSystem", {{"result", -1}});
  EXPECT_EQ(CFileSysTable::hrRefresh(), 1214u);
  Set("W32GetFileSystem", json::array());
  Set("W32GetSystemTimeZone", {{"result", 5}});
  EXPECT_EQ(CFileSysTable::Refresh(), 1214u) << "the time zone is part of every row";
  EXPECT_EQ(table.hrGetEntryCount(), 4u);
}

// --- partition table ---

class PartitionTablesTest : public StorageTablesTest {
 protected:
  // Device rows: 1 a network interface, 2.. the disks 1, 2, 3.
  void Build(const json& partitions) {
    Set("W32GetDevice", {{{"type", 4}, {"networkIndex", 1}}, Disk(1), Disk(2), Disk(3)});
    Set("W32GetFileSystem", {FileSystem(2, 1), FileSystem(1, 3)});
    Set("W32GetPartition", partitions);
  }
  std::vector<std::pair<DWORD, DWORD>> Walk(DWORD device, DWORD partition) {
    std::vector<std::pair<DWORD, DWORD>> pairs;
    while (table_.hrGetNext(device, partition) != nullptr) pairs.emplace_back(device, partition);
    EXPECT_EQ(std::make_pair(device, partition), std::make_pair(0u, 0u));
    return pairs;
  }
  CPartitionTable table_;
};

using Pairs = std::vector<std::pair<DWORD, DWORD>>;

TEST_F(PartitionTablesTest, PartitionsReferToDiskDevicesAndFileSystems) {
  Build({Partition(1, 1), Partition(1, 3), Partition(2, 1)});
  ASSERT_EQ(table_.hrInit(), 0u) << "builds storage, file systems and devices first";
  ASSERT_EQ(table_.hrGetEntryCount(), 3u);

  const CPartitionEntry* row = table_.hrGet(2, 3);
  ASSERT_NE(row, nullptr);
  DWORD device = 0, partition = 0, id = 0, size = 0, fs = 0;
  CString label;
  row->hrEntryGet(device, partition, label, id, size, fs);
  EXPECT_EQ(device, 2u) << "the disk device row of hard disk 1";
  EXPECT_EQ(partition, 3u);
  EXPECT_EQ(Text(label), u"/dev/sda3");
  EXPECT_EQ(id, 2u) << "the record's position";
  EXPECT_EQ(size, 3072u);
  EXPECT_EQ(row->hrPartitionTypeGet(), 131u);
  EXPECT_EQ(fs, 2u) << "the file system on (1, 3)";
  EXPECT_EQ(table_.hrGet(2, 1)->hrPartitionFSIndexGet(), 0u) << "no file system on (1, 1)";
  EXPECT_EQ(table_.hrGet(3, 1)->hrPartitionFSIndexGet(), 1u);
  EXPECT_EQ(table_.hrGet(2, 2), nullptr);
  EXPECT_EQ(CPartitionTable::DeviceIndexGet(0), 0u) << "the network row is no disk";

  // A partition on a disk without a device row: the rebuild fails and the
  // old rows stay; a first build fails outright.
  Set("W32GetPartition", {Partition(1, 1), Partition(9, 1)});
  EXPECT_EQ(CPartitionTable::Refresh(), 1211u);
  EXPECT_EQ(table_.hrRefresh(), 1211u);
  EXPECT_EQ(table_.hrGetEntryCount(), 3u);
  HRDXTerminate();
  ASSERT_EQ(HRDXInit(), 0u);
  EXPECT_EQ(table_.hrInit(), 1210u);
  EXPECT_EQ(g_p_partitionList, nullptr);
  EXPECT_NE(g_p_deviceList, nullptr) << "the tables it needs were built";
}

TEST_F(PartitionTablesTest, WalksGoByDeviceThenPartitionAndReachEveryRow) {
  Build({Partition(1, 1), Partition(1, 3), Partition(2, 1), Partition(2, 2)});
  ASSERT_EQ(table_.hrInit(), 0u);
  EXPECT_EQ(Walk(0, 0), (Pairs{{2, 1}, {2, 3}, {3, 1}, {3, 2}}));
  EXPECT_EQ(Walk(2, 3), (Pairs{{3, 1}, {3, 2}}));
  EXPECT_EQ(Walk(1, 7), (Pairs{{2, 1}, {2, 3}, {3, 1}, {3, 2}})) << "below the first row";
  EXPECT_EQ(Walk(2, 2), (Pairs{{2, 3}, {3, 1}, {3, 2}})) << "a pair between rows";

  // (3, 2) without (3, 1), and rows out of order in the list: the walk
  // still reaches each, in pair order.
  Set("W32GetPartition", {Partition(3, 1), Partition(1, 3), Partition(2, 2), Partition(1, 1)});
  HRDXTerminate();
  ASSERT_EQ(HRDXInit(), 0u);
  ASSERT_EQ(table_.hrInit(), 0u);
  EXPECT_EQ(Walk(2, 3), (Pairs{{3, 2}, {4, 1}}));
  EXPECT_EQ(Walk(0, 0), (Pairs{{2, 1}, {2, 3}, {3, 2}, {4, 1}}));
  EXPECT_EQ(Walk(4, 1), Pairs{}) << "the last pair ends the walk";
}

TEST_F(PartitionTablesTest, ARebuildKeepsPartitionIndexesOfPartitionsThatStay) {
  Build({Partition(1, 1), Partition(1, 3)});
  ASSERT_EQ(table_.hrInit(), 0u);
  Set("W32GetPartition", {Partition(1, 3), Partition(1, 5), Partition(2, 1)});
  ASSERT_EQ(table_.hrRefresh(), 0u);
  // (1, 3) keeps 3; the new rows are numbered on from max(3, 3 rows), so
  // disk 2's only partition is 5, not 1, and the walk still reaches it.
  EXPECT_EQ(Walk(0, 0), (Pairs{{2, 3}, {2, 4}, {3, 5}}));
}

TEST_F(PartitionTablesTest, TheChainRebuildsInDependencyOrderAndStopsAtAFailure) {
  Build(json::array({Partition(1, 1)}));
  Set("W32GetStorage", json::array({Storage(4, "/", 1, 1)}));
  ASSERT_EQ(table_.hrInit(), 0u);
  CStorageTable storage;
  const CStorageEntry* before = storage.hrGet(1);

  // Devices fail: from the storage side, storage and file systems are
  // rebuilt first and the partitions are not; from the device side nothing
  // after the devices is.
  Set("W32GetDevice", {{"result", -2}});
  Set("W32GetPartition", {Partition(1, 1), Partition(1, 2)});
  EXPECT_EQ(CDeviceTable::hrRefresh(), 1209u);
  EXPECT_EQ(storage.hrGet(1), before) << "storage not rebuilt after the device failure";
  EXPECT_EQ(table_.hrRefresh(), 1209u);
  EXPECT_NE(storage.hrGet(1), before) << "storage rebuilt before the devices";
  EXPECT_EQ(table_.hrGetEntryCount(), 1u) << "partitions not rebuilt";
}

}  // namespace
