// Navigation of a performance data block and the counter lookups built on it.
//
// A block is a PERF_DATA_BLOCK followed by objects; an object is a
// PERF_OBJECT_TYPE, its counter definitions and either one counter block (an
// object without instances) or its instances, each a PERF_INSTANCE_DEFINITION
// with a UTF-16 name followed by its counter block. Every step follows offsets
// and lengths taken from the block itself, so every step is checked against
// the bytes the query returned: a structure that does not fit is absent, and
// a structure whose declared length is smaller than its own header ends the
// walk at it (the ones after it cannot be located).
//
// Thread safety: a view only reads; the caller keeps the block and the name
// table unchanged while using it.
#pragma once

#include <cstdint>
#include <cstring>

#include "agent/common/counter_names.h"
#include "agent/common/object_block.h"
#include "win32/perfdata.h"

namespace perfwalk {

// An instance name in the ANSI code page, NUL-terminated: at most 99 bytes of
// converted text.
constexpr int kInstanceNameBytes = 100;

struct ObjectRef {
  uint64_t offset = 0;
  PERF_OBJECT_TYPE header{};
};

struct CounterRef {
  uint64_t offset = 0;
  DWORD position = 0;  // 0 for the object's first definition
  PERF_COUNTER_DEFINITION definition{};
};

struct InstanceRef {
  uint64_t offset = 0;
  PERF_INSTANCE_DEFINITION definition{};
  uint64_t counterBlock = 0;  // offset of the instance's PERF_COUNTER_BLOCK
};

class BlockView {
 public:
  BlockView(const BYTE* data, uint64_t length) : data_(data), length_(data ? length : 0) {}
  explicit BlockView(const PerfBlock& block) : BlockView(block.buffer, block.length) {}

  // True when the block's header fits in the data.
  bool valid() const {
    PERF_DATA_BLOCK header;
    return read(0, &header);
  }
  // The block's PerfFreq, 0 when the header does not fit.
  LONGLONG perfFreq() const {
    PERF_DATA_BLOCK header;
    return read(0, &header) ? header.PerfFreq.QuadPart : 0;
  }

  // Visits the objects in block order; `visit(const ObjectRef&)` returns true
  // to stop.
  template <class Visit>
  void forEachObject(Visit&& visit) const {
    PERF_DATA_BLOCK header;
    if (!read(0, &header)) return;
    uint64_t offset = header.HeaderLength;
    for (DWORD i = 0; i < header.NumObjectTypes; ++i) {
      ObjectRef object;
      object.offset = offset;
      if (!read(offset, &object.header)) return;
      if (visit(static_cast<const ObjectRef&>(object))) return;
      if (object.header.TotalByteLength < sizeof(PERF_OBJECT_TYPE)) return;
      offset += object.header.TotalByteLength;
    }
  }

  // Visits an object's counter definitions in order; `visit(const
  // CounterRef&)` returns true to stop.
  template <class Visit>
  void forEachCounter(const ObjectRef& object, Visit&& visit) const {
    uint64_t offset = object.offset + object.header.HeaderLength;
    for (DWORD i = 0; i < object.header.NumCounters; ++i) {
      CounterRef counter;
      counter.offset = offset;
      counter.position = i;
      if (!read(offset, &counter.definition)) return;
      if (visit(static_cast<const CounterRef&>(counter))) return;
      if (counter.definition.ByteLength < sizeof(PERF_COUNTER_DEFINITION)) return;
      offset += counter.definition.ByteLength;
    }
  }

  // Visits an object's instances in block order (none when NumInstances is
  // not positive); `visit(const InstanceRef&)` returns true to stop.
  template <class Visit>
  void forEachInstance(const ObjectRef& object, Visit&& visit) const {
    if (object.header.NumInstances <= 0) return;
    uint64_t offset = object.offset + object.header.DefinitionLength;
    for (LONG i = 0; i < object.header.NumInstances; ++i) {
      InstanceRef instance;
      instance.offset = offset;
      if (!read(offset, &instance.definition)) return;
      if (instance.definition.ByteLength < sizeof(PERF_INSTANCE_DEFINITION)) return;
      instance.counterBlock = offset + instance.definition.ByteLength;
      PERF_COUNTER_BLOCK counterBlock;
      if (!read(instance.counterBlock, &counterBlock)) return;
      if (visit(static_cast<const InstanceRef&>(instance))) return;
      if (counterBlock.ByteLength < sizeof(PERF_COUNTER_BLOCK)) return;
      offset = instance.counterBlock + counterBlock.ByteLength;
    }
  }

  // The counter block of an object without instances.
  static uint64_t objectCounterBlock(const ObjectRef& object) {
    return object.offset + object.header.DefinitionLength;
  }

  // Reads a counter's raw value from a counter block by its CounterSize: 4
  // bytes are a signed 32-bit value widened with its sign, 8 bytes a signed
  // 64-bit value. False for any other size or when the value does not fit.
  bool readRawValue(uint64_t counterBlock, const PERF_COUNTER_DEFINITION& definition,
                    int64_t* value) const;
  // Reads 32 bits at an offset; false when they do not fit.
  bool readDword(uint64_t offset, DWORD* value) const { return read(offset, value); }

  // Converts an instance's UTF-16 name (NameLength bytes at NameOffset, ending
  // at the first NUL) to the ANSI code page, characters without an ANSI form
  // becoming "_", cut to 99 bytes. False when the name does not fit in the
  // data or cannot be converted.
  bool convertInstanceName(const InstanceRef& instance, char (&name)[kInstanceNameBytes]) const;

 private:
  template <class T>
  bool read(uint64_t offset, T* out) const {
    if (offset > length_ || length_ - offset < sizeof(T)) return false;
    std::memcpy(out, data_ + offset, sizeof(T));
    return true;
  }

  const BYTE* data_;
  uint64_t length_;
};

// How a lookup matches an instance: by "<object name> <instance name>" (the
// trend agent's instance texts) or by the converted instance name alone.
enum class InstanceMatch { kObjectNamePrefix, kNameOnly };

// True when the object's title names `objectName` exactly (or ignoring case).
// An empty name or an index without a name matches nothing.
bool objectNamed(const CounterNameTable& names, const ObjectRef& object, const char* objectName,
                 bool ignoreCase);

struct CounterLookup {
  const char* objectName;
  const char* counterName;
  const char* instanceText;  // null matches no instance
  InstanceMatch match;
  bool readBase;  // read the definition that follows the named counter instead
};

// The walk of a value: the first object named exactly objectName (only that
// one is examined); its first counter definition named counterName (or the
// definition right after it when readBase); for an object without instances
// (NumInstances -1) the object's counter block, otherwise the first instance
// matching instanceText. Returns 0 and *value, or 1 when anything is missing.
int findValue(const BlockView& view, const CounterNameTable& names, const CounterLookup& lookup,
              int64_t* value);

// The pieces of findValue, for lookups that find the object and its
// instances another way (instance_table.h): the counter definition it reads
// in `object` (false when there is none or the lookup names no counter), and
// the converted instance name an instance must have to match the lookup (null
// when no instance can match).
bool findCounterDefinition(const BlockView& view, const CounterNameTable& names,
                           const ObjectRef& object, const CounterLookup& lookup,
                           PERF_COUNTER_DEFINITION* definition);
const char* wantedInstanceName(const CounterLookup& lookup);

// The value of class `classId`'s counter (counter_classes.h) for an instance
// text or none; 1 = not found, also for an absent block or unknown class.
int findCounterValue(const CounterNameTable& names, int classId, const char* instanceText,
                     const PerfBlock& block, InstanceMatch match, int64_t* value);
// The value of the counter definition that follows the class's counter.
int findBaseValue(const CounterNameTable& names, int classId, const char* instanceText,
                  const PerfBlock& block, InstanceMatch match, int64_t* value);

// Visits, in block order, the instances of the first object whose title
// names `objectName` ignoring case: `visit(const InstanceRef&, const char*
// convertedName)` returns true to stop. Instances whose name does not fit are
// skipped. Returns false when there is no such object.
template <class Visit>
bool listInstances(const BlockView& view, const CounterNameTable& names, const char* objectName,
                   Visit&& visit) {
  bool found = false;
  view.forEachObject([&](const ObjectRef& object) {
    if (!objectNamed(names, object, objectName, true)) return false;
    found = true;
    view.forEachInstance(object, [&](const InstanceRef& instance) {
      char converted[kInstanceNameBytes];
      if (!view.convertInstanceName(instance, converted)) return false;
      return static_cast<bool>(visit(instance, static_cast<const char*>(converted)));
    });
    return true;
  });
  return found;
}

}  // namespace perfwalk
