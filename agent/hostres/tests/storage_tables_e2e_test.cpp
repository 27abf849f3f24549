// The storage family on this machine's own providers: every table builds,
// and every reference between them names an existing row or is 0, before
// and after a rebuild from either side of the chain.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "agent/hostres/device_table.h"
#include "agent/hostres/filesys_table.h"
#include "agent/hostres/partition_table.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/storage_table.h"
#include "agent/testing/agent_environment.h"

namespace {

const wltest::AgentEnvironment environment("hostres-storage-e2e-test");

void ExpectReferencesHold() {
  CStorageTable storage;
  CFileSysTable fileSystems;
  CPartitionTable partitions;
  EXPECT_GT(storage.hrGetEntryCount(), 0u) << "physical memory at least";

  DWORD index = 0;
  DWORD referenced = 0;
  while (const CFileSysEntry* fs = fileSystems.hrGetNext(index)) {
    const DWORD target = fs->hrFSStorageIndexGet();
    referenced += target != 0 ? 1 : 0;
    if (target == 0) {
      EXPECT_TRUE(fs->hrFSMountPointGet().IsEmpty());
      continue;
    }
    const CStorageEntry* row = storage.hrGet(target);
    ASSERT_NE(row, nullptr) << "file system " << index << " names storage row " << target;
    EXPECT_EQ(row->HarddiskGet(), fs->HarddiskGet());
    EXPECT_EQ(row->PartitionGet(), fs->PartitionGet());
    EXPECT_EQ(row->StorageLabelGet().Left(CFileSysEntry::kMountPointChars),
              fs->hrFSMountPointGet());
  }

  // The provider lists a file system per mounted storage area, so (mounts
  // coming and going aside) they find each other.
  if (fileSystems.hrGetEntryCount() > 0) {
    EXPECT_GT(referenced, 0u);
  }

  DWORD device = 0;
  DWORD partition = 0;
  DWORD rows = 0;
  while (const CPartitionEntry* part = partitions.hrGetNext(device, partition)) {
    ++rows;
    const CDeviceEntry* disk = CDeviceTable::hrGet(device);
    ASSERT_NE(disk, nullptr) << "partition names device " << device;
    EXPECT_EQ(disk->hrDeviceTypeGet(), HR_DEVICE_DISKSTORAGE);
    EXPECT_EQ(disk->DiskStorageHarddiskGet(), part->HarddiskGet());
    const DWORD fs = part->hrPartitionFSIndexGet();
    if (fs != 0) {
      const CFileSysEntry* row = fileSystems.hrGet(fs);
      ASSERT_NE(row, nullptr) << "partition names file system " << fs;
      EXPECT_EQ(row->HarddiskGet(), part->HarddiskGet());
      EXPECT_EQ(row->PartitionGet(), part->PartitionGet());
    }
  }
  EXPECT_EQ(rows, partitions.hrGetEntryCount()) << "the walk reaches every partition";
}

TEST(StorageFamilyOnThisMachine, TablesBuildAndReferencesNameExistingRows) {
  unsetenv("WARDENLINE_PROVIDERS");
  unsetenv("WARDENLINE_HOST_ROOT");
  ASSERT_EQ(HRDXInit(), 0u);
  CPartitionTable partitions;
  ASSERT_EQ(partitions.hrInit(), 0u) << "builds storage, file systems and devices too";
  ExpectReferencesHold();
  ASSERT_EQ(CStorageTable::hrRefresh(), 0u);
  ExpectReferencesHold();
  ASSERT_EQ(CDeviceTable::hrRefresh(), 0u);
  ExpectReferencesHold();
  HRDXTerminate();
}

}  // namespace
