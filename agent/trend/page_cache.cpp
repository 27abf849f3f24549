// Placeholder bodies: succeed without effect until the page cache exists.
#include "agent/trend/page_cache.h"

namespace trend {

int storeSample(DWORD, DWORD, LONG) { return 0; }
int fetchSample(DWORD, DWORD, LONG* value) {
  *value = -1;
  return 0;
}
int flushControlCache(DWORD) { return -1; }
void flushAllCaches() {}
void dropControlCache(DWORD) {}
void dropAllCaches() {}
DWORD cachePageBytes(DWORD) { return 0; }

}  // namespace trend
