// The performance data structures that HKEY_PERFORMANCE_DATA returns, in their
// 32-bit Windows layout (little-endian; pointer fields are 32-bit and unused).
// Blocks come from outside the reader's control: never follow their offsets
// without checking them against the bytes actually returned.
#pragma once

#include "win32/types.h"

#define PERF_NO_INSTANCES (-1)

// Counter type bits and the counter types the system uses (winperf.h values).
#define PERF_SIZE_DWORD 0x00000000u
#define PERF_SIZE_LARGE 0x00000100u
#define PERF_SIZE_ZERO 0x00000200u
#define PERF_SIZE_VARIABLE_LEN 0x00000300u

#define PERF_COUNTER_COUNTER 0x10410400u
#define PERF_COUNTER_TIMER 0x20410500u
#define PERF_COUNTER_QUEUELEN_TYPE 0x00450400u
#define PERF_COUNTER_BULK_COUNT 0x10410500u
#define PERF_COUNTER_RAWCOUNT 0x00010000u
#define PERF_COUNTER_LARGE_RAWCOUNT 0x00010100u
#define PERF_COUNTER_RAWCOUNT_HEX 0x00000000u
#define PERF_COUNTER_LARGE_RAWCOUNT_HEX 0x00000100u
#define PERF_SAMPLE_FRACTION 0x20C20400u
#define PERF_SAMPLE_COUNTER 0x00410400u
#define PERF_SAMPLE_BASE 0x40030401u
#define PERF_RAW_FRACTION 0x20020400u
#define PERF_RAW_BASE 0x40030403u
#define PERF_AVERAGE_TIMER 0x30020400u
#define PERF_AVERAGE_BULK 0x40020500u
#define PERF_AVERAGE_BASE 0x40030402u
#define PERF_100NSEC_TIMER 0x20510500u
#define PERF_100NSEC_TIMER_INV 0x21510500u
#define PERF_ELAPSED_TIME 0x30240500u

#pragma pack(push, 4)
typedef struct _PERF_DATA_BLOCK {
  WCHAR Signature[4];  // "PERF"
  DWORD LittleEndian;
  DWORD Version;
  DWORD Revision;
  DWORD TotalByteLength;
  DWORD HeaderLength;
  DWORD NumObjectTypes;
  LONG DefaultObject;
  SYSTEMTIME SystemTime;
  DWORD Padding;  // the 8-byte alignment of the 64-bit fields that follow
  LARGE_INTEGER PerfTime;
  LARGE_INTEGER PerfFreq;
  LARGE_INTEGER PerfTime100nSec;
  DWORD SystemNameLength;
  DWORD SystemNameOffset;
} PERF_DATA_BLOCK, *PPERF_DATA_BLOCK;

typedef struct _PERF_OBJECT_TYPE {
  DWORD TotalByteLength;
  DWORD DefinitionLength;
  DWORD HeaderLength;
  DWORD ObjectNameTitleIndex;
  DWORD ObjectNameTitle;  // a 32-bit pointer on Windows; unused
  DWORD ObjectHelpTitleIndex;
  DWORD ObjectHelpTitle;  // a 32-bit pointer on Windows; unused
  DWORD DetailLevel;
  DWORD NumCounters;
  LONG DefaultCounter;
  LONG NumInstances;  // PERF_NO_INSTANCES when the object has none
  DWORD CodePage;
  LARGE_INTEGER PerfTime;
  LARGE_INTEGER PerfFreq;
} PERF_OBJECT_TYPE, *PPERF_OBJECT_TYPE;

typedef struct _PERF_COUNTER_DEFINITION {
  DWORD ByteLength;
  DWORD CounterNameTitleIndex;
  DWORD CounterNameTitle;  // a 32-bit pointer on Windows; unused
  DWORD CounterHelpTitleIndex;
  DWORD CounterHelpTitle;  // a 32-bit pointer on Windows; unused
  LONG DefaultScale;
  DWORD DetailLevel;
  DWORD CounterType;
  DWORD CounterSize;
  DWORD CounterOffset;
} PERF_COUNTER_DEFINITION, *PPERF_COUNTER_DEFINITION;

typedef struct _PERF_INSTANCE_DEFINITION {
  DWORD ByteLength;
  DWORD ParentObjectTitleIndex;
  DWORD ParentObjectInstance;
  LONG UniqueID;
  DWORD NameOffset;
  DWORD NameLength;  // bytes, terminator included
} PERF_INSTANCE_DEFINITION, *PPERF_INSTANCE_DEFINITION;

typedef struct _PERF_COUNTER_BLOCK {
  DWORD ByteLength;
} PERF_COUNTER_BLOCK, *PPERF_COUNTER_BLOCK;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(PERF_DATA_BLOCK) == 88, "PERF_DATA_BLOCK layout");
static_assert(sizeof(PERF_OBJECT_TYPE) == 64, "PERF_OBJECT_TYPE layout");
static_assert(sizeof(PERF_COUNTER_DEFINITION) == 40, "PERF_COUNTER_DEFINITION layout");
static_assert(sizeof(PERF_INSTANCE_DEFINITION) == 24, "PERF_INSTANCE_DEFINITION layout");
static_assert(sizeof(PERF_COUNTER_BLOCK) == 4, "PERF_COUNTER_BLOCK layout");
#endif
