// Module handles and module resources (message tables, string tables).
//
// A module (shared library or program) carries its resources by defining the
// exported symbol WL_MODULE_RESOURCES_SYMBOL ("wl_module_resources") of type
// WlModuleResources; WL_DEFINE_MODULE_RESOURCES below does it. FormatMessage
// with FORMAT_MESSAGE_FROM_HMODULE and LoadString look the symbol up in the
// module (a null module handle means the main program).
// Thread safety: any thread.
#pragma once

#include <stdarg.h>

#include "win32/types.h"

typedef struct WlMessageEntry {
  DWORD id;
  const char* text;  // UTF-8 (ASCII for the system's own tables)
} WlMessageEntry;

typedef struct WlModuleResources {
  const WlMessageEntry* messages;  // message table, ascending ids
  DWORD messageCount;
  const WlMessageEntry* strings;  // string table, ascending ids
  DWORD stringCount;
} WlModuleResources;

#define WL_MODULE_RESOURCES_SYMBOL "wl_module_resources"
// Every module defines the same name on purpose; the address sanitizer must not
// take that for a one-definition-rule violation.
#if defined(__clang__)
#define WL_MODULE_RESOURCES_ATTRIBUTES \
  __attribute__((visibility("default"), no_sanitize("address")))
#else
#define WL_MODULE_RESOURCES_ATTRIBUTES __attribute__((visibility("default")))
#endif
#define WL_DEFINE_MODULE_RESOURCES(messages, strings)                                       \
  extern "C" WL_MODULE_RESOURCES_ATTRIBUTES const WlModuleResources wl_module_resources = { \
      messages, sizeof(messages) / sizeof((messages)[0]), strings,                          \
      sizeof(strings) / sizeof((strings)[0])}

// DllMain reasons. A module that exports "DllMain" (BOOL DllMain(HINSTANCE,
// DWORD reason, LPVOID)) has it called by LoadLibraryA when the module gains
// its first reference and by FreeLibrary when it loses its last one.
#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u
// LoadLibraryExA flags: a data file load never runs DllMain.
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001u
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002u

typedef BOOL (*WL_DLL_ENTRY)(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

WL_EXTERN_C_BEGIN
// LoadLibraryA: a module gaining its first reference has its DllMain (if it
// exports one) called with DLL_PROCESS_ATTACH; FALSE unloads it again (after a
// DLL_PROCESS_DETACH call), logs one line on standard error and fails with
// ERROR_DLL_INIT_FAILED. DllMain calls are serialized by one process-wide
// recursive lock (the loader lock): a DllMain must not wait for a thread that
// is itself in LoadLibraryA or FreeLibrary of a module with a DllMain.
WLAPI HMODULE LoadLibraryA(LPCSTR lpLibFileName);
// With LOAD_LIBRARY_AS_DATAFILE or DONT_RESOLVE_DLL_REFERENCES the module is
// mapped (or counted again) for its resources only: DllMain is not called and
// the loader lock is not taken. Other flags are as for LoadLibraryA.
WLAPI HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
// The last reference (LoadLibraryA and LoadLibraryExA references together)
// runs DllMain with DLL_PROCESS_DETACH before the module is unloaded.
WLAPI BOOL FreeLibrary(HMODULE hLibModule);
WLAPI void* GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
WLAPI HMODULE GetModuleHandleA(LPCSTR lpModuleName);
WLAPI DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
WLAPI DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                           LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
WLAPI DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                           LPWSTR lpBuffer, DWORD nSize, va_list* Arguments);
WLAPI int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
WLAPI int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
WLAPI HLOCAL LocalFree(HLOCAL hMem);
WL_EXTERN_C_END
