// Placeholder until the performance data provider exists: no data.
#include "../core/perf_seam.h"

namespace wl {

LONG QueryPerformanceData(const char*, DWORD*, BYTE*, DWORD*) { return ERROR_FILE_NOT_FOUND; }
bool FixtureMemoryStatus(MEMORYSTATUS*) { return false; }
bool FixtureDiskSpace(const std::string&, bool*, unsigned long long*, unsigned long long*) {
  return false;
}

void PerflibLastIndexes(DWORD* lastCounter, DWORD* lastHelp) {
  *lastCounter = 0;
  *lastHelp = 0;
}

}  // namespace wl
