// Memory, system information and code-page conversion.
// GlobalAlloc/GlobalFree: memory that crosses between the SNMP service and its
// extension agents; any thread may free what another allocated.
#pragma once

#include "win32/types.h"

#define GMEM_FIXED 0x0000u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u

#define GMEM_MOVEABLE 0x0002u
#define LMEM_MOVEABLE 0x0002u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u

#ifndef ERROR_BUFFER_OVERFLOW
#define ERROR_BUFFER_OVERFLOW 111L
#endif

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF8 65001u
#define MAX_COMPUTERNAME_LENGTH 15

// GlobalAlloc/LocalAlloc return the block's address as its handle (moveable
// blocks are fixed here); GMEM_ZEROINIT zeroes it; a size of 0 still gives a
// distinct block. NULL with ERROR_NOT_ENOUGH_MEMORY when memory is short.
// GlobalFree/LocalFree free the block and return NULL; NULL is accepted.
//
// Code pages: CP_ACP is Windows-1252, CP_OEMCP is 437, and CP_UTF8. A UTF-16
// unit without a form in an 8-bit page becomes the default character
// (lpDefaultChar, else "?") without "best fit" substitutes, and
// *lpUsedDefaultChar tells whether that happened. A length of -1 means a
// NUL-terminated input and then counts the terminator; an output size of 0
// asks for the size needed; a buffer too small fails with
// ERROR_INSUFFICIENT_BUFFER.
WL_EXTERN_C_BEGIN
WLAPI HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
WLAPI HGLOBAL GlobalFree(HGLOBAL hMem);
WLAPI HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
// Physical memory from /proc/meminfo, or from the performance data fixture when
// WARDENLINE_PERFDATA is set. Sizes above 4 GiB saturate in 32-bit fields only
// where SIZE_T is 32-bit; here SIZE_T is 64-bit.
WLAPI void GlobalMemoryStatus(LPMEMORYSTATUS lpBuffer);
// The host name, upper case, cut at the first dot and at
// MAX_COMPUTERNAME_LENGTH characters, as NetBIOS names are. *nSize is the
// buffer size in; the length without terminator out; when the buffer is too
// small: FALSE, ERROR_BUFFER_OVERFLOW and *nSize set to the size needed.
WLAPI BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
WLAPI int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                              LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                              LPBOOL lpUsedDefaultChar);
WLAPI int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                              LPWSTR lpWideCharStr, int cchWideChar);
WLAPI BOOL OemToCharW(LPCSTR pSrc, LPWSTR pDst);
WL_EXTERN_C_END
