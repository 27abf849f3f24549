// The storage family's rebuild. The storage, file-system, device and
// partition tables refer to each other's indexes (a file system to its
// storage row, a partition to its disk device and file system), so the
// hrRefresh of any of them rebuilds all four, each table after the ones it
// refers to. The chain stops at the first table whose rebuild fails; that
// table and the ones after it keep their old rows.
//
// A table that was never built (no hrInit yet) is passed over: its Refresh
// does nothing. Not thread safe (see table_list.h).
#pragma once

#include "win32/types.h"

enum HRFAMILYORDER {
  // Storage, file systems, devices, partitions: the storage, file-system and
  // partition tables' hrRefresh.
  HR_FAMILY_STORAGE_FIRST,
  // Devices, storage, file systems, partitions: the device table's hrRefresh.
  HR_FAMILY_DEVICE_FIRST,
};

// Runs each table's Refresh in that order: 0, or the first failing table's
// refresh code (storage 1207, file systems 1214, devices 1209, partitions
// 1211).
DWORD HrStorageFamilyRefresh(HRFAMILYORDER order);
