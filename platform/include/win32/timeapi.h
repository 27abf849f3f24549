// Clocks and time conversions. Every clock of the system goes through here so
// that tests can move it: WARDENLINE_CLOCK_OFFSET_FILE names a file holding a
// signed number of seconds added to the calendar clock (re-read when the file
// changes); unit tests may install a clock directly (platform/sync/clock.h).
// Thread safety: any thread.
#pragma once

#include <time.h>

#include "win32/types.h"

#define TIME_ZONE_ID_UNKNOWN 0u
#define TIME_ZONE_ID_STANDARD 1u
#define TIME_ZONE_ID_DAYLIGHT 2u
#define TIME_ZONE_ID_INVALID 0xFFFFFFFFu

WL_EXTERN_C_BEGIN
// Calendar time in seconds since 1970, as the C run-time's time() gives it,
// with the test offset applied. Stores the result through t when not null.
WLAPI time_t wl_time(time_t* t);
// Milliseconds since boot, 32-bit, wrapping.
WLAPI DWORD GetTickCount(void);
WLAPI void GetLocalTime(LPSYSTEMTIME lpSystemTime);
WLAPI void GetSystemTime(LPSYSTEMTIME lpSystemTime);
WLAPI DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);
WLAPI BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
WLAPI BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
WLAPI BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);

// Not Win32: test seams. A null source restores the real clock. The calendar
// source replaces time(); the offset file still applies on top of it.
typedef time_t (*WlCalendarSource)(void);
typedef DWORD (*WlTickSource)(void);
WLAPI void wl_set_calendar_source(WlCalendarSource source);
WLAPI void wl_set_tick_source(WlTickSource source);

// Not Win32: an auto-reset event set whenever the calendar clock moves other
// than by running: the offset file is written, created, replaced or removed,
// or the system clock is set. A thread that sleeps until a calendar time waits
// on it with a timeout instead of waking often to look. Created, with a watcher
// thread that sleeps until one of those happens, on the first call; both last
// as long as the process: never close the handle. Meant for one waiter. Null
// when the watcher cannot be set up (the caller must then look for itself).
// The offset file's name is read once, at that first call.
WLAPI HANDLE wl_clock_change_event(void);
WL_EXTERN_C_END
