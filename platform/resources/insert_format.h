// The printf-style part of a message insert: the text between the exclamation
// marks of "%1!d!", "%2!#x!", "%1!ld!", "%3!-10s!". Internal to the platform
// library; no state, any thread.
//
// Accepted: flags "-+ #0", a width and a precision of at most four digits, a
// size prefix ("h", "l", "ll", "w", "I32", "I64"), and one of the conversions
// d i u o x X c C s S p. Sizes follow Windows: "l" is 32 bits like "d", only
// "ll" and "I64" take 64 bits; "s" is a string of the caller's form (8-bit for
// FormatMessageA, UTF-16 for FormatMessageW), "S", "hs" / "ls", "ws" pick the
// other or a given width, and "c" / "C" likewise for one character.
#pragma once

#include <cstdint>
#include <string>

namespace wl::msg {

struct InsertSpec {
  std::string flags;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  enum Size { kDefault, kShort, kLong32, kLong64 } size = kDefault;
  bool forceWide = false;    // "l", "w" on s/c, or "S"/"C" in the 8-bit form
  bool forceNarrow = false;  // "h" on s/c, or "S"/"C" in the UTF-16 form
  char conversion = 's';
};

// Parses the text between the exclamation marks. False for anything else.
bool ParseInsertSpec(const std::string& text, bool wideForm, InsertSpec* spec);

// Formats one argument slot (a pointer-sized value, or a 64-bit one for the
// 64-bit sizes) and appends the result as UTF-8 (8-bit text of the A form is
// passed through as its bytes). A null string pointer gives "(null)".
void AppendInsert(const InsertSpec& spec, bool wideForm, uint64_t slot, std::string* out);

}  // namespace wl::msg
