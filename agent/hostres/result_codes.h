// Result codes of the host resources library. Every operation returns 0 for
// success or one of these (the table classes add their own).
#pragma once

#include "win32/types.h"

enum : DWORD {
  HR_RESULT_OK = 0,
  HR_RESULT_NO_MEMORY = 1200,      // allocation of an object, list or entry failed
  HR_RESULT_CONFIG_FILE = 1227,    // configuration file unreadable; watcher thread's end
  HR_RESULT_CONFIG_ABSENT = 1228,  // no configuration file (start-up takes it as success)
  HR_RESULT_MISSING = 1229,        // a required object or argument is missing
  HR_RESULT_SIGNAL = 1230,         // the directory change notification failed
  HR_RESULT_REGISTRY = 1231,       // registry provider registration or install path failed
  HR_RESULT_ERROR_SERVICE = 1232,  // the error service failed to initialise
  HR_RESULT_THREAD = 1233,         // a thread could not be started
  HR_RESULT_VERSION = 1234,        // a provider reports an interface version other than 1
};

// The system group and the storage family (storage, file systems, partitions).
enum : DWORD {
  HR_RESULT_SYSTEM_UPTIME = 1201,        // the system up-time call failed
  HR_RESULT_SYSTEM_DATE = 1202,          // the system date or time zone call failed
  HR_RESULT_SYSTEM_USERS = 1203,         // the user count call failed
  HR_RESULT_STORAGE_PROVIDER = 1205,     // the storage provider call failed
  HR_RESULT_STORAGE_BUILD = 1206,        // building the storage table failed
  HR_RESULT_STORAGE_REFRESH = 1207,      // refreshing the storage table failed
  HR_RESULT_PARTITION_BUILD = 1210,      // building the partition table failed
  HR_RESULT_PARTITION_REFRESH = 1211,    // refreshing the partition table failed
  HR_RESULT_FILESYS_PROVIDER = 1212,     // the file-system provider call failed
  HR_RESULT_FILESYS_BUILD = 1213,        // building the file-system table failed
  HR_RESULT_FILESYS_REFRESH = 1214,      // refreshing the file-system table failed
  HR_RESULT_PARTITION_PROVIDER = 1222,   // the partition provider call failed
  HR_RESULT_PARTITION_NO_DEVICE = 1223,  // a partition's disk has no device row
  HR_RESULT_FILESYS_TIMEZONE = 1226,     // the time-zone call failed (file systems)
};

// The device table.
enum : DWORD {
  HR_RESULT_DEVICE_BUILD = 1208,    // a device provider call failed; building the table failed
  HR_RESULT_DEVICE_REFRESH = 1209,  // refreshing the device table failed
};

// Trace classes: each trace line carries one; the debug mask selects them.
enum : WORD {
  HR_TRACE_LOAD_DETAIL = 0x01,
  HR_TRACE_ENTRY_POINT = 0x02,
  HR_TRACE_THREAD = 0x04,
  HR_TRACE_STEP = 0x08,
  HR_TRACE_TABLE = 0x10,
  HR_TRACE_INIT = 0x20,
  HR_TRACE_OBJECT = 0x40,
  HR_TRACE_DEVICE_NEXT = 0x80,
};
