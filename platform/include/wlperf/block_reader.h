// Decodes a performance data block into plain values, checking every length and
// offset against the bytes given. Header-only; used by the `wlperf` tool and by
// tests. The system's own walk lives in agent/common; this is the tool's view.
//
// Thread safety: pure functions over the caller's bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "win32/perfdata.h"
#include "wltext/utf.h"

namespace wlperf {

struct DecodedCounter {
  DWORD index = 0;
  DWORD type = 0;
  DWORD size = 0;
  DWORD offset = 0;
};

// A counter value: sizes 4 and 8 are read as signed little-endian integers
// (4 widened with its sign); other sizes as their first (up to) 8 bytes,
// zero-extended. Empty when the value lies outside its counter block.
using DecodedValue = std::optional<int64_t>;

struct DecodedInstance {
  std::u16string name;
  std::vector<DecodedValue> values;  // one per counter
};

struct DecodedObject {
  DWORD index = 0;
  LONG numInstances = 0;  // PERF_NO_INSTANCES for an object without instances
  LONGLONG perfTime = 0;
  LONGLONG perfFreq = 0;
  std::vector<DecodedCounter> counters;
  std::vector<DecodedInstance> instances;  // empty when numInstances is -1 or 0
  std::vector<DecodedValue> values;        // the one counter block when numInstances is -1
};

struct DecodedBlock {
  LONGLONG perfTime = 0;
  LONGLONG perfFreq = 0;
  LONGLONG perfTime100nSec = 0;
  std::u16string systemName;
  std::vector<DecodedObject> objects;
};

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
inline std::string Utf16ToUtf8(const std::u16string& text) { return wl::text::Utf16ToUtf8(text); }

namespace detail {

// A bounded view of bytes; every read checks its range.
class ByteRange {
 public:
  ByteRange(const BYTE* data, size_t size) : data_(data), size_(size) {}
  size_t size() const { return size_; }
  bool Has(size_t at, size_t length) const { return at <= size_ && length <= size_ - at; }
  template <typename T>
  bool Read(size_t at, T* out) const {
    if (!Has(at, sizeof(T))) return false;
    std::memcpy(out, data_ + at, sizeof(T));
    return true;
  }
  // UTF-16 text of `bytes` bytes at `at`, cut at the first NUL.
  bool ReadUtf16(size_t at, size_t bytes, std::u16string* out) const {
    if (!Has(at, bytes)) return false;
    out->clear();
    for (size_t k = 0; k + 1 < bytes; k += 2) {
      const char16_t c = static_cast<char16_t>(data_[at + k] | (data_[at + k + 1] << 8));
      if (c == 0) break;
      out->push_back(c);
    }
    return true;
  }
  DecodedValue ReadValue(size_t at, DWORD size) const {
    if (!Has(at, size)) return std::nullopt;
    if (size == 4) {
      int32_t v;
      std::memcpy(&v, data_ + at, 4);
      return static_cast<int64_t>(v);
    }
    uint64_t v = 0;
    for (size_t k = 0; k < size && k < 8; ++k) v |= static_cast<uint64_t>(data_[at + k]) << (8 * k);
    return static_cast<int64_t>(v);
  }

 private:
  const BYTE* data_;
  size_t size_;
};

inline bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// Values of one counter block at `at`, which must lie within `range`.
inline bool DecodeCounterBlock(const ByteRange& range, size_t at,
                               const std::vector<DecodedCounter>& counters,
                               std::vector<DecodedValue>* values, size_t* length,
                               std::string* error) {
  PERF_COUNTER_BLOCK block;
  if (!range.Read(at, &block)) return Fail(error, "counter block outside the object");
  if (block.ByteLength < sizeof(block) || !range.Has(at, block.ByteLength)) {
    return Fail(error, "counter block length out of range");
  }
  values->clear();
  for (const DecodedCounter& counter : counters) {
    if (counter.offset > block.ByteLength || counter.size > block.ByteLength - counter.offset) {
      values->push_back(std::nullopt);
    } else {
      values->push_back(range.ReadValue(at + counter.offset, counter.size));
    }
  }
  *length = block.ByteLength;
  return true;
}

inline bool DecodeObject(const ByteRange& range, DecodedObject* out, std::string* error) {
  PERF_OBJECT_TYPE header;
  if (!range.Read(0, &header)) return Fail(error, "object header truncated");
  if (header.HeaderLength < sizeof(header) || header.DefinitionLength < header.HeaderLength ||
      header.DefinitionLength > range.size()) {
    return Fail(error, "object lengths out of range");
  }
  out->index = header.ObjectNameTitleIndex;
  out->numInstances = header.NumInstances;
  out->perfTime = header.PerfTime.QuadPart;
  out->perfFreq = header.PerfFreq.QuadPart;
  size_t at = header.HeaderLength;
  for (DWORD c = 0; c < header.NumCounters; ++c) {
    PERF_COUNTER_DEFINITION definition;
    if (at > header.DefinitionLength || !range.Read(at, &definition) ||
        at + sizeof(definition) > header.DefinitionLength) {
      return Fail(error, "counter definition outside the object's definitions");
    }
    if (definition.ByteLength < sizeof(definition)) {
      return Fail(error, "counter definition length out of range");
    }
    out->counters.push_back({definition.CounterNameTitleIndex, definition.CounterType,
                             definition.CounterSize, definition.CounterOffset});
    at += definition.ByteLength;
  }
  at = header.DefinitionLength;
  size_t length = 0;
  if (header.NumInstances == PERF_NO_INSTANCES) {
    return DecodeCounterBlock(range, at, out->counters, &out->values, &length, error);
  }
  if (header.NumInstances < 0) return Fail(error, "negative instance count");
  for (LONG i = 0; i < header.NumInstances; ++i) {
    PERF_INSTANCE_DEFINITION instance;
    if (!range.Read(at, &instance)) return Fail(error, "instance definition outside the object");
    if (instance.ByteLength < sizeof(instance) || !range.Has(at, instance.ByteLength) ||
        instance.NameOffset > instance.ByteLength ||
        instance.NameLength > instance.ByteLength - instance.NameOffset) {
      return Fail(error, "instance definition lengths out of range");
    }
    DecodedInstance decoded;
    range.ReadUtf16(at + instance.NameOffset, instance.NameLength, &decoded.name);
    at += instance.ByteLength;
    if (!DecodeCounterBlock(range, at, out->counters, &decoded.values, &length, error)) {
      return false;
    }
    at += length;
    out->instances.push_back(std::move(decoded));
  }
  return true;
}

}  // namespace detail

// Decodes `size` bytes at `data`. On failure returns false with a reason in
// *error (when not null); *out then holds what was decoded before the fault.
inline bool DecodeBlock(const BYTE* data, size_t size, DecodedBlock* out, std::string* error) {
  *out = DecodedBlock{};
  const detail::ByteRange all(data, size);
  PERF_DATA_BLOCK header;
  if (!all.Read(0, &header)) return detail::Fail(error, "block shorter than its header");
  if (header.Signature[0] != u'P' || header.Signature[1] != u'E' || header.Signature[2] != u'R' ||
      header.Signature[3] != u'F') {
    return detail::Fail(error, "no PERF signature");
  }
  if (header.HeaderLength < sizeof(header) || header.TotalByteLength > size ||
      header.HeaderLength > header.TotalByteLength) {
    return detail::Fail(error, "block lengths out of range");
  }
  out->perfTime = header.PerfTime.QuadPart;
  out->perfFreq = header.PerfFreq.QuadPart;
  out->perfTime100nSec = header.PerfTime100nSec.QuadPart;
  all.ReadUtf16(header.SystemNameOffset, header.SystemNameLength, &out->systemName);
  size_t at = header.HeaderLength;
  for (DWORD o = 0; o < header.NumObjectTypes; ++o) {
    PERF_OBJECT_TYPE object;
    if (!all.Read(at, &object) || object.TotalByteLength < sizeof(object) ||
        object.TotalByteLength > header.TotalByteLength - at) {
      return detail::Fail(error, "object " + std::to_string(o) + " outside the block");
    }
    DecodedObject decoded;
    if (!detail::DecodeObject(detail::ByteRange(data + at, object.TotalByteLength), &decoded,
                              error)) {
      if (error) *error = "object " + std::to_string(o) + ": " + *error;
      return false;
    }
    out->objects.push_back(std::move(decoded));
    at += object.TotalByteLength;
  }
  return true;
}

}  // namespace wlperf
