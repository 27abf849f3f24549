// The disk signature of an identifier against the C library's reading of the
// same field: units are bytes, with the high bit moved to bit 8 so that
// non-ASCII units (which end a number) come up too. For ASCII input the
// result must equal strtoull of the field in base 16, saturated at 32 bits;
// for any input the parser must stay within the given length.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent/hostres/disk_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size heap copy, so that a read past the length is caught.
  std::vector<char16_t> units(size);
  bool ascii = true;
  for (size_t i = 0; i < size; ++i) {
    units[i] = static_cast<char16_t>((data[i] & 0x80 ? 0x100 : 0) | (data[i] & 0x7F));
    if (units[i] >= 0x80) ascii = false;
  }
  const DWORD signature = HrDiskSignature(units.data(), units.size());
  if (!ascii) return 0;

  size_t end = 0;
  while (end < size && units[end] != u'\0') ++end;
  const std::string text(units.begin(), units.begin() + static_cast<ptrdiff_t>(end));
  const size_t dash = text.find('-');
  DWORD expected = 0;
  if (dash != std::string::npos) {
    std::string field = text.substr(dash + 1, 65);
    field = field.substr(0, field.find('-'));
    errno = 0;
    const unsigned long long value = strtoull(field.c_str(), nullptr, 16);
    expected = errno == ERANGE || value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(value);
  }
  if (signature != expected) abort();
  return 0;
}
