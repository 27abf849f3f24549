// The exports of libperfpeek.so, the performance data helper: point queries on
// the performance data for the host resources library. C linkage, undecorated
// names. Results: 0 found; -1 a refresh failed or (value queries) nothing
// matched; -2 the name does not fit the buffer (nothing written); -3 position
// below 1 or beyond the last instance; -4 unknown instance type.
//
// Thread safety: every query waits for the machine-wide semaphore "PERF DLL
// SEMAPHORE", so queries of all threads and processes are serialized. Nothing
// is allocated across this boundary.
#pragma once

#include "win32/types.h"

#define PERFPEEK_API extern "C" __attribute__((visibility("default")))

// Writes 2 to *version; returns 0.
PERFPEEK_API int PERF_GetVersion(int32_t* version);
// Writes 0 to *versions when it is not null; returns 1.
PERFPEEK_API int PERFPEEK_GetSupportedVersions(int32_t* versions);
// The name of the instance at `position` (1 = last in the data) of an instance
// type: 1 Network Interface, 2 PhysicalDisk, 3 LogicalDisk, 4 Processor, 5
// Server Work Queues, 6 Process.
PERFPEEK_API int PERF_GetObjectInstance(int position, int instanceType, char* name,
                                        unsigned bufferSize);
// The raw value of a class's counter (class table 0..28) for an instance name;
// objects without instances ignore the name. 0 or -1.
PERFPEEK_API int PERF_GetObjectCounterValue(const char* instanceName, int32_t ignored, int classId,
                                            int64_t* value);
// The name and process ID of the process at `position`.
PERFPEEK_API int PERF_GetProcessInstance(int position, char* name, unsigned bufferSize,
                                         DWORD* processId);
// "Virtual Bytes" of the process of that name and ID. 0 or -1.
PERFPEEK_API int PERF_GetProcessMemory(const char* processName, DWORD processId, int64_t* value);
// "% Processor Time" of the process of that name and ID. 0 or -1.
PERFPEEK_API int PERF_GetProcessProcessorTime(const char* processName, DWORD processId,
                                              int64_t* value);
