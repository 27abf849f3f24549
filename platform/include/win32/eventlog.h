// The event log. Records are kept in a SQLite store beside the registry and
// also sent to syslog; `wlevent` lists them. Thread safety: any thread.
#pragma once

#include "win32/types.h"

#define EVENTLOG_SUCCESS 0x0000u
#define EVENTLOG_ERROR_TYPE 0x0001u
#define EVENTLOG_WARNING_TYPE 0x0002u
#define EVENTLOG_INFORMATION_TYPE 0x0004u
#define EVENTLOG_AUDIT_SUCCESS 0x0008u
#define EVENTLOG_AUDIT_FAILURE 0x0010u

typedef void* PSID;

WL_EXTERN_C_BEGIN
WLAPI HANDLE RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);
WLAPI BOOL ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                        PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings,
                        LPVOID lpRawData);
WLAPI BOOL DeregisterEventSource(HANDLE hEventLog);
WL_EXTERN_C_END
