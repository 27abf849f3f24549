#include "agent/trend/perf_acquisition.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "agent/common/counter_classes.h"
#include "agent/common/counter_names.h"
#include "agent/common/instance_table.h"
#include "agent/common/perf_walk.h"
#include "agent/trend/output.h"
#include "win32/memory.h"
#include "win32/timeapi.h"

namespace trend {
namespace {

using perfwalk::InstanceMatch;

// The trend agent's blocks start at 12,288 bytes and grow by 4,096; names are
// reloaded at most every ten minutes; messages go to the trace log.
const perfwalk::WalkProfile kTrendWalk{12288, 4096, 600, &traceLog};

enum BlockSlot {
  kNetworkBlock,
  kProcessorBlock,
  kSystemBlock,
  kCacheBlock,
  kLogicalDiskBlock,
  kPhysicalDiskBlock,
  kServerBlock,
  kWorkQueueBlock,
  kBlockCount,
  kNoBlock = kBlockCount,
};
// The blocks by slot, in query order: the value name queried and the object
// the block holds.
struct BlockQuery {
  const char* valueName;
  const char* objectName;
};
constexpr BlockQuery kBlockQueries[kBlockCount] = {
    {"510", "Network Interface"},
    {"238", "Processor"},
    {"2", "System"},
    {"86", "Cache"},
    {"236", "LogicalDisk"},
    {"234", "PhysicalDisk"},
    {"330", "Server"},
    {"1300", "Server Work Queues"},
};

perfwalk::CounterNameTable counterNames;
perfwalk::PerfBlock blocks[kBlockCount];
// Each block's object with its instance names converted, resolved on the
// first reading after a refresh and shared by every control of the pass.
perfwalk::InstanceTable instanceTables[kBlockCount];

void clearInstanceTables() {
  for (perfwalk::InstanceTable& table : instanceTables) table.clear();
}

// The slot's resolved table; null when it could not be built (out of memory):
// the reading then walks the block itself.
const perfwalk::InstanceTable* instanceTable(BlockSlot slot) {
  perfwalk::InstanceTable& table = instanceTables[slot];
  if (!table.resolved() && blocks[slot].present()) {
    table.resolve(perfwalk::BlockView(blocks[slot]), counterNames, kBlockQueries[slot].objectName);
  }
  return table.resolved() ? &table : nullptr;
}

// The block holding a trend class's object; none for an unknown class or one
// whose object no block holds ("Memory").
BlockSlot blockOfClass(DWORD classId) {
  if (classId < 1 || classId > kNumClasses) return kNoBlock;
  const char* objectName = perfwalk::counterClass(static_cast<int>(classId))->objectName;
  for (int slot = 0; slot < kBlockCount; ++slot) {
    if (std::strcmp(kBlockQueries[slot].objectName, objectName) == 0) {
      return static_cast<BlockSlot>(slot);
    }
  }
  return kNoBlock;
}

bool readCounter(const Control* control, int64_t* value) {
  BlockSlot slot = blockOfClass(control->classId);
  if (slot == kNoBlock) return false;
  const int classId = static_cast<int>(control->classId);
  if (const perfwalk::InstanceTable* table = instanceTable(slot)) {
    return perfwalk::findCounterValue(counterNames, classId, control->instanceName, blocks[slot],
                                      InstanceMatch::kObjectNamePrefix, *table, value) == 0;
  }
  return perfwalk::findCounterValue(counterNames, classId, control->instanceName, blocks[slot],
                                    InstanceMatch::kObjectNamePrefix, value) == 0;
}

bool readBase(const Control* control, int64_t* value) {
  BlockSlot slot = blockOfClass(control->classId);
  if (slot == kNoBlock) return false;
  const int classId = static_cast<int>(control->classId);
  if (const perfwalk::InstanceTable* table = instanceTable(slot)) {
    return perfwalk::findBaseValue(counterNames, classId, control->instanceName, blocks[slot],
                                   InstanceMatch::kObjectNamePrefix, *table, value) == 0;
  }
  return perfwalk::findBaseValue(counterNames, classId, control->instanceName, blocks[slot],
                                 InstanceMatch::kObjectNamePrefix, value) == 0;
}

// 64-bit difference with wrap-around, as the raw counters are subtracted.
int64_t difference(int64_t later, int64_t earlier) {
  return static_cast<int64_t>(static_cast<uint64_t>(later) - static_cast<uint64_t>(earlier));
}

// Floating point to the 32-bit sample, truncating toward zero. Values outside
// the 32-bit range (and NaN) give 0x80000000, as the processor's conversion
// does.
LONG truncateToLong(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<LONG>(value);
}

Sample valid(LONG value) { return Sample{value, false}; }

Sample deltaSample(Control* control, int64_t raw, int64_t now) {
  int64_t oldCounter = control->prevCounter;
  int64_t oldReadTime = control->prevReadTime;
  control->prevCounter = raw;
  control->prevReadTime = now;
  if (oldReadTime == 0) return valid(-1);
  return valid(static_cast<LONG>(static_cast<uint32_t>(difference(raw, oldCounter))));
}

// The delta of a counter read as is (kBytes false) or divided by 1024 first.
Sample deltaClass(Control* control, bool kBytes, int64_t now) {
  int64_t raw = 0;
  if (!readCounter(control, &raw)) return valid(-1);
  if (kBytes) raw /= 1024;
  return deltaSample(control, raw, now);
}

// Classes whose sample is the counter's low 32 bits; a failed reading is
// invalid.
Sample absoluteClass(Control* control) {
  int64_t raw = 0;
  if (!readCounter(control, &raw)) return Sample{-1, true};
  return valid(static_cast<LONG>(static_cast<uint32_t>(raw)));
}

// An idle counter that did not move over a positive interval: the processor
// was busy all the time. (A counter that went back was reset, and a zero or
// negative interval measures nothing; both stay invalid.)
bool isSaturatedProcessor(float elapsed, float idle) { return elapsed > 0.0f && idle == 0.0f; }

Sample processorTime(Control* control, int64_t now) {
  int64_t raw = 0;
  if (!readCounter(control, &raw)) return valid(-1);
  int64_t oldCounter = control->prevCounter;
  int64_t oldReadTime = control->prevReadTime;
  control->prevCounter = raw;
  control->prevReadTime = now;
  if (oldReadTime == 0) return valid(-1);
  float elapsed = static_cast<float>(now - oldReadTime);
  float idle = static_cast<float>(difference(raw, oldCounter));
  if (isSaturatedProcessor(elapsed, idle)) return valid(100);
  if (elapsed <= 0.0f || idle <= 0.0f) return valid(-1);
  float ticks = elapsed * 10000000.0f;
  float idleShare = idle / ticks;
  float idlePercent = idleShare * 100.0f;
  return valid(truncateToLong(100.0f - idlePercent));
}

// The ratio bookkeeping of a counter and its base. False when a reading failed
// (nothing is stored then); otherwise *first tells whether there was no
// previous reading, and *numerator / *denominator hold the single-precision
// differences.
bool ratioReadings(Control* control, int64_t now, bool* first, float* numerator,
                   float* denominator) {
  int64_t counter = 0;
  int64_t base = 0;
  if (!readCounter(control, &counter) || !readBase(control, &base)) return false;
  int64_t oldCounter = control->prevCounter;
  int64_t oldBase = control->prevBase;
  int64_t oldReadTime = control->prevReadTime;
  control->prevCounter = counter;
  control->prevBase = base;
  control->prevReadTime = now;
  *first = oldReadTime == 0;
  *numerator = static_cast<float>(difference(counter, oldCounter));
  *denominator = static_cast<float>(difference(base, oldBase));
  return true;
}

Sample cacheHitRate(Control* control, int64_t now) {
  bool first = false;
  float hits = 0, requests = 0;
  if (!ratioReadings(control, now, &first, &hits, &requests)) return valid(-1);
  if (first) return valid(-1);
  if (requests == 0.0f || hits <= 0.0f) return valid(100);
  float share = hits / requests;
  return valid(truncateToLong(share * 100.0f));
}

Sample diskTransferTime(Control* control, int64_t now) {
  LONGLONG frequency = perfwalk::BlockView(blocks[kPhysicalDiskBlock]).perfFreq();
  bool first = false;
  float time = 0, transfers = 0;
  if (!ratioReadings(control, now, &first, &time, &transfers)) return valid(-1);
  if (first) return valid(-1);
  if (frequency == 0) return valid(-1);
  if (transfers == 0.0f || time <= 0.0f) return valid(0);
  float ticksPerTransfer = time / transfers;
  double microsecondsPerTick = 1000000.0 / static_cast<double>(frequency);
  return valid(truncateToLong(static_cast<double>(ticksPerTransfer) * microsecondsPerTick));
}

Sample freeSpacePercent(Control* control) {
  int64_t raw = 0;
  if (!readCounter(control, &raw)) return valid(-1);
  // A volume of unknown size has no percentage.
  if (control->diskSizeMB == 0) return valid(-1);
  return valid(
      truncateToLong(static_cast<double>(raw) / static_cast<double>(control->diskSizeMB) * 100.0));
}

Sample memoryAvailablePercent() {
  MEMORYSTATUS status{};
  status.dwLength = sizeof(status);
  GlobalMemoryStatus(&status);
  if (status.dwTotalPhys == 0) return valid(-1);
  return valid(truncateToLong(static_cast<double>(status.dwAvailPhys) /
                              static_cast<double>(status.dwTotalPhys) * 100.0));
}

// The instance group of a multi-instance class and its block; 0 for any
// other class.
int instanceGroupOfClass(DWORD classId, BlockSlot* slot) {
  const int group = classInstanceGroup(classId);
  if (group != 0) *slot = blockOfClass(classId);
  return group;
}

}  // namespace

void freeInstanceList(InstanceEntry* list) {
  while (list) {
    InstanceEntry* next = list->next;
    delete list;
    list = next;
  }
}

int refreshPerformanceData() {
  clearInstanceTables();
  for (perfwalk::PerfBlock& block : blocks) block.release();
  int rc = perfwalk::loadCounterNames(&counterNames, kTrendWalk);
  if (rc != 0) return rc;
  int result = 0;
  for (int slot = 0; slot < kBlockCount; ++slot) {
    int queried =
        perfwalk::queryObjectBlock(kBlockQueries[slot].valueName, &blocks[slot], kTrendWalk);
    if (queried != 0) {
      blocks[slot].release();
      result = queried;
    }
  }
  return result;
}

int Get_Object_Instances(DWORD classId, InstanceEntry** list) {
  *list = nullptr;
  BlockSlot slot = kNoBlock;
  int group = instanceGroupOfClass(classId, &slot);
  if (group == 0) {
    consoleMessage(
        "CURVEMIB Error: internal error in Get_Object_Instances(). "
        "Call Tarvex Tech "
        "Support.\r\n");
    reportEvent(kEventInternalError, kEventTypeError);
    return 0;
  }
  if (!blocks[slot].present()) return 1;
  const char* objectName = perfwalk::instanceGroupObjectName(group);
  InstanceEntry* head = nullptr;
  perfwalk::listInstances(perfwalk::BlockView(blocks[slot]), counterNames, objectName,
                          [&](const perfwalk::InstanceRef&, const char* name) {
                            auto entry = new (std::nothrow) InstanceEntry;
                            if (!entry) {
                              traceLog("malloc failed 1001\n");
                              return true;
                            }
                            std::snprintf(entry->instanceText, sizeof(entry->instanceText), "%s %s",
                                          objectName, name);
                            entry->next = head;
                            head = entry;
                            return false;
                          });
  *list = head;
  return 0;
}

Sample computeSample(Control* control) {
  int64_t now = static_cast<int64_t>(wl_time(nullptr));
  switch (control->classId) {
    case 1:
      return processorTime(control, now);
    case 2:
    case 3:
    case 4:
    case 11:
    case 12:
    case 18:
    case 19:
    case 22:
      return deltaClass(control, true, now);
    case 9:
    case 10:
    case 16:
    case 17:
      return deltaClass(control, false, now);
    case 5:
    case 6:
    case 7:
    case 20:
    case 21:
      return absoluteClass(control);
    case 8:
      return memoryAvailablePercent();
    case 13:
      return cacheHitRate(control, now);
    case 14:
      return diskTransferTime(control, now);
    case 15:
      return freeSpacePercent(control);
    default:
      return Sample{-1, true};
  }
}

void releasePerformanceData() {
  clearInstanceTables();
  for (perfwalk::PerfBlock& block : blocks) block.release();
  counterNames.clear();
  counterNames.lastNameLoad = 0;
}

const perfwalk::PerfBlock* performanceBlockForTesting(const char* valueName) {
  for (int slot = 0; slot < kBlockCount; ++slot) {
    if (std::strcmp(kBlockQueries[slot].valueName, valueName) == 0) return &blocks[slot];
  }
  return nullptr;
}

}  // namespace trend
