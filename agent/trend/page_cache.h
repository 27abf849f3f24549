// The history page cache: per control one write page and one read page of
// 4096 bytes (1024 slots of 32 bits), loaded from and written back to the
// control's history file.
// Thread safety: all functions expect controlSemaphore held.
#pragma once

#include "win32/types.h"

namespace trend {

// 0 stored; -1 the page could not be prepared; -3 no such control or no memory.
int storeSample(DWORD controlIndex, DWORD slot, LONG value);
// 0 and *value; -1 the page could not be loaded; -2 no such control or no memory.
int fetchSample(DWORD controlIndex, DWORD slot, LONG* value);
// 0, or -1 when the control has no entry.
int flushControlCache(DWORD controlIndex);
void flushAllCaches();
void dropControlCache(DWORD controlIndex);
void dropAllCaches();
DWORD cachePageBytes(DWORD controlIndex);

}  // namespace trend
