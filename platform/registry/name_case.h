// How the registry compares key and value names: without regard to case, as
// Windows does, over the names' UTF-8 form. Header-only so that the tools
// share it; no state, any thread.
#pragma once

#include <string>
#include <string_view>

#include "wltext/utf.h"

namespace wl::text {

// 8-bit text given to the registry is UTF-8 where it is well-formed; any other
// byte is a Windows-1252 character, so that every 8-bit name maps to some text.
inline constexpr Malformed kRegistryText = Malformed::kWindows1252;

// The key used to compare names without regard to case: ASCII and Latin-1
// letters fold to upper case as Windows does; other characters compare as is.
inline std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t cp = DecodeUtf8(utf8, &pos, kRegistryText);
    if ((cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)) {
      cp -= 0x20;
    } else if (cp == 0xFF) {
      cp = 0x178;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace wl::text
