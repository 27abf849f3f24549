// Lays out a performance data block (PERF_DATA_BLOCK with its objects, counter
// definitions, instances and counter blocks) in the 32-bit little-endian layout
// that HKEY_PERFORMANCE_DATA returns. Header-only, so that tests anywhere in the
// tree can build the blocks they need, including deliberately odd ones
// (counters of sizes other than 4 and 8, explicit counter offsets, names that
// are not valid UTF-16); a test may also patch the returned bytes afterwards.
//
// Layout rules: the data block header is followed by the system name and padded
// to 8 bytes; each object is its header, its counter definitions, then either
// its instances (definition, UTF-16 name, padding, counter block) or, for an
// object without instances, one counter block. Instance definitions, names and
// counter blocks start on 8-byte boundaries; 8-byte counters sit on 8-byte
// offsets within their counter block.
//
// Thread safety: pure functions over the caller's values.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win32/perfdata.h"
#include "wltext/utf.h"

namespace wlperf {

// Detail level of every object and counter that we produce ("novice").
inline constexpr DWORD kDetailNovice = 100;
// The largest counter size the builder lays out; larger sizes are clamped.
inline constexpr DWORD kMaxCounterSize = 256;
// A counter block grows to hold explicitly placed counters up to this size.
inline constexpr size_t kMaxExplicitBlock = 65536;

struct CounterSpec {
  DWORD index = 0;  // title index of the counter's name
  DWORD type = PERF_COUNTER_RAWCOUNT;
  DWORD size = 4;  // CounterSize in bytes; sizes other than 4 and 8 are laid out as given
  // An explicit CounterOffset within the counter block; otherwise the builder
  // places the counter after the previous one.
  std::optional<DWORD> offset = std::nullopt;
};

struct InstanceSpec {
  std::string name;             // UTF-8; stored as UTF-16 with a terminating NUL
  std::vector<int64_t> values;  // in counter order; missing values are 0
  // When set, stored instead of `name` (for names UTF-8 cannot express).
  std::optional<std::u16string> utf16Name = std::nullopt;
};

struct ObjectSpec {
  DWORD index = 0;  // title index of the object's name
  std::vector<CounterSpec> counters;
  // false: NumInstances is PERF_NO_INSTANCES and `values` fills the one counter
  // block that follows the definitions. true: `instances` (possibly none).
  bool hasInstances = true;
  std::vector<InstanceSpec> instances;
  std::vector<int64_t> values;
};

// An object with instances (possibly none).
inline ObjectSpec InstanceObject(DWORD index, std::vector<CounterSpec> counters,
                                 std::vector<InstanceSpec> instances) {
  ObjectSpec object;
  object.index = index;
  object.counters = std::move(counters);
  object.instances = std::move(instances);
  return object;
}

// An object without instances (NumInstances -1) and its one set of values.
inline ObjectSpec SingleObject(DWORD index, std::vector<CounterSpec> counters,
                               std::vector<int64_t> values) {
  ObjectSpec object;
  object.index = index;
  object.counters = std::move(counters);
  object.hasInstances = false;
  object.values = std::move(values);
  return object;
}

struct BlockSpec {
  LONGLONG perfTime = 0;
  LONGLONG perfFreq = 10'000'000;
  LONGLONG perfTime100nSec = 0;
  SYSTEMTIME systemTime{};
  std::string systemName = "WARDENLINE";
  std::vector<ObjectSpec> objects;
};

// UTF-8 to UTF-16; each maximal ill-formed subpart becomes U+FFFD.
inline std::u16string Utf8ToUtf16(std::string_view text) {
  return wl::text::Utf8ToUtf16(text, wl::text::Malformed::kReplaceSubpart);
}

namespace detail {

inline size_t AlignTo8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }

inline void PutLittleEndian(std::vector<BYTE>& out, size_t at, uint64_t value, size_t bytes) {
  for (size_t k = 0; k < bytes && at + k < out.size(); ++k) {
    out[at + k] = k < 8 ? static_cast<BYTE>(value >> (8 * k)) : 0;
  }
}

template <typename T>
void PutStruct(std::vector<BYTE>& out, size_t at, const T& value) {
  std::memcpy(out.data() + at, &value, sizeof(T));
}

inline void PutUtf16(std::vector<BYTE>& out, size_t at, const std::u16string& text) {
  for (size_t k = 0; k < text.size(); ++k) {
    PutLittleEndian(out, at + 2 * k, text[k], 2);
  }
  PutLittleEndian(out, at + 2 * text.size(), 0, 2);
}

struct CounterLayout {
  std::vector<DWORD> offsets;
  DWORD blockLength = 0;  // PERF_COUNTER_BLOCK.ByteLength, a multiple of 8
};

inline CounterLayout LayOutCounters(const std::vector<CounterSpec>& counters) {
  CounterLayout layout;
  size_t cursor = sizeof(PERF_COUNTER_BLOCK);
  size_t end = cursor;
  for (const CounterSpec& counter : counters) {
    const size_t size = counter.size < kMaxCounterSize ? counter.size : kMaxCounterSize;
    size_t offset;
    if (counter.offset) {
      offset = *counter.offset;
      // An explicit offset may point anywhere (even outside the block, for tests
      // of readers); the block grows to hold it only up to kMaxExplicitBlock.
      if (offset + size <= kMaxExplicitBlock && offset + size > end) {
        end = offset + size;
      }
    } else {
      if (size == 8) cursor = AlignTo8(cursor);
      offset = cursor;
      cursor += size;
      if (cursor > end) end = cursor;
    }
    layout.offsets.push_back(static_cast<DWORD>(offset));
  }
  layout.blockLength = static_cast<DWORD>(AlignTo8(end));
  return layout;
}

// Writes a counter block of `layout.blockLength` bytes at `at`.
inline void PutCounterBlock(std::vector<BYTE>& out, size_t at,
                            const std::vector<CounterSpec>& counters, const CounterLayout& layout,
                            const std::vector<int64_t>& values) {
  PERF_COUNTER_BLOCK header{};
  header.ByteLength = layout.blockLength;
  PutStruct(out, at, header);
  for (size_t c = 0; c < counters.size(); ++c) {
    const size_t size = counters[c].size < kMaxCounterSize ? counters[c].size : kMaxCounterSize;
    const uint64_t value = c < values.size() ? static_cast<uint64_t>(values[c]) : 0;
    const size_t offset = layout.offsets[c];
    if (offset + size <= layout.blockLength) {
      PutLittleEndian(out, at + offset, value, size);
    }
  }
}

inline std::u16string InstanceName(const InstanceSpec& instance) {
  return instance.utf16Name ? *instance.utf16Name : Utf8ToUtf16(instance.name);
}

inline size_t InstanceDefinitionLength(const std::u16string& name) {
  return AlignTo8(sizeof(PERF_INSTANCE_DEFINITION) + 2 * (name.size() + 1));
}

}  // namespace detail

// The byte length of the object that BuildBlock would lay out for `object`.
inline size_t ObjectLength(const ObjectSpec& object) {
  const detail::CounterLayout layout = detail::LayOutCounters(object.counters);
  size_t length =
      sizeof(PERF_OBJECT_TYPE) + sizeof(PERF_COUNTER_DEFINITION) * object.counters.size();
  if (!object.hasInstances) return length + layout.blockLength;
  for (const InstanceSpec& instance : object.instances) {
    length += detail::InstanceDefinitionLength(detail::InstanceName(instance)) + layout.blockLength;
  }
  return length;
}

// Appends one object at the end of `out` (which must be 8-byte aligned in size).
inline void AppendObject(std::vector<BYTE>& out, const ObjectSpec& object, LONGLONG perfTime,
                         LONGLONG perfFreq) {
  const size_t start = out.size();
  const detail::CounterLayout layout = detail::LayOutCounters(object.counters);
  const size_t definitionLength =
      sizeof(PERF_OBJECT_TYPE) + sizeof(PERF_COUNTER_DEFINITION) * object.counters.size();
  const size_t total = ObjectLength(object);
  out.resize(start + total, 0);

  PERF_OBJECT_TYPE header{};
  header.TotalByteLength = static_cast<DWORD>(total);
  header.DefinitionLength = static_cast<DWORD>(definitionLength);
  header.HeaderLength = sizeof(PERF_OBJECT_TYPE);
  header.ObjectNameTitleIndex = object.index;
  header.ObjectHelpTitleIndex = object.index + 1;
  header.DetailLevel = kDetailNovice;
  header.NumCounters = static_cast<DWORD>(object.counters.size());
  header.DefaultCounter = object.counters.empty() ? -1 : 0;
  header.NumInstances =
      object.hasInstances ? static_cast<LONG>(object.instances.size()) : PERF_NO_INSTANCES;
  header.CodePage = 0;  // instance names are UTF-16
  header.PerfTime.QuadPart = perfTime;
  header.PerfFreq.QuadPart = perfFreq;
  detail::PutStruct(out, start, header);

  size_t at = start + sizeof(PERF_OBJECT_TYPE);
  for (size_t c = 0; c < object.counters.size(); ++c) {
    const CounterSpec& spec = object.counters[c];
    PERF_COUNTER_DEFINITION definition{};
    definition.ByteLength = sizeof(PERF_COUNTER_DEFINITION);
    definition.CounterNameTitleIndex = spec.index;
    definition.CounterHelpTitleIndex = spec.index + 1;
    definition.DetailLevel = kDetailNovice;
    definition.CounterType = spec.type;
    definition.CounterSize = spec.size;
    definition.CounterOffset = layout.offsets[c];
    detail::PutStruct(out, at, definition);
    at += sizeof(PERF_COUNTER_DEFINITION);
  }

  if (!object.hasInstances) {
    detail::PutCounterBlock(out, at, object.counters, layout, object.values);
    return;
  }
  for (const InstanceSpec& instance : object.instances) {
    const std::u16string name = detail::InstanceName(instance);
    const size_t definitionBytes = detail::InstanceDefinitionLength(name);
    PERF_INSTANCE_DEFINITION definition{};
    definition.ByteLength = static_cast<DWORD>(definitionBytes);
    definition.UniqueID = -1;  // instances are identified by name
    definition.NameOffset = sizeof(PERF_INSTANCE_DEFINITION);
    definition.NameLength = static_cast<DWORD>(2 * (name.size() + 1));
    detail::PutStruct(out, at, definition);
    detail::PutUtf16(out, at + sizeof(PERF_INSTANCE_DEFINITION), name);
    at += definitionBytes;
    detail::PutCounterBlock(out, at, object.counters, layout, instance.values);
    at += layout.blockLength;
  }
}

// The whole block. Sizes beyond 32 bits are the caller's to avoid (the
// provider refuses inputs that could reach them).
inline std::vector<BYTE> BuildBlock(const BlockSpec& spec) {
  const std::u16string systemName = Utf8ToUtf16(spec.systemName);
  const size_t headerLength =
      detail::AlignTo8(sizeof(PERF_DATA_BLOCK) + 2 * (systemName.size() + 1));
  std::vector<BYTE> out(headerLength, 0);
  for (const ObjectSpec& object : spec.objects) {
    AppendObject(out, object, spec.perfTime, spec.perfFreq);
  }

  PERF_DATA_BLOCK header{};
  header.Signature[0] = u'P';
  header.Signature[1] = u'E';
  header.Signature[2] = u'R';
  header.Signature[3] = u'F';
  header.LittleEndian = 1;
  header.Version = 1;
  header.Revision = 1;
  header.TotalByteLength = static_cast<DWORD>(out.size());
  header.HeaderLength = static_cast<DWORD>(headerLength);
  header.NumObjectTypes = static_cast<DWORD>(spec.objects.size());
  header.DefaultObject = spec.objects.empty() ? -1 : static_cast<LONG>(spec.objects[0].index);
  header.SystemTime = spec.systemTime;
  header.PerfTime.QuadPart = spec.perfTime;
  header.PerfFreq.QuadPart = spec.perfFreq;
  header.PerfTime100nSec.QuadPart = spec.perfTime100nSec;
  header.SystemNameLength = static_cast<DWORD>(2 * (systemName.size() + 1));
  header.SystemNameOffset = sizeof(PERF_DATA_BLOCK);
  detail::PutStruct(out, 0, header);
  detail::PutUtf16(out, sizeof(PERF_DATA_BLOCK), systemName);
  return out;
}

// A copy of `block` with words written into it, for fuzzers that start from a
// well-formed block: each whole 6 bytes of `patches` is a 16-bit little-endian
// offset (taken modulo the block's size) and 4 bytes written there, cut at
// the block's end. An empty block comes back unchanged.
inline std::vector<BYTE> PatchWords(std::vector<BYTE> block, const uint8_t* patches, size_t size) {
  if (block.empty()) return block;
  for (size_t at = 0; at + 6 <= size; at += 6) {
    const size_t offset = (patches[at] | (patches[at + 1] << 8)) % block.size();
    for (size_t k = 0; k < 4 && offset + k < block.size(); ++k)
      block[offset + k] = patches[at + 2 + k];
  }
  return block;
}

}  // namespace wlperf
