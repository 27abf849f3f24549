// Conversions between UTF-16 and the code pages the system uses: Windows-1252
// (the ANSI code page), 437 (the OEM code page) and UTF-8. Internal to the
// platform library; MultiByteToWideChar and friends are built on it.
//
// The 8-bit pages map every byte to one UTF-16 unit and back, so that 8-bit
// text survives a round trip through UTF-16 unchanged: the five bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1
// controls of the same value, as Windows does; bytes 0x00-0x7F of page 437
// are ASCII (no glyph substitution). Encoding to an 8-bit page works per
// UTF-16 unit: a unit without a form in the page becomes the default
// character (no "best fit" substitutes). UTF-8 decoding turns invalid
// sequences into U+FFFD; encoding turns lone surrogates into U+FFFD.
// Thread safety: pure functions.
#pragma once

#include <string>

#include "win32/types.h"

namespace wl {

enum class CodePage { kWindows1252, kOem437, kUtf8 };

// CP_ACP and 1252, CP_OEMCP and 437, CP_UTF8. False for any other page.
bool CodePageFromId(UINT id, CodePage* page);

// Bytes to UTF-16. *hadInvalid (may be null) tells whether UTF-8 input held
// invalid sequences.
std::u16string DecodeCodePage(CodePage page, const char* data, size_t size,
                              bool* hadInvalid = nullptr);

// UTF-16 to bytes. *usedDefault (may be null) tells whether defaultChar was
// used; it is never used for UTF-8.
std::string EncodeCodePage(CodePage page, const char16_t* text, size_t size, char defaultChar,
                           bool* usedDefault = nullptr);

}  // namespace wl
