// Performance data of the trend agent: the eight object blocks refreshed before
// each sampling pass, the instance lists of the five instance groups, and the
// computation of one sample per control. The block walk itself is shared with
// the performance data helper (agent/common/perf_walk.h); each block's instance
// names are resolved once per refresh (agent/common/instance_table.h) and
// every control's reading finds its instance there.
//
// Thread safety: called with controlSemaphore held (start-up excepted).
#pragma once

#include "agent/common/object_block.h"
#include "agent/trend/control.h"

namespace trend {

// One instance text ("Processor 0") of an instance list; the list is owned by
// the caller, who frees it with freeInstanceList.
struct InstanceEntry {
  char instanceText[kInstanceNameBytes] = {};
  InstanceEntry* next = nullptr;
};
void freeInstanceList(InstanceEntry* list);

// Discards all blocks, reloads the counter names when due (at most every 600
// seconds), then queries the blocks "510", "238", "2", "86", "236", "234",
// "330", "1300" in this order; a block whose query fails stays absent. Returns
// 0, or the last failure (callers ignore it).
int refreshPerformanceData();
// 0 and the class's instance list in *list (in reverse block order, each text
// the object name, a space and the instance name); 1 and an empty list when
// the class's block is absent. A class without instances gets an empty list.
int Get_Object_Instances(DWORD classId, InstanceEntry** list);

struct Sample {
  LONG value = -1;
  bool invalid = true;
};
// Computes the control's current sample from the last refresh; updates the
// control's previous raw readings.
Sample computeSample(Control* control);

// Frees the counter-name table and every block; the next refresh reloads the
// names at once. Called at shut-down.
void releasePerformanceData();
// The block of an object index ("510" ... "1300") as the last refresh left it;
// null for any other name. For diagnostics and tests.
const perfwalk::PerfBlock* performanceBlockForTesting(const char* valueName);

}  // namespace trend
