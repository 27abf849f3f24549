// Common definitions of the MFC run-time stand-in (libwlmfc.so): the Win32
// types it builds on, its export marker and the TCHAR mapping of a Unicode
// build (TCHAR is WCHAR, which is char16_t here).
#pragma once

#include "win32/types.h"

#define WLMFC_API __attribute__((visibility("default")))

#ifndef _UNICODE
#define _UNICODE 1
#endif
#ifndef UNICODE
#define UNICODE 1
#endif

typedef WCHAR TCHAR;
typedef LPWSTR LPTSTR;
typedef LPCWSTR LPCTSTR;

// A string literal of the Unicode build: _T("text") is u"text".
#define _T(text) u##text
#define _TEXT(text) u##text

// Diagnostics of a release build of the run-time: they vanish.
#define ASSERT(expression) ((void)0)
#define VERIFY(expression) ((void)(expression))
#define ASSERT_VALID(object) ((void)0)
