// The processes of a main block resolved once per data refresh: every instance
// of every object titled "Process", with its converted name, its "ID Process"
// and the two counters the helper answers, found again by process ID. The
// block search (searchProcessCounter in lookups.h) converts and compares the
// name of every instance on every query; the index gives the same answers at
// the cost of one build per refresh.
//
// Ownership: the index owns its rows; it keeps no pointer into the block.
// Thread safety: none (see snapshot.h).
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "agent/common/counter_names.h"
#include "agent/common/object_block.h"
#include "agent/common/perf_walk.h"

namespace perfpeek {

enum class ProcessCounter { kVirtualBytes, kProcessorTime };

class ProcessIndex {
 public:
  ProcessIndex() = default;
  ProcessIndex(const ProcessIndex&) = delete;
  ProcessIndex& operator=(const ProcessIndex&) = delete;

  // Builds the index from `block` for data generation `generation`. False
  // when memory ran out: the index is then empty and not current.
  bool build(const perfwalk::PerfBlock& block, const perfwalk::CounterNameTable& names,
             uint64_t generation);
  // True when the index was built for this generation and this very block
  // buffer and length.
  bool currentFor(const perfwalk::PerfBlock& block, uint64_t generation) const;
  void clear();

  // The block search's answer for `processName` and `processId`: 0 when an
  // instance of that name has that ID, else -1; *value is left as that search
  // leaves it (the counter of the last same-named instance it read, if any).
  int find(const char* processName, DWORD processId, ProcessCounter which, int64_t* value) const;

 private:
  struct Row {
    char name[perfwalk::kInstanceNameBytes];
    DWORD processId;
    bool haveId;
    // For each counter: whether the block search, once it has read this row,
    // has written *value, and what it last wrote (this row's counter, or the
    // one of the last same-named row before it whose counter could be read).
    bool valueSet[2];
    int64_t value[2];
    int nextSameId;  // next row with this ID, -1 at the end
  };

  std::vector<Row> rows_;
  std::unordered_map<DWORD, int> firstById_;              // rows with a readable ID only
  std::unordered_map<std::string_view, int> lastByName_;  // views into rows_
  uint64_t generation_ = 0;                               // 0: not built
  const BYTE* buffer_ = nullptr;
  DWORD length_ = 0;
};

}  // namespace perfpeek
