// Text from provider records and the library's string table, for the table
// builders.
#pragma once

#include <stddef.h>

#include <algorithm>
#include <iterator>

#include "mfc/afxstr.h"

// A provider's fixed-size string field: the characters up to its first NUL,
// never beyond the field, whether or not it holds a terminator.
inline CString HrFieldText(const WCHAR* field, size_t chars) {
  const WCHAR* end = std::find(field, field + chars, u'\0');
  CString text;
  const int length = static_cast<int>(end - field);
  WCHAR* buffer = text.GetBuffer(length);
  if (buffer == nullptr) return text;
  std::copy(field, end, buffer);
  buffer[length] = u'\0';
  text.ReleaseBuffer(length);
  return text;
}

template <size_t kChars>
CString HrFieldText(const WCHAR (&field)[kChars]) {
  return HrFieldText(field, kChars);
}

// String `id` of the library's string table, or `builtIn` (the same text)
// when the table cannot be read, as in test programs that link the library
// without its resources.
inline CString HrLoadText(UINT id, const WCHAR* builtIn) {
  CString text;
  if (!text.LoadString(id)) text = builtIn;
  return text;
}
