// The history page cache: per control one write page and one read page of
// 4096 bytes (1024 slots of 32 bits), loaded from and written back to the
// control's history file; and the agent's single pair of conversion pages that
// copy samples from an old history file into a new one during a bucket change.
//
// Ownership: the cache owns its entries and page buffers; the conversion pages
// borrow the two streams handed to obtainConversionPages until release.
// Thread safety: all functions expect controlSemaphore held (or start-up).
#pragma once

#include <cstdio>

#include "win32/types.h"

namespace trend {

constexpr DWORD kSlotBytes = 4;
constexpr DWORD kPageBytes = kSlotBytes << 10;  // 4096
constexpr DWORD kSlotsPerPage = kPageBytes / kSlotBytes;

// One control's cached pages; kept in sampleCacheList, newest first.
struct SampleCache {
  DWORD controlIndex = 0;
  BYTE* writePage = nullptr;
  BYTE* readPage = nullptr;
  DWORD writePageNo = 0;
  DWORD readPageNo = 0;
  bool writeClean = true;    // writePage equals the file
  bool readValid = true;     // false: a store went into the read page's page number
  bool writeLoaded = false;  // writePage has been set up
  bool readLoaded = false;   // readPage has been loaded
  DWORD slotBytes = kSlotBytes;
  DWORD pageBytes = kPageBytes;
  DWORD slotsPerPage = kSlotsPerPage;
  SampleCache* next = nullptr;
};

extern SampleCache* sampleCacheList;

// 0 stored; -1 the page could not be prepared (also when the samples of the
// page held so far could not be written back: they stay, and the ring must
// not move on); -3 no such control or no memory.
int storeSample(DWORD controlIndex, DWORD slot, LONG value);
// 0 and *value; -1 the page could not be loaded; -2 no such control or no memory.
int fetchSample(DWORD controlIndex, DWORD slot, LONG* value);
// Writes back the entry's write page: 0 (also when the write-back failed and
// the page stays dirty), or -1 when the control has no entry.
int flushControlCache(DWORD controlIndex);
void flushAllCaches();
// Unlinks and frees the entry without writing it back.
void dropControlCache(DWORD controlIndex);
// flushAllCaches, then frees every entry.
void dropAllCaches();
// True when the control's write page holds samples its file does not.
bool cacheHoldsUnwrittenSamples(DWORD controlIndex);
// The entry's page size, 0 when the control has no entry.
DWORD cachePageBytesForTesting(DWORD controlIndex);

// Conversion pages. The old ring as it was when the conversion started.
struct ConversionRing {
  DWORD head = 0;
  DWORD tail = 0;
  DWORD sampleIndex = 0;
  DWORD buckets = 0;
};
// Allocates (first use) and zeroes both buffers and binds the two streams.
// 0, or 1 after the quiet console line when memory is short.
int obtainConversionPages(FILE* oldFile, FILE* newFile, const ConversionRing& oldRing);
// The value in old slot q, loading its page from the old file when needed;
// bytes beyond the end of the old file read as zero.
LONG readOldSlot(DWORD oldSlot);
// Puts the value into new slot i, writing back the previous new page when the
// slot lies in another page. 0, or 1 when that write-back failed.
int storeNewSlot(DWORD newSlot, LONG value);
// Writes back the last new page, frees both buffers, forgets the streams and
// the snapshot. 0, or 1 when the write-back failed.
int releaseConversionPages();
// The snapshot taken by obtainConversionPages (zeroes outside a conversion).
const ConversionRing& conversionOldRingForTesting();

}  // namespace trend
