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

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF8 65001u
#define MAX_COMPUTERNAME_LENGTH 15

WL_EXTERN_C_BEGIN
WLAPI HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
WLAPI HGLOBAL GlobalFree(HGLOBAL hMem);
WLAPI HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
// Physical memory from /proc/meminfo, or from the performance data fixture when
// WARDENLINE_PERFDATA is set. Sizes above 4 GiB saturate in 32-bit fields only
// where SIZE_T is 32-bit; here SIZE_T is 64-bit.
WLAPI void GlobalMemoryStatus(LPMEMORYSTATUS lpBuffer);
// The host name, upper case, cut at the first dot, as NetBIOS names are.
WLAPI BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
WLAPI int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                              LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                              LPBOOL lpUsedDefaultChar);
WLAPI int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                              int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);
WLAPI BOOL OemToCharW(LPCSTR pSrc, LPWSTR pDst);
WL_EXTERN_C_END
