// Little-endian fields of fixed record layouts (history file headers, pages of
// samples, ...): the byte order on disk is fixed whatever the host's is.
//
// The unchecked accessors take a pointer to the field's first byte; use them
// on records whose size is known, with offsets checked once by fieldFits in
// a static_assert. Bytes of unknown extent go through the checked readLe32.
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wlcommon {

// True when a field of `width` bytes at `offset` lies inside a record of
// `recordBytes` bytes.
constexpr bool fieldFits(size_t offset, size_t width, size_t recordBytes) {
  return offset <= recordBytes && recordBytes - offset >= width;
}

inline uint32_t loadLe32(const unsigned char* field) {
  return static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 8 |
         static_cast<uint32_t>(field[2]) << 16 | static_cast<uint32_t>(field[3]) << 24;
}

inline int32_t loadLe32Signed(const unsigned char* field) {
  return static_cast<int32_t>(loadLe32(field));
}

inline void storeLe32(unsigned char* field, uint32_t value) {
  field[0] = static_cast<unsigned char>(value);
  field[1] = static_cast<unsigned char>(value >> 8);
  field[2] = static_cast<unsigned char>(value >> 16);
  field[3] = static_cast<unsigned char>(value >> 24);
}

inline uint16_t loadLe16(const unsigned char* field) {
  return static_cast<uint16_t>(field[0] | field[1] << 8);
}

inline void storeLe16(unsigned char* field, uint16_t value) {
  field[0] = static_cast<unsigned char>(value);
  field[1] = static_cast<unsigned char>(value >> 8);
}

// The 32-bit field at `offset` of `length` bytes of data: true and *value, or
// false (and *value untouched) when the field does not lie wholly inside.
inline bool readLe32(const unsigned char* data, size_t length, size_t offset, uint32_t* value) {
  if (data == nullptr || !fieldFits(offset, 4, length)) return false;
  *value = loadLe32(data + offset);
  return true;
}

}  // namespace wlcommon
