// Performance data of the trend agent: the eight object blocks refreshed before
// each sampling pass, the instance lists of the five instance groups, and the
// computation of one sample per control. The block walk itself is shared with
// the performance data helper (agent/common/perf_walk.h).
//
// Thread safety: called with controlSemaphore held (start-up excepted).
#pragma once

#include "agent/trend/control.h"

namespace trend {

// One instance text ("Processor 0") of an instance list; the list is owned by
// the caller, who frees it with freeInstanceList.
struct InstanceEntry {
  char instanceText[kInstanceNameBytes] = {};
  InstanceEntry* next = nullptr;
};
void freeInstanceList(InstanceEntry* list);

// Discards all blocks, reloads the counter names when due, queries every block.
int refreshPerformanceData();
// 0 and the class's instance list in *list; 1 when the class's block is absent.
int Get_Object_Instances(DWORD classId, InstanceEntry** list);

struct Sample {
  LONG value = -1;
  bool invalid = true;
};
// Computes the control's current sample from the last refresh; updates the
// control's previous raw readings.
Sample computeSample(Control* control);

}  // namespace trend
