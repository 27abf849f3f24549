// CString::Format with any format string (they may come from string tables)
// and arguments of every kind, too few or too many for the format.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "mfc/afxstr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks how many of the arguments below are given.
  const size_t given = data[0] % 9;
  std::u16string format(size / 2, u'\0');
  if (!format.empty()) std::memcpy(format.data(), data + 1, (size - 1) / 2 * 2);
  format.resize((size - 1) / 2);
  const wlmfc::FormatArg all[] = {
      wlmfc::FormatArg(-42),          wlmfc::FormatArg(u"wide"),
      wlmfc::FormatArg("narrow"),     wlmfc::FormatArg(3.25),
      wlmfc::FormatArg(nullptr),      wlmfc::FormatArg(0xFFFFFFFFFFull),
      wlmfc::FormatArg(&format),      wlmfc::FormatArg(static_cast<const char*>(nullptr)),
      wlmfc::FormatArg(u'\u00e9'),
  };
  CString out;
  wlmfc::FormatTyped(out, format.c_str(), all, given);
  // The result is a proper string: its length matches its terminator.
  const LPCWSTR text = out;
  size_t length = 0;
  while (text[length] != 0) ++length;
  if (length > static_cast<size_t>(out.GetLength())) __builtin_trap();
  return 0;
}
