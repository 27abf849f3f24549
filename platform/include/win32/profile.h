// Profile (INI) file functions with Win32 semantics. Paths are Windows paths
// mapped as in files.h. Thread safety: any thread.
#pragma once

#include "win32/types.h"

WL_EXTERN_C_BEGIN
WLAPI DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                     LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);
WLAPI DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                     LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
WLAPI UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                 LPCSTR lpFileName);
WLAPI UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                 LPCWSTR lpFileName);
WLAPI BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                      LPCSTR lpFileName);
WLAPI BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                      LPCWSTR lpFileName);
WL_EXTERN_C_END
