#include "agent/perfhelper/instance_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace perfpeek {
namespace {

// The offset of the first counter named "ID Process" in the object's
// counter blocks; false when the object has none.
bool processIdOffset(const perfwalk::BlockView& view, const perfwalk::CounterNameTable& names,
                     const perfwalk::ObjectRef& object, DWORD* offset) {
  bool found = false;
  view.forEachCounter(object, [&](const perfwalk::CounterRef& counter) {
    const char* title = names.name(counter.definition.CounterNameTitleIndex);
    if (!title || std::strcmp(title, "ID Process") != 0) return false;
    *offset = counter.definition.CounterOffset;
    found = true;
    return true;
  });
  return found;
}

}  // namespace

void InstanceList::clear() {
  while (head_) {
    InstanceNode* next = head_->next;
    std::free(head_);
    head_ = next;
  }
  std::free(byPosition_);
  byPosition_ = nullptr;
  count_ = 0;
  builtFor_ = 0;
}

void InstanceList::rebuild(const perfwalk::PerfBlock& block,
                           const perfwalk::CounterNameTable& names, const char* objectName,
                           bool withProcessIds, uint64_t generation) {
  if (generation != 0 && generation == builtFor_) return;
  clear();
  if (!block.present()) {
    builtFor_ = generation;
    return;
  }
  perfwalk::BlockView view(block);
  bool complete = true;
  // The "ID Process" offset belongs to the object the instances come from:
  // the first object of the name, found again here without regard to case.
  bool haveIdOffset = false;
  DWORD idOffset = 0;
  if (withProcessIds) {
    view.forEachObject([&](const perfwalk::ObjectRef& object) {
      if (!perfwalk::objectNamed(names, object, objectName, true)) return false;
      haveIdOffset = processIdOffset(view, names, object, &idOffset);
      return true;
    });
  }
  perfwalk::listInstances(
      view, names, objectName, [&](const perfwalk::InstanceRef& instance, const char* name) {
        auto node = static_cast<InstanceNode*>(std::calloc(1, sizeof(InstanceNode)));
        if (!node) {
          complete = false;
          return true;
        }
        std::snprintf(node->name, sizeof(node->name), "%s", name);
        if (haveIdOffset) {
          DWORD processId = 0;
          if (view.readDword(instance.counterBlock + idOffset, &processId)) {
            node->processId = processId;
          }
        }
        node->next = head_;
        head_ = node;
        ++count_;
        return false;
      });
  byPosition_ = static_cast<InstanceNode**>(std::malloc(sizeof(InstanceNode*) * (count_ + 1)));
  if (byPosition_) {
    int position = 0;
    for (InstanceNode* node = head_; node; node = node->next) byPosition_[position++] = node;
  }
  // A list cut short by a failed allocation is built again next time.
  builtFor_ = complete ? generation : 0;
}

const InstanceNode* InstanceList::at(int position) const {
  if (position < 1 || position > count_) return nullptr;
  if (byPosition_) return byPosition_[position - 1];
  const InstanceNode* node = head_;
  for (int i = 1; i < position && node; ++i) node = node->next;
  return node;
}

}  // namespace perfpeek
