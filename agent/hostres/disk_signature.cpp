#include "agent/hostres/disk_signature.h"

#include <cstdint>

namespace {

// The work buffer of the field holds 66 characters, one of them the
// terminator.
constexpr size_t kFieldChars = 65;

bool IsBlank(WCHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int HexDigit(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

DWORD HrDiskSignature(const WCHAR* text, size_t length) {
  if (text == nullptr) return 0;
  size_t at = 0;
  while (at < length && text[at] != u'\0' && text[at] != u'-') ++at;
  if (at >= length || text[at] != u'-') return 0;
  const size_t begin = at + 1;
  size_t end = begin;
  while (end < length && end - begin < kFieldChars && text[end] != u'\0' && text[end] != u'-') {
    ++end;
  }

  size_t i = begin;
  while (i < end && IsBlank(text[i])) ++i;
  if (i < end && text[i] == u'+') ++i;
  // "0x" counts as a prefix only when a hex digit follows; otherwise the "0"
  // is the number.
  if (i + 2 < end && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
      HexDigit(text[i + 2]) >= 0) {
    i += 2;
  }
  uint64_t value = 0;
  for (; i < end; ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) break;
    value = value * 16 + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFu) value = 0x100000000u;  // saturates, stays small
  }
  return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(value);
}
