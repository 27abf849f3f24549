// Text fields of provider records. A record's string is a fixed array of
// wide characters that should end in a NUL; these helpers never read past
// the array when it does not.
#pragma once

#include <algorithm>
#include <cstddef>

#include "mfc/afxstr.h"
#include "win32/types.h"

// The field's characters up to its first NUL or its end. An empty string
// when memory is short.
template <size_t kChars>
CString HrFieldText(const WCHAR (&field)[kChars]) {
  const WCHAR* end = std::find(field, field + kChars, u'\0');
  const int length = static_cast<int>(end - field);
  CString text;
  WCHAR* buffer = text.GetBuffer(length);
  if (buffer == nullptr) return text;
  std::copy(field, end, buffer);
  buffer[length] = u'\0';
  text.ReleaseBuffer(length);
  return text;
}
