// Registry functions. The store is a SQLite database shared by every process
// (see docs/platform.md); HKEY_PERFORMANCE_DATA answers from the performance
// data provider. Results are Win32 error codes (LONG), ERROR_SUCCESS on success.
// Thread safety: every function may be called from any thread and process.
#pragma once

#include "win32/types.h"

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)0x80000004u)

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

WL_EXTERN_C_BEGIN
WLAPI LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                         PHKEY phkResult);
WLAPI LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                         PHKEY phkResult);
WLAPI LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                           DWORD dwOptions, REGSAM samDesired,
                           LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                           LPDWORD lpdwDisposition);
WLAPI LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                           DWORD dwOptions, REGSAM samDesired,
                           LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                           LPDWORD lpdwDisposition);
WLAPI LONG RegCloseKey(HKEY hKey);
WLAPI LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                            LPBYTE lpData, LPDWORD lpcbData);
WLAPI LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                            LPBYTE lpData, LPDWORD lpcbData);
WLAPI LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                          const BYTE* lpData, DWORD cbData);
WLAPI LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                          const BYTE* lpData, DWORD cbData);
WLAPI LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                         LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
WLAPI LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                         LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
WLAPI LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                         LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                         PFILETIME lpftLastWriteTime);
WLAPI LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                         LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                         PFILETIME lpftLastWriteTime);
WLAPI LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
WLAPI LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
WLAPI LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
WLAPI LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
WLAPI LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                            LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                            LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                            LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
WLAPI LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                            LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                            LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                            LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
WLAPI LONG RegFlushKey(HKEY hKey);

// Not Win32: runs body(context) as one registry transaction. Every change the
// body makes from this thread is committed together when it returns
// ERROR_SUCCESS and undone otherwise; no process ever sees a part of it, and a
// process killed during it leaves the registry as it was before. Returns the
// body's result, or the commit's error. Other threads of this process wait for
// the registry until it ends; other processes' writers wait up to 5 seconds.
WLAPI LONG wl_RegTransaction(LONG (*body)(void* context), void* context);
WL_EXTERN_C_END
