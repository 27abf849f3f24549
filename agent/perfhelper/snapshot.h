// The helper's process-wide snapshot of the performance data: the counter-name
// table, the main block ("238 2 4 86 236 234 330 1300 230") and the network
// block ("510"), their refresh times, the six instance lists and the process
// index.
//
// Ownership: the snapshot owns everything in it. Thread safety: none; the
// exports touch it only while holding "PERF DLL SEMAPHORE".
#pragma once

#include <ctime>

#include "agent/common/counter_names.h"
#include "agent/common/object_block.h"
#include "agent/common/walk_profile.h"
#include "agent/perfhelper/instance_list.h"
#include "agent/perfhelper/process_index.h"

namespace perfpeek {

constexpr int kFirstInstanceType = 1;
constexpr int kLastInstanceType = 6;
constexpr int kProcessInstanceType = 6;

// The helper's walk: every block query starts with a fresh 40,960-byte buffer
// growing by 4,096; names are due after 60 seconds; nothing is logged.
extern const perfwalk::WalkProfile kPeekWalk;

constexpr time_t kNameRefreshSeconds = 60;
constexpr time_t kDataRefreshSeconds = 10;

struct Snapshot {
  perfwalk::CounterNameTable names;
  perfwalk::PerfBlock mainBlock;
  perfwalk::PerfBlock networkBlock;
  time_t lastDataRefresh = 0;
  // Changes whenever the names or the blocks are replaced; an instance list
  // built for the current generation is still valid.
  uint64_t generation = 1;
  InstanceList lists[kLastInstanceType + 1];  // index 0 unused
  // The processes of the main block by ID, built for one generation.
  ProcessIndex processIndex;
};

// The one snapshot of this process, made on first use.
Snapshot& processSnapshot();
// Frees it with everything it holds (unload).
void discardProcessSnapshot();

// Reloads the names when 60 seconds have passed since the last attempt and
// the blocks when 10 seconds have passed since theirs, or when the clock is
// behind their last refresh (each time recorded before the load). Returns 0, or -1 when a reload
// failed or no name table is loaded (the failed part is retried only when due again).
int refreshSnapshot(Snapshot* snapshot);

// Frees the names, both blocks, all instance lists and the process index; the
// next refresh loads everything.
void releaseSnapshot(Snapshot* snapshot);

// The block an instance type is read from; null outside 1..6.
const perfwalk::PerfBlock* blockOfType(const Snapshot& snapshot, int instanceType);

}  // namespace perfpeek
