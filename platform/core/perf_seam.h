// Seams between platform areas that would otherwise depend on each other.
// The performance data area (platform/perflib) implements them; the registry
// and the memory/disk functions call them. Internal to the platform library.
#pragma once

#include <string>

#include "win32/types.h"

namespace wl {

// Answers RegQueryValueExA on HKEY_PERFORMANCE_DATA for `valueName` ("Global",
// "Counter 009", or object indexes separated by blanks). Win32 results:
// ERROR_SUCCESS, ERROR_MORE_DATA with *size set to the size needed, or another
// error code. `type` may be null; `data` may be null to ask for the size.
LONG QueryPerformanceData(const char* valueName, DWORD* type, BYTE* data, DWORD* size);

// When the performance data fixture (WARDENLINE_PERFDATA) is in use, fills
// *status from it and returns true; otherwise returns false.
bool FixtureMemoryStatus(MEMORYSTATUS* status);

// When the fixture is in use, returns true and sets *found, and when found the
// drive's sizes in bytes; `drive` is like "C:". Otherwise returns false.
bool FixtureDiskSpace(const std::string& drive, bool* found, unsigned long long* totalBytes,
                      unsigned long long* freeBytes);

// The values "Last Counter" and "Last Help" of HKLM "SOFTWARE\Microsoft\Windows
// NT\CurrentVersion\Perflib", matching the counter-name table in use. The
// registry answers that key from here: it always exists and these two values
// are always present (unless the key stores values of its own by those names).
void PerflibLastIndexes(DWORD* lastCounter, DWORD* lastHelp);

}  // namespace wl
