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

// The counter classes are rows of the shared class table
// (agent/common/counter_classes.h); these read the trend agent's part of it.
// The class name of a class number 0..22 (0 is the place-holder
// "THIS_IS_NOT_A_LEGAL_CLASS"), "" for any other number.
const char* className(DWORD classId);

// Instance group of a class (1..5), 0 for single-instance classes.
int classInstanceGroup(DWORD classId);
// valueType of a class (ValueType); 0 for an unknown class.
int classValueType(DWORD classId);
// True when the class has one control per instance.
bool classIsMultiInstance(DWORD classId);
// The class number whose name is exactly `name`, or 0.
DWORD classIdByName(const char* name);

// Interval table: seconds for an interval index 1..12, 0 for any other index.
DWORD intervalSeconds(DWORD intervalIndex);

// Values of controlStatus.
enum ControlStatus : LONG { kControlValid = 1, kControlDeprecated = 2 };
// Values of historyStatus and thresholdStatus (and of their configuration
// words): kept / watched, or off.
enum OnOffStatus : LONG { kStatusOn = 1, kStatusOff = 2 };
// Values of thresholdType.
enum ThresholdType : LONG { kThresholdRising = 1, kThresholdFalling = 2 };
// Values of valueType: how a class's sample is formed.
enum ValueType : LONG { kValueAbsolute = 1, kValueDelta = 2, kValueAverage = 3 };

// The status fields stay LONG: they are stored in the history header and set
// over SNMP, so they may hold values outside their enumeration.
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
  LONG controlStatus = kControlValid;
  DWORD classId = 0;
  char instanceName[kInstanceNameBytes] = {};
  DWORD instanceNameLength = 0;
  DWORD intervalIndex = 0;
  DWORD bucketsRequested = 0;
  DWORD bucketsGranted = 0;
  LONG historyStatus = kStatusOff;
  LONG valueType = 0;
  LONG diskSizeMB = 0;
  LONG lastSampleValue = -1;
  DWORD refTimeStamp = 0;
  int64_t prevCounter = 0;
  int64_t prevBase = 0;
  int64_t prevReadTime = 0;
  LONG thresholdStatus = kStatusOff;
  LONG thresholdType = kThresholdFalling;
  DWORD risingThreshold = 0;
  DWORD fallingThreshold = 0;
  LONG invalidValue = -1;
  DWORD head = 0;
  DWORD tail = 0;
  DWORD sampleIndex = 1;
  DWORD numOfSample = 0;
  bool eventRaised = false;     // threshold event latched until re-armed
  bool samplingEnabled = true;  // false while the history is being rebuilt
  bool headerSaved = false;     // the file's header matches this record
  // Start-up only: restored from a history file whose header was just read
  // whole, so the file need not be checked again before the agent runs.
  bool historyFileChecked = false;
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
// Adds an entry for every control of controlList to indexList, each after the
// entries of the same or a lower number, and makes the lookup below.
void buildIndexList();
// Links the entry into indexList after the entries of the same or a lower
// number (keeping the lookup below up to date when there is one).
void insertIndexEntry(ControlIndexEntry* entry);

// The lookup of indexList by control number: the entries in list order, in an
// array beside the list. buildIndexList makes it, insertIndexEntry keeps it
// and freeLists drops it. A list linked by hand has none until
// rebuildIndexLookup() (lookups then walk the list from its start); whoever
// links or unlinks entries by hand while there is one calls
// rebuildIndexLookup() or dropIndexLookup() before the next lookup. The
// lookup is used only while the list is in number order and each entry's
// number is its control's; a control keeps its number while it is listed.
void rebuildIndexLookup();
void dropIndexLookup();
// The entry where a walk of indexList for controls numbered `controlIndex` or
// more may start: every entry before it has a lower number (and so has its
// control). indexList itself when there is no usable lookup.
const ControlIndexEntry* indexEntryFrom(DWORD controlIndex);

void insertControlSorted(Control* control);
void appendControl(Control* control);
void deprecateControl(Control* control);
void revalidateControls(int instanceGroup, const char* instanceText);
int instanceState(int instanceGroup, const char* instanceText);
bool hasValidControl(const char* instanceText);
void dumpLists();
void freeLists();

// The control with this number, or null (looks in indexList, then walks
// controlList).
Control* findControl(DWORD controlIndex);

}  // namespace trend
