#include "agent/hostres/storage_family.h"

#include "agent/hostres/device_table.h"
#include "agent/hostres/filesys_table.h"
#include "agent/hostres/partition_table.h"
#include "agent/hostres/storage_table.h"

DWORD HrStorageFamilyRefresh(HRFAMILYORDER order) {
  using REFRESH = DWORD (*)();
  static constexpr REFRESH kStorageFirst[] = {&CStorageTable::Refresh, &CFileSysTable::Refresh,
                                              &CDeviceTable::Refresh, &CPartitionTable::Refresh};
  static constexpr REFRESH kDeviceFirst[] = {&CDeviceTable::Refresh, &CStorageTable::Refresh,
                                             &CFileSysTable::Refresh, &CPartitionTable::Refresh};
  const REFRESH* steps = order == HR_FAMILY_DEVICE_FIRST ? kDeviceFirst : kStorageFirst;
  for (int i = 0; i < 4; ++i) {
    const DWORD result = steps[i]();
    if (result != 0) return result;
  }
  return 0;
}
