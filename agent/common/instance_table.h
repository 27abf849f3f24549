// The instances of one object of a block with their names converted once: the
// table a sampling pass resolves after each data refresh, so that every
// control that names an instance finds it by its name instead of converting
// and comparing the name of every instance again (findValue in perf_walk.h).
//
// Lookups through a table answer exactly as findValue does on the same block
// and names: the first object titled exactly with the table's object name,
// and of its instances the first one, in block order, whose converted name
// matches.
//
// Ownership: the table owns its copies of the names and keeps offsets into the
// block, not pointers. The caller rebuilds (or clears) it whenever the block
// or the name table changes. Thread safety: none; the caller guards it with
// the block.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "agent/common/counter_names.h"
#include "agent/common/object_block.h"
#include "agent/common/perf_walk.h"

namespace perfwalk {

class InstanceTable {
 public:
  InstanceTable() = default;
  InstanceTable(const InstanceTable&) = delete;
  InstanceTable& operator=(const InstanceTable&) = delete;

  // Resolves the first object titled exactly `objectName` in `view` and the
  // names of its instances. False when memory ran out: the table is then
  // empty and not resolved.
  bool resolve(const BlockView& view, const CounterNameTable& names, const char* objectName);
  bool resolved() const { return resolved_; }
  void clear();

  // The object's name as given to resolve.
  const std::string& objectName() const { return objectName_; }
  // False when the block has no object of the name.
  bool haveObject() const { return haveObject_; }
  const ObjectRef& object() const { return object_; }
  // The counter block of the first instance whose converted name is `name`.
  bool instanceCounterBlock(const char* name, uint64_t* counterBlock) const;

 private:
  bool resolved_ = false;
  bool haveObject_ = false;
  ObjectRef object_;
  std::string objectName_;
  std::vector<std::string> names_;  // the keys below point into these
  std::unordered_map<std::string_view, uint64_t> firstByName_;
};

// findValue answered through `table`, which must be resolved from the same
// block and names for lookup.objectName; a table resolved for another object
// name finds nothing (1).
int findValue(const BlockView& view, const CounterNameTable& names, const CounterLookup& lookup,
              const InstanceTable& table, int64_t* value);

// findCounterValue and findBaseValue answered through a table resolved from
// `block` for the class's object.
int findCounterValue(const CounterNameTable& names, int classId, const char* instanceText,
                     const PerfBlock& block, InstanceMatch match, const InstanceTable& table,
                     int64_t* value);
int findBaseValue(const CounterNameTable& names, int classId, const char* instanceText,
                  const PerfBlock& block, InstanceMatch match, const InstanceTable& table,
                  int64_t* value);

}  // namespace perfwalk
