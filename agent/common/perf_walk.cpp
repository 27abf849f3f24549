#include "agent/common/perf_walk.h"

#include <strings.h>

#include "agent/common/counter_classes.h"
#include "win32/memory.h"

namespace perfwalk {
namespace {

// Converting this many UTF-16 units always yields at least the 99 bytes kept:
// each unit gives at least one byte, and one more unit completes a surrogate
// pair cut at the end.
constexpr uint64_t kUnitsConverted = kInstanceNameBytes;

bool counterNamed(const CounterNameTable& names, const CounterRef& counter,
                  const char* counterName) {
  const char* title = names.name(counter.definition.CounterNameTitleIndex);
  return title && counterName[0] && std::strcmp(title, counterName) == 0;
}

int findClassValue(const CounterNameTable& names, int classId, const char* instanceText,
                   const PerfBlock& block, InstanceMatch match, bool readBase, int64_t* value) {
  const CounterClass* row = counterClass(classId);
  if (!row || !block.present()) return 1;
  CounterLookup lookup{row->objectName, row->counterName, instanceText, match, readBase};
  return findValue(BlockView(block), names, lookup, value);
}

}  // namespace

bool BlockView::readRawValue(uint64_t counterBlock, const PERF_COUNTER_DEFINITION& definition,
                             int64_t* value) const {
  uint64_t offset = counterBlock + definition.CounterOffset;
  if (definition.CounterSize == 4) {
    int32_t narrow;
    if (!read(offset, &narrow)) return false;
    *value = narrow;
    return true;
  }
  if (definition.CounterSize == 8) return read(offset, value);
  return false;
}

bool BlockView::convertInstanceName(const InstanceRef& instance,
                                    char (&name)[kInstanceNameBytes]) const {
  name[0] = '\0';
  uint64_t offset = instance.offset + instance.definition.NameOffset;
  uint64_t bytes = instance.definition.NameLength;
  if (offset > length_ || length_ - offset < bytes) return false;
  uint64_t units = bytes / sizeof(WCHAR);
  if (units > kUnitsConverted) units = kUnitsConverted;
  WCHAR wide[kUnitsConverted];
  std::memcpy(wide, data_ + offset, units * sizeof(WCHAR));
  int length = 0;
  while (static_cast<uint64_t>(length) < units && wide[length] != 0) ++length;
  if (length == 0) return true;
  char converted[kUnitsConverted * 4];
  int written = WideCharToMultiByte(CP_ACP, 0, wide, length, converted,
                                    static_cast<int>(sizeof(converted)), "_", nullptr);
  if (written <= 0) return false;
  if (written > kInstanceNameBytes - 1) written = kInstanceNameBytes - 1;
  std::memcpy(name, converted, static_cast<size_t>(written));
  name[written] = '\0';
  // A converted name with a NUL inside ends there, as its text would.
  return true;
}

bool objectNamed(const CounterNameTable& names, const ObjectRef& object, const char* objectName,
                 bool ignoreCase) {
  if (!objectName || !objectName[0]) return false;
  const char* title = names.name(object.header.ObjectNameTitleIndex);
  if (!title) return false;
  return ignoreCase ? strcasecmp(title, objectName) == 0 : std::strcmp(title, objectName) == 0;
}

const char* wantedInstanceName(const CounterLookup& lookup) {
  const char* text = lookup.instanceText;
  if (!text) return nullptr;
  if (lookup.match == InstanceMatch::kObjectNamePrefix) {
    size_t objectLength = std::strlen(lookup.objectName);
    if (std::strncmp(text, lookup.objectName, objectLength) != 0) return nullptr;
    if (text[objectLength] != ' ') return nullptr;
    text += objectLength + 1;
  }
  return text;
}

bool findCounterDefinition(const BlockView& view, const CounterNameTable& names,
                           const ObjectRef& object, const CounterLookup& lookup,
                           PERF_COUNTER_DEFINITION* definition) {
  if (!lookup.counterName || !lookup.counterName[0]) return false;
  bool haveCounter = false;
  bool wantNext = false;
  view.forEachCounter(object, [&](const CounterRef& counter) {
    if (wantNext) {
      *definition = counter.definition;
      haveCounter = true;
      return true;
    }
    if (!counterNamed(names, counter, lookup.counterName)) return false;
    if (!lookup.readBase) {
      *definition = counter.definition;
      haveCounter = true;
      return true;
    }
    wantNext = true;
    return false;
  });
  return haveCounter;
}

int findValue(const BlockView& view, const CounterNameTable& names, const CounterLookup& lookup,
              int64_t* value) {
  if (!lookup.counterName || !lookup.counterName[0]) return 1;
  bool haveObject = false;
  ObjectRef object;
  view.forEachObject([&](const ObjectRef& candidate) {
    if (!objectNamed(names, candidate, lookup.objectName, false)) return false;
    object = candidate;
    haveObject = true;
    return true;
  });
  if (!haveObject) return 1;

  PERF_COUNTER_DEFINITION definition{};
  if (!findCounterDefinition(view, names, object, lookup, &definition)) return 1;

  if (object.header.NumInstances == PERF_NO_INSTANCES) {
    return view.readRawValue(BlockView::objectCounterBlock(object), definition, value) ? 0 : 1;
  }
  const char* wanted = wantedInstanceName(lookup);
  if (!wanted) return 1;
  bool haveInstance = false;
  uint64_t counterBlock = 0;
  view.forEachInstance(object, [&](const InstanceRef& instance) {
    char converted[kInstanceNameBytes];
    if (!view.convertInstanceName(instance, converted)) return false;
    if (std::strcmp(wanted, converted) != 0) return false;
    counterBlock = instance.counterBlock;
    haveInstance = true;
    return true;
  });
  if (!haveInstance) return 1;
  return view.readRawValue(counterBlock, definition, value) ? 0 : 1;
}

int findCounterValue(const CounterNameTable& names, int classId, const char* instanceText,
                     const PerfBlock& block, InstanceMatch match, int64_t* value) {
  return findClassValue(names, classId, instanceText, block, match, false, value);
}

int findBaseValue(const CounterNameTable& names, int classId, const char* instanceText,
                  const PerfBlock& block, InstanceMatch match, int64_t* value) {
  return findClassValue(names, classId, instanceText, block, match, true, value);
}

}  // namespace perfwalk
