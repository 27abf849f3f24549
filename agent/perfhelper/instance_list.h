// The instance list of one instance type: nodes holding the converted instance
// name (and for processes the process ID), in reverse block order, so that
// position 1 is the object's last instance in the data.
//
// Ownership: the list owns its nodes. Thread safety: none (see snapshot.h).
#pragma once

#include <cstdint>

#include "agent/common/counter_names.h"
#include "agent/common/object_block.h"
#include "agent/common/perf_walk.h"

namespace perfpeek {

struct InstanceNode {
  char name[perfwalk::kInstanceNameBytes];
  DWORD processId;  // "ID Process" for process instances, else 0
  InstanceNode* next;
};

class InstanceList {
 public:
  InstanceList() = default;
  InstanceList(const InstanceList&) = delete;
  InstanceList& operator=(const InstanceList&) = delete;
  ~InstanceList() { clear(); }

  // Rebuilds the list from the first object named `objectName` (case
  // ignored) in `block`; withProcessIds also records each instance's "ID
  // Process". When `generation` is the one the list was last completely built
  // for, the list is kept as it is, since the data has not changed; generation
  // 0 always rebuilds.
  void rebuild(const perfwalk::PerfBlock& block, const perfwalk::CounterNameTable& names,
               const char* objectName, bool withProcessIds, uint64_t generation);
  // The node at a 1-based position, or null when there is none.
  const InstanceNode* at(int position) const;
  int size() const { return count_; }
  void clear();

 private:
  InstanceNode* head_ = nullptr;
  int count_ = 0;
  // Nodes by position - 1, for direct access; null when it could not be
  // allocated (positions are then found by walking the list).
  InstanceNode** byPosition_ = nullptr;
  uint64_t builtFor_ = 0;  // 0: not built for any generation
};

}  // namespace perfpeek
