#include "agent/common/instance_table.h"

#include <new>

#include "agent/common/counter_classes.h"

namespace perfwalk {

void InstanceTable::clear() {
  firstByName_.clear();
  names_.clear();
  objectName_.clear();
  object_ = ObjectRef{};
  haveObject_ = false;
  resolved_ = false;
}

bool InstanceTable::resolve(const BlockView& view, const CounterNameTable& names,
                            const char* objectName) {
  clear();
  try {
    objectName_ = objectName ? objectName : "";
    view.forEachObject([&](const ObjectRef& candidate) {
      if (!objectNamed(names, candidate, objectName, false)) return false;
      object_ = candidate;
      haveObject_ = true;
      return true;
    });
    std::vector<uint64_t> counterBlocks;
    if (haveObject_) {
      view.forEachInstance(object_, [&](const InstanceRef& instance) {
        char converted[kInstanceNameBytes];
        if (!view.convertInstanceName(instance, converted)) return false;
        names_.emplace_back(converted);
        counterBlocks.push_back(instance.counterBlock);
        return false;
      });
    }
    // The names no longer move: key them, the first instance of a name wins.
    firstByName_.reserve(names_.size());
    for (size_t i = 0; i < names_.size(); ++i) {
      firstByName_.emplace(std::string_view(names_[i]), counterBlocks[i]);
    }
  } catch (const std::bad_alloc&) {
    clear();
    return false;
  }
  resolved_ = true;
  return true;
}

bool InstanceTable::instanceCounterBlock(const char* name, uint64_t* counterBlock) const {
  auto found = firstByName_.find(std::string_view(name));
  if (found == firstByName_.end()) return false;
  *counterBlock = found->second;
  return true;
}

int findValue(const BlockView& view, const CounterNameTable& names, const CounterLookup& lookup,
              const InstanceTable& table, int64_t* value) {
  if (!table.resolved() || !table.haveObject() || !lookup.objectName ||
      table.objectName() != lookup.objectName) {
    return 1;
  }
  const ObjectRef& object = table.object();
  PERF_COUNTER_DEFINITION definition{};
  if (!findCounterDefinition(view, names, object, lookup, &definition)) return 1;
  if (object.header.NumInstances == PERF_NO_INSTANCES) {
    return view.readRawValue(BlockView::objectCounterBlock(object), definition, value) ? 0 : 1;
  }
  const char* wanted = wantedInstanceName(lookup);
  uint64_t counterBlock = 0;
  if (!wanted || !table.instanceCounterBlock(wanted, &counterBlock)) return 1;
  return view.readRawValue(counterBlock, definition, value) ? 0 : 1;
}

namespace {

int findClassValue(const CounterNameTable& names, int classId, const char* instanceText,
                   const PerfBlock& block, InstanceMatch match, bool readBase,
                   const InstanceTable& table, int64_t* value) {
  const CounterClass* row = counterClass(classId);
  if (!row || !block.present()) return 1;
  CounterLookup lookup{row->objectName, row->counterName, instanceText, match, readBase};
  return findValue(BlockView(block), names, lookup, table, value);
}

}  // namespace

int findCounterValue(const CounterNameTable& names, int classId, const char* instanceText,
                     const PerfBlock& block, InstanceMatch match, const InstanceTable& table,
                     int64_t* value) {
  return findClassValue(names, classId, instanceText, block, match, false, table, value);
}

int findBaseValue(const CounterNameTable& names, int classId, const char* instanceText,
                  const PerfBlock& block, InstanceMatch match, const InstanceTable& table,
                  int64_t* value) {
  return findClassValue(names, classId, instanceText, block, match, true, table, value);
}

}  // namespace perfwalk
