#include "agent/perfhelper/snapshot.h"

#include <initializer_list>

#include "win32/timeapi.h"

namespace perfpeek {

const perfwalk::WalkProfile kPeekWalk{40960, 4096, kNameRefreshSeconds, nullptr};

namespace {
Snapshot* theSnapshot = nullptr;

// Due when ten seconds have passed since the last refresh, and also when the
// clock is behind it (it was set back): otherwise the old snapshot would be
// served until the clock caught up again.
bool dataRefreshDue(time_t now, time_t lastRefresh) {
  return now < lastRefresh || now - lastRefresh >= kDataRefreshSeconds;
}
}  // namespace

Snapshot& processSnapshot() {
  if (!theSnapshot) theSnapshot = new Snapshot;
  return *theSnapshot;
}

void discardProcessSnapshot() {
  delete theSnapshot;
  theSnapshot = nullptr;
}

int refreshSnapshot(Snapshot* snapshot) {
  time_t previousNameLoad = snapshot->names.lastNameLoad;
  if (perfwalk::loadCounterNames(&snapshot->names, kPeekWalk) != 0) {
    ++snapshot->generation;
    return -1;
  }
  if (snapshot->names.lastNameLoad != previousNameLoad) ++snapshot->generation;
  if (!snapshot->names.loaded()) return -1;

  time_t now = wl_time(nullptr);
  if (!dataRefreshDue(now, snapshot->lastDataRefresh)) return 0;
  snapshot->lastDataRefresh = now;
  ++snapshot->generation;
  int result = 0;
  for (perfwalk::PerfBlock* block : {&snapshot->mainBlock, &snapshot->networkBlock}) {
    block->release();  // every query starts with a fresh buffer
  }
  if (perfwalk::queryObjectBlock("238 2 4 86 236 234 330 1300 230", &snapshot->mainBlock,
                                 kPeekWalk) != 0) {
    snapshot->mainBlock.release();
    result = -1;
  }
  if (perfwalk::queryObjectBlock("510", &snapshot->networkBlock, kPeekWalk) != 0) {
    snapshot->networkBlock.release();
    result = -1;
  }
  return result;
}

void releaseSnapshot(Snapshot* snapshot) {
  snapshot->names.clear();
  snapshot->names.lastNameLoad = 0;
  snapshot->mainBlock.release();
  snapshot->networkBlock.release();
  snapshot->lastDataRefresh = 0;
  for (InstanceList& list : snapshot->lists) list.clear();
  snapshot->processIndex.clear();
  ++snapshot->generation;
}

const perfwalk::PerfBlock* blockOfType(const Snapshot& snapshot, int instanceType) {
  if (instanceType < kFirstInstanceType || instanceType > kLastInstanceType) return nullptr;
  return instanceType == 1 ? &snapshot.networkBlock : &snapshot.mainBlock;
}

}  // namespace perfpeek
