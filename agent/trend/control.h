// Control records and counter classes: the tables and records every part of
// the trend agent works on, the three lists that own them, and the operations
// that number, order, look up, deprecate and revalidate controls.
//
// Thread safety: the lists and records are guarded by controlSemaphore (see
// agent_state.h); every function here expects the caller to hold it, except
// during start-up before the semaphore is released.
// Ownership: the lists own their records; only freeLists frees them. Records
// are allocated one by one with `new` (std::nothrow where a failure is reported)
// and freed with `delete`.
#pragma once

#include <cstdint>
#include <cstring>

#include "win32/types.h"

namespace trend {

constexpr DWORD kNumClasses = 22;  // class numbers 1..22

// Class table: names by class number; 0 is the place-holder, an empty name
// follows the last class.
extern const char* const kClassNames[kNumClasses + 2];

// Instance group of a class (1..5), 0 for single-instance classes.
int classInstanceGroup(DWORD classId);
// valueType of a class: 1 absolute, 2 delta, 3 average; 0 for an unknown class.
int classValueType(DWORD classId);
// True when the class has one control per instance.
bool classIsMultiInstance(DWORD classId);
// The class number whose name is exactly `name`, or 0.
DWORD classIdByName(const char* name);

// Interval table: seconds for an interval index 1..12, 0 for any other index.
DWORD intervalSeconds(DWORD intervalIndex);

constexpr int kInstanceNameBytes = 268;
constexpr int kMaxInstanceNameLength = 255;

struct ControlConfig {
  DWORD classId = 0;
  DWORD intervalIndex = 0;
  DWORD buckets = 0;
  DWORD risingThreshold = 0;
  DWORD fallingThreshold = 0;
  LONG historyStatus = 0;
  LONG thresholdStatus = 0;
  char thresholdTypeText[16] = {};
  ControlConfig* next = nullptr;
};

// "NT_TREND" and its NUL: the mark of a live control record and the first
// nine bytes of every history file.
inline constexpr char kHistorySignature[9] = "NT_TREND";

struct Control {
  Control() { std::memcpy(signature, kHistorySignature, sizeof signature); }

  char signature[sizeof kHistorySignature];
  DWORD controlIndex = 0;
  LONG controlStatus = 1;  // 1 valid, 2 deprecated
  DWORD classId = 0;
  char instanceName[kInstanceNameBytes] = {};
  DWORD instanceNameLength = 0;
  DWORD intervalIndex = 0;
  DWORD bucketsRequested = 0;
  DWORD bucketsGranted = 0;
  LONG historyStatus = 2;  // 1 kept, 2 off
  LONG valueType = 0;
  LONG diskSizeMB = 0;
  LONG lastSampleValue = -1;
  DWORD refTimeStamp = 0;
  int64_t prevCounter = 0;
  int64_t prevBase = 0;
  int64_t prevReadTime = 0;
  LONG thresholdStatus = 2;  // 1 on, 2 off
  LONG thresholdType = 2;    // 1 rising, 2 falling
  DWORD risingThreshold = 0;
  DWORD fallingThreshold = 0;
  LONG invalidValue = -1;
  DWORD head = 0;
  DWORD tail = 0;
  DWORD sampleIndex = 1;
  DWORD numOfSample = 0;
  LONG eventRaised = 0;
  LONG samplingEnabled = 1;
  LONG headerSaved = 0;
  LONG lastCheckedValue = -1;
  LONG lastCheckedTime = 0;
  Control* next = nullptr;
};

struct ControlIndexEntry {
  DWORD controlIndex = 0;
  Control* control = nullptr;
  ControlIndexEntry* next = nullptr;
};

extern Control* controlList;
extern ControlConfig* configList;
extern ControlIndexEntry* indexList;
extern DWORD nextControlIndex;

void numberControls();
void sortControls();
void buildIndexList();
void insertIndexEntry(ControlIndexEntry* entry);
void insertControlSorted(Control* control);
void appendControl(Control* control);
void deprecateControl(Control* control);
void revalidateControls(int instanceGroup, const char* instanceText);
int instanceState(int instanceGroup, const char* instanceText);
bool hasValidControl(const char* instanceText);
void dumpLists();
void freeLists();

// The control with this number, or null (walks indexList, then controlList).
Control* findControl(DWORD controlIndex);

}  // namespace trend
