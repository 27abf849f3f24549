#include "agent/perfhelper/process_index.h"

#include <cstring>
#include <new>

namespace perfpeek {
namespace {

constexpr int kCounterSlots = 2;

int slotOf(ProcessCounter which) { return which == ProcessCounter::kVirtualBytes ? 0 : 1; }

bool titled(const perfwalk::CounterNameTable& names, DWORD titleIndex, const char* name) {
  const char* title = names.name(titleIndex);
  return title && std::strcmp(title, name) == 0;
}

// The counters of one "Process" object the search reads: the first
// definition titled "ID Process", and every definition titled with one of the
// two counter names (the last readable one of them wins, as in the search).
struct ObjectCounters {
  bool haveId = false;
  PERF_COUNTER_DEFINITION id{};
  std::vector<PERF_COUNTER_DEFINITION> byCounter[kCounterSlots];
};

void collectCounters(const perfwalk::BlockView& view, const perfwalk::CounterNameTable& names,
                     const perfwalk::ObjectRef& object, ObjectCounters* out) {
  static const char* const kCounterNames[kCounterSlots] = {"Virtual Bytes", "% Processor Time"};
  view.forEachCounter(object, [&](const perfwalk::CounterRef& counter) {
    DWORD title = counter.definition.CounterNameTitleIndex;
    if (!out->haveId && titled(names, title, "ID Process")) {
      out->haveId = true;
      out->id = counter.definition;
    }
    for (int slot = 0; slot < kCounterSlots; ++slot) {
      if (titled(names, title, kCounterNames[slot]))
        out->byCounter[slot].push_back(counter.definition);
    }
    return false;
  });
}

}  // namespace

void ProcessIndex::clear() {
  firstById_.clear();
  lastByName_.clear();
  rows_.clear();
  generation_ = 0;
  buffer_ = nullptr;
  length_ = 0;
}

bool ProcessIndex::currentFor(const perfwalk::PerfBlock& block, uint64_t generation) const {
  return generation_ != 0 && generation_ == generation && buffer_ == block.buffer &&
         length_ == block.length;
}

bool ProcessIndex::build(const perfwalk::PerfBlock& block, const perfwalk::CounterNameTable& names,
                         uint64_t generation) {
  clear();
  try {
    perfwalk::BlockView view(block);
    view.forEachObject([&](const perfwalk::ObjectRef& object) {
      if (!titled(names, object.header.ObjectNameTitleIndex, "Process")) return false;
      ObjectCounters counters;
      collectCounters(view, names, object, &counters);
      view.forEachInstance(object, [&](const perfwalk::InstanceRef& instance) {
        Row row{};
        if (!view.convertInstanceName(instance, row.name)) return false;
        int64_t id = 0;
        row.haveId = counters.haveId && view.readRawValue(instance.counterBlock, counters.id, &id);
        row.processId = static_cast<DWORD>(id);
        for (int slot = 0; slot < kCounterSlots; ++slot) {
          for (const PERF_COUNTER_DEFINITION& definition : counters.byCounter[slot]) {
            int64_t reading = 0;
            if (view.readRawValue(instance.counterBlock, definition, &reading)) {
              row.valueSet[slot] = true;
              row.value[slot] = reading;
            }
          }
        }
        row.nextSameId = -1;
        rows_.push_back(row);
        return false;
      });
      return false;
    });

    // Rows no longer move: chain the IDs and carry each counter along the
    // same-named rows, in block order.
    std::unordered_map<DWORD, int> lastById;
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
      Row& row = rows_[i];
      auto named = lastByName_.find(std::string_view(row.name));
      if (named != lastByName_.end()) {
        const Row& before = rows_[named->second];
        for (int slot = 0; slot < kCounterSlots; ++slot) {
          if (!row.valueSet[slot] && before.valueSet[slot]) {
            row.valueSet[slot] = true;
            row.value[slot] = before.value[slot];
          }
        }
        named->second = i;
      } else {
        lastByName_.emplace(std::string_view(row.name), i);
      }
      if (!row.haveId) continue;
      auto [last, added] = lastById.emplace(row.processId, i);
      if (added) {
        firstById_.emplace(row.processId, i);
      } else {
        rows_[last->second].nextSameId = i;
        last->second = i;
      }
    }
  } catch (const std::bad_alloc&) {
    clear();
    return false;
  }
  generation_ = generation;
  buffer_ = block.buffer;
  length_ = block.length;
  return true;
}

int ProcessIndex::find(const char* processName, DWORD processId, ProcessCounter which,
                       int64_t* value) const {
  const int slot = slotOf(which);
  auto first = firstById_.find(processId);
  for (int i = first == firstById_.end() ? -1 : first->second; i >= 0; i = rows_[i].nextSameId) {
    const Row& row = rows_[i];
    if (std::strcmp(row.name, processName) != 0) continue;
    if (row.valueSet[slot]) *value = row.value[slot];
    return 0;
  }
  // The search read every instance of the name and matched none.
  auto named = lastByName_.find(std::string_view(processName));
  if (named != lastByName_.end() && rows_[named->second].valueSet[slot]) {
    *value = rows_[named->second].value[slot];
  }
  return -1;
}

}  // namespace perfpeek
