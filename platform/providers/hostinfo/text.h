// Text helpers of the providers: trimming, bounded number parsing, UTF-8 and
// UTF-16 conversion into fixed-size record fields.
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win32/types.h"

namespace wl::host {

std::string_view Trim(std::string_view text);
// Words separated by blanks (space, tab, newline).
std::vector<std::string_view> Words(std::string_view text);
// The whole of `text` (after trimming) as an unsigned number in `base`, with
// an optional "0x" prefix for base 16; false when empty, malformed or above
// `maximum`.
bool ParseUnsigned(std::string_view text, uint64_t* value, int base = 10,
                   uint64_t maximum = UINT64_MAX);

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Copies `text` into a field of `capacity` wide characters, truncated (never
// inside a surrogate pair) so that the terminator always fits.
void CopyWide(WCHAR* field, size_t capacity, std::string_view text);
template <size_t N>
void CopyWide(WCHAR (&field)[N], std::string_view text) {
  CopyWide(field, N, text);
}
// The text of a field of `capacity` wide characters, up to its terminator.
std::u16string_view WideField(const WCHAR* field, size_t capacity);

// Orders names so that "sda2" < "sda10" (digit runs compare as numbers).
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace wl::host
