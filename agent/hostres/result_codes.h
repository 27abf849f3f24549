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
