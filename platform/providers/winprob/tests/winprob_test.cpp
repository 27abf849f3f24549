// libwinprob.so's answers on a laid-out machine and on this one, and the
// rules of its exports: handles, ownership of records, the fixture.
#include "winprob.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>

#include "providers/hostinfo/tests/host_tree.h"
#include "collect.h"
#include "text.h"

namespace wl::winprob {
namespace {

std::string Text(const WCHAR* field, size_t capacity) {
  return host::Utf16ToUtf8(host::WideField(field, capacity));
}

class WinprobMachine : public ::testing::Test {
 protected:
  WinprobMachine() : host(tree.root()) {
    LayOutMachine(tree);
    host.statFs = [this](const std::string& path, host::FsStats* stats) {
      const std::string mountPoint = path.substr(tree.root().size());
      stats->blockSize = 4096;
      if (mountPoint == "/data") {
        stats->blocks = 20'000'000'000'000 / 4096;  // 20 TB, a third used
        stats->freeBlocks = stats->blocks / 3 * 2;
      } else if (mountPoint == "/" || mountPoint == "/srv/nfs" || mountPoint == "/tmp") {
        stats->blocks = 262144;
        stats->freeBlocks = 131072;
      } else {
        return false;  // unmounted between listing and asking
      }
      stats->availBlocks = stats->freeBlocks;
      return true;
    };
  }
  HostTree tree;
  host::Host host;
};

TEST_F(WinprobMachine, StorageAreasAndTheirFileSystems) {
  const std::vector<W32StorageRecord> storage = Storage(host);
  ASSERT_EQ(6u, storage.size());  // memory, swap, /, /data, /srv/nfs, /tmp
  EXPECT_EQ(kStorageRam, storage[0].type);
  // 1 TiB of memory in KB still fits.
  EXPECT_EQ(1073741824ull * 1024, uint64_t{storage[0].allocationUnits} * storage[0].size);
  EXPECT_EQ(kStorageVirtualMemory, storage[1].type);
  EXPECT_EQ("/swap file", Text(storage[1].label, 258));
  EXPECT_EQ(1024u, storage[1].used);

  EXPECT_EQ("/", Text(storage[2].label, 258));
  EXPECT_EQ(1, storage[2].hardDisk);
  EXPECT_EQ(1, storage[2].partition);
  const W32StorageRecord& big = storage[3];
  EXPECT_EQ("/data", Text(big.label, 258));
  EXPECT_EQ(kStorageFixedDisk, big.type);
  EXPECT_LE(big.size, 0x7FFFFFFFu);
  EXPECT_EQ(0u, big.allocationUnits % 4096);
  const double bytes = double(big.allocationUnits) * big.size;
  EXPECT_NEAR(20e12, bytes, 20e12 * 1e-6);
  EXPECT_NEAR(20e12 / 3, double(big.allocationUnits) * big.used, 20e12 * 1e-6);
  EXPECT_EQ(2, big.hardDisk);  // a whole disk without partitions
  EXPECT_EQ(0, big.partition);
  EXPECT_EQ(kStorageNetworkDisk, storage[4].type);
  EXPECT_EQ(0, storage[4].hardDisk);
  EXPECT_NE(0, storage[4].partition);
  EXPECT_EQ(kStorageRamDisk, storage[5].type);
  EXPECT_NE(std::string::npos, Text(storage[5].description, 514).find("tmpfs2"));  // the top one
  EXPECT_NE(storage[4].partition, storage[5].partition);

  const std::vector<W32FileSystemRecord> fileSystems = FileSystems(host);
  ASSERT_EQ(4u, fileSystems.size());
  for (size_t i = 0; i < fileSystems.size(); ++i) {
    EXPECT_EQ(storage[i + 2].hardDisk, fileSystems[i].hardDisk);
    EXPECT_EQ(storage[i + 2].partition, fileSystems[i].partition);
  }
  EXPECT_EQ(23u, fileSystems[0].type);  // ext4
  EXPECT_EQ(1, fileSystems[0].bootable);
  EXPECT_EQ(11u, fileSystems[1].type);  // xfs
  EXPECT_EQ(14u, fileSystems[2].type);  // nfs4

  // The numbers of file systems off any partition stay while their mounts do.
  EXPECT_EQ(storage[4].partition, Storage(host)[4].partition);
}

TEST_F(WinprobMachine, DevicesDisksAndPartitions) {
  const std::vector<W32DeviceRecord> devices = Devices(host);
  ASSERT_EQ(6u, devices.size());  // 2 processors, eth0, sda, sdb, keyboard
  EXPECT_EQ("Processor 1: Test CPU @ 1GHz", Text(devices[1].description, 514));
  EXPECT_EQ(3u, devices[1].firmwareId.length);
  EXPECT_EQ(1u, devices[1].firmwareId.ids[2]);
  EXPECT_EQ(2u, devices[1].deviceId.length);
  EXPECT_EQ(4u, devices[2].type);
  EXPECT_EQ(7, devices[2].networkIndex);
  EXPECT_EQ(6, devices[2].interfaceType);
  EXPECT_EQ(0x07, devices[2].mac[5]);
  EXPECT_EQ(6u, devices[3].type);
  EXPECT_EQ(0x1a2b3c4du, devices[3].signature);
  EXPECT_EQ(1, devices[3].hardDisk);
  EXPECT_EQ(0u, devices[4].signature);  // no partition table
  EXPECT_EQ(13u, devices[5].type);
  EXPECT_EQ(5u, devices[5].status);  // its driver is unbound

  const std::vector<W32ProcessorRecord> processors = Processors(host);
  ASSERT_EQ(2u, processors.size());
  EXPECT_EQ(0, std::memcmp(&processors[1].firmwareId, &devices[1].firmwareId, 84));
  const std::vector<W32NetworkRecord> networks = Networks(host);
  ASSERT_EQ(1u, networks.size());
  EXPECT_EQ(7u, networks[0].interfaceIndex);

  const std::vector<W32DiskStorageRecord> disks = DiskStorage(host);
  ASSERT_EQ(2u, disks.size());
  EXPECT_EQ(1048576u, disks[0].capacity);
  EXPECT_EQ(0x7FFFFFFFu, disks[1].capacity);  // 20 TB in KB saturates
  EXPECT_EQ(3u, disks[1].media);
  const std::vector<W32PartitionRecord> partitions = Partitions(host);
  ASSERT_EQ(1u, partitions.size());
  EXPECT_EQ("/dev/sda1", Text(partitions[0].label, 258));
  EXPECT_EQ(1024u, partitions[0].size);
  EXPECT_EQ(0x83u, partitions[0].type);
  EXPECT_TRUE(Printers(host).empty());  // CUPS is asked only about the machine itself
}

TEST_F(WinprobMachine, SingleValues) {
  DWORD uptime = 0, users = 9;
  ASSERT_TRUE(Uptime(host, &uptime));
  EXPECT_EQ(1234567u, uptime);
  ASSERT_TRUE(UserCount(host, &users));  // no utmp: nobody
  EXPECT_EQ(0u, users);
  ULONGLONG memory = 0;
  ASSERT_TRUE(MemoryBytes(host, &memory));
  EXPECT_EQ(1ull << 40, memory);
  EXPECT_EQ(1024u * 1024 * 1024, memory >> 10);  // hrMemorySize of 1 TiB
}

TEST(WinprobUnits, SizeAlwaysFits31Bits) {
  DWORD units = 0, size = 0, used = 0;
  ChooseUnits(UINT64_MAX, UINT64_MAX, 512, &units, &size, &used);
  EXPECT_LE(size, 0x7FFFFFFFu);
  EXPECT_LE(used, size);
  ChooseUnits(4096, 8192, 0, &units, &size, &used);  // used beyond size, block size 0
  EXPECT_EQ(1u, units);
  EXPECT_EQ(4096u, used);
}

// The exports: handles, ownership, the fixture and this machine.
class WinprobExports : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("WARDENLINE_PROVIDERS");
    unsetenv("WARDENLINE_HOST_ROOT");
    ASSERT_EQ(1, WINPROB_GetSupportedVersions(nullptr));
    ASSERT_EQ(0, W32Register(&handle));
    ASSERT_NE(0, handle);
  }
  void TearDown() override {
    EXPECT_EQ(0, W32Deregister(handle));
    unsetenv("WARDENLINE_PROVIDERS");
    unsetenv("WARDENLINE_HOST_ROOT");
  }
  WORD handle = 0;
};

TEST_F(WinprobExports, LiveMachineAndOwnership) {
  W32StorageRecord* storage = nullptr;
  const int count = W32GetStorage(handle, 0, &storage, nullptr);
  ASSERT_GE(count, 2);  // memory and "/" at least
  bool root = false;
  for (int i = 0; i < count; ++i) root |= Text(storage[i].label, 258) == "/";
  EXPECT_TRUE(root);
  EXPECT_EQ(0, W32FreeResource(handle, storage));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, W32FreeResource(handle, storage));  // not twice
  int local = 0;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, W32FreeResource(handle, &local));  // not ours

  W32DeviceRecord* devices = nullptr;
  EXPECT_EQ(-1, W32GetDevice(static_cast<WORD>(handle + 1), 0, &devices, nullptr));
  EXPECT_EQ(nullptr, devices);
  DWORD uptime = 0;
  EXPECT_EQ(ERROR_INVALID_HANDLE, W32GetSystemUptime(0, &uptime));
  EXPECT_EQ(0, W32GetSystemUptime(handle, &uptime));
  ULONGLONG memory = 0;
  EXPECT_EQ(0, W32GetMemorySize(handle, &memory));
  EXPECT_GT(memory, 0u);
  TIME_ZONE_INFORMATION zone;
  HRTimeZone kind = 99;
  EXPECT_EQ(0, W32GetSystemTimeZone(handle, &zone, &kind));
  EXPECT_LE(kind, 2u);
}

TEST_F(WinprobExports, FixtureReplacesAnswers) {
  HostTree tree;
  const std::string path = tree.root() + "/fixture.json";
  tree.Write("/fixture.json",
             R"({"W32GetStorage": {"result": -3},
                 "W32GetDisk" : 1})");
  setenv("WARDENLINE_PROVIDERS", path.c_str(), 1);
  W32StorageRecord* storage = reinterpret_cast<W32StorageRecord*>(&tree);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(-1, W32GetStorage(handle, 0, &storage, nullptr));  // malformed: every call fails
  const std::string report = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, report.find(path)) << report;
  EXPECT_NE(std::string::npos, report.find("W32GetDisk: is not a provider call")) << report;
  EXPECT_EQ(nullptr, storage);

  tree.Write("/fixture.json",
             R"({"W32GetStorage": {"result": -3},
                 "W32GetNetwork": [{"interfaceIndex": 12, "networkIndex": 3}],
                 "W32GetUserCount": {"users": 4},
                 "W32GetSystemUptime": {"result": 31}})");
  EXPECT_EQ(-3, W32GetStorage(handle, 0, &storage, nullptr));
  EXPECT_EQ(nullptr, storage);
  W32NetworkRecord* networks = nullptr;
  ASSERT_EQ(1, W32GetNetwork(handle, &networks, nullptr));
  EXPECT_EQ(12u, networks[0].interfaceIndex);
  EXPECT_EQ(0, W32FreeResource(handle, networks));
  DWORD value = 0;
  EXPECT_EQ(0, W32GetUserCount(handle, &value));
  EXPECT_EQ(4u, value);
  EXPECT_EQ(31, W32GetSystemUptime(handle, &value));

  // Calls the fixture does not list answer from the machine, here laid out.
  LayOutMachine(tree);
  setenv("WARDENLINE_HOST_ROOT", tree.root().c_str(), 1);
  W32ProcessorRecord* processors = nullptr;
  EXPECT_EQ(2, W32GetProcessor(handle, &processors, nullptr));
  EXPECT_EQ(0, W32FreeResource(handle, processors));
}

}  // namespace
}  // namespace wl::winprob
