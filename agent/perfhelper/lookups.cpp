#include "agent/perfhelper/lookups.h"

#include <cstring>
#include <initializer_list>

#include "agent/common/counter_classes.h"
#include "agent/common/perf_walk.h"

namespace perfpeek {
namespace {

bool titled(const perfwalk::CounterNameTable& names, DWORD titleIndex, const char* name) {
  const char* title = names.name(titleIndex);
  return title && std::strcmp(title, name) == 0;
}

}  // namespace

int findInstanceAt(Snapshot* snapshot, int instanceType, int position, char* name,
                   unsigned bufferSize, DWORD* processId, bool reuseList) {
  if (refreshSnapshot(snapshot) != 0) return -1;
  const perfwalk::PerfBlock* block = blockOfType(*snapshot, instanceType);
  if (!block) return -4;
  InstanceList& list = snapshot->lists[instanceType];
  list.rebuild(*block, snapshot->names, perfwalk::instanceGroupObjectName(instanceType),
               instanceType == kProcessInstanceType, reuseList ? snapshot->generation : 0);
  const InstanceNode* node = list.at(position);
  if (!node) return -3;
  size_t length = std::strlen(node->name);
  if (!name || length >= bufferSize) return -2;
  std::memcpy(name, node->name, length + 1);
  if (processId) *processId = node->processId;
  return 0;
}

int findClassCounterValue(const Snapshot& snapshot, const char* instanceName, int classId,
                          int64_t* value) {
  for (const perfwalk::PerfBlock* block : {&snapshot.mainBlock, &snapshot.networkBlock}) {
    if (perfwalk::findCounterValue(snapshot.names, classId, instanceName, *block,
                                   perfwalk::InstanceMatch::kNameOnly, value) == 0) {
      return 0;
    }
  }
  return -1;
}

int findProcessCounter(Snapshot& snapshot, const char* processName, DWORD processId,
                       ProcessCounter which, int64_t* value) {
  if (!processName || !snapshot.mainBlock.present()) return -1;
  ProcessIndex& index = snapshot.processIndex;
  if (index.currentFor(snapshot.mainBlock, snapshot.generation) ||
      index.build(snapshot.mainBlock, snapshot.names, snapshot.generation)) {
    return index.find(processName, processId, which, value);
  }
  return searchProcessCounter(snapshot, processName, processId, which, value);
}

int searchProcessCounter(const Snapshot& snapshot, const char* processName, DWORD processId,
                         ProcessCounter which, int64_t* value) {
  if (!processName || !snapshot.mainBlock.present()) return -1;
  const char* counterName =
      which == ProcessCounter::kVirtualBytes ? "Virtual Bytes" : "% Processor Time";
  const perfwalk::CounterNameTable& names = snapshot.names;
  perfwalk::BlockView view(snapshot.mainBlock);
  bool found = false;
  view.forEachObject([&](const perfwalk::ObjectRef& object) {
    if (!titled(names, object.header.ObjectNameTitleIndex, "Process")) return false;
    view.forEachInstance(object, [&](const perfwalk::InstanceRef& instance) {
      char converted[perfwalk::kInstanceNameBytes];
      if (!view.convertInstanceName(instance, converted)) return false;
      if (std::strcmp(converted, processName) != 0) return false;
      bool haveId = false;
      int64_t instanceId = 0;
      view.forEachCounter(object, [&](const perfwalk::CounterRef& counter) {
        if (!titled(names, counter.definition.CounterNameTitleIndex, "ID Process")) return false;
        haveId = view.readRawValue(instance.counterBlock, counter.definition, &instanceId);
        return true;
      });
      view.forEachCounter(object, [&](const perfwalk::CounterRef& counter) {
        if (titled(names, counter.definition.CounterNameTitleIndex, counterName)) {
          int64_t reading = 0;
          if (view.readRawValue(instance.counterBlock, counter.definition, &reading)) {
            *value = reading;
          }
        }
        return false;
      });
      found = haveId && static_cast<DWORD>(instanceId) == processId;
      return found;
    });
    return found;
  });
  return found ? 0 : -1;
}

}  // namespace perfpeek
