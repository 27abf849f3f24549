// Arbitrary templates through FormatMessageA and FormatMessageW. Every insert
// argument points at memory that is a valid string in both widths, so any
// insert format is safe to apply.
#include <cstdint>
#include <cstring>
#include <string>

#include "win32/resources.h"

namespace {
// As 8-bit text "a"; as UTF-16 "ab".
const char16_t kText[] = u"ab";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 1) return 0;
  const DWORD flags = bytes[0];
  const std::string text(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  DWORD_PTR args[99];
  for (DWORD_PTR& arg : args) arg = reinterpret_cast<DWORD_PTR>(kText);
  const DWORD base = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  const DWORD extra = ((flags & 1) ? FORMAT_MESSAGE_IGNORE_INSERTS : 0) | ((flags >> 1) & 0x7F);
  static char narrow[1 << 16];
  FormatMessageA(base | extra, text.c_str(), 0, 0, narrow, sizeof narrow,
                 reinterpret_cast<va_list*>(args));
  std::u16string wideText(text.size() / 2, u'\0');
  memcpy(wideText.data(), text.data(), wideText.size() * 2);
  static WCHAR wide[1 << 16];
  FormatMessageW(base | extra, wideText.c_str(), 0, 0, wide, 1 << 16,
                 reinterpret_cast<va_list*>(args));
  return 0;
}
