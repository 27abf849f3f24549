// The per-control sample page cache and the conversion pages.
#include "agent/trend/page_cache.h"

#include <cstring>
#include <new>
#include <unordered_map>

#include "agent/common/little_endian.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/output.h"

namespace trend {

SampleCache* sampleCacheList = nullptr;

namespace {

// The entries of sampleCacheList by control number, kept beside the list by
// every function here that links or unlinks an entry.
std::unordered_map<DWORD, SampleCache*>& entryIndex() {
  static auto* index = new std::unordered_map<DWORD, SampleCache*>();
  return *index;
}

SampleCache* findEntry(DWORD controlIndex) {
  const auto& index = entryIndex();
  auto it = index.find(controlIndex);
  return it == index.end() ? nullptr : it->second;
}

// A new entry at the front of the list, or null when the control does not
// exist or memory is short.
SampleCache* createEntry(DWORD controlIndex) {
  if (findControl(controlIndex) == nullptr) return nullptr;
  SampleCache* entry = new (std::nothrow) SampleCache();
  if (entry == nullptr) return nullptr;
  entry->controlIndex = controlIndex;
  try {
    entryIndex().emplace(controlIndex, entry);
  } catch (const std::bad_alloc&) {
    delete entry;
    return nullptr;
  }
  entry->next = sampleCacheList;
  sampleCacheList = entry;
  return entry;
}

void freeEntry(SampleCache* entry) {
  delete[] entry->writePage;
  delete[] entry->readPage;
  delete entry;
}

// Slots are 32-bit little-endian; callers keep `position` below slotsPerPage.
LONG slotValue(const BYTE* page, DWORD position) {
  return wlcommon::loadLe32Signed(page + position * kSlotBytes);
}

void setSlotValue(BYTE* page, DWORD position, LONG value) {
  wlcommon::storeLe32(page + position * kSlotBytes, static_cast<uint32_t>(value));
}

bool writePageCovers(const SampleCache* entry, DWORD slot) {
  return entry->writePage != nullptr && entry->writeLoaded &&
         entry->writePageNo == slot / entry->slotsPerPage;
}

bool readPageCovers(const SampleCache* entry, DWORD slot) {
  return entry->readPage != nullptr && entry->readValid && entry->readLoaded &&
         entry->readPageNo == slot / entry->slotsPerPage;
}

int loadReadPage(SampleCache* entry, DWORD slot) {
  if (entry->readPage == nullptr) {
    entry->readPage = new (std::nothrow) BYTE[entry->pageBytes]();
    if (entry->readPage == nullptr) return -1;
  }
  DWORD pageNo = slot / entry->slotsPerPage;
  if (readHistoryPage(entry->controlIndex, pageNo, entry->readPage, entry->pageBytes) != 0) {
    return -1;
  }
  entry->readPageNo = pageNo;
  entry->readLoaded = true;
  entry->readValid = true;
  return 0;
}

// 0 written back or nothing to write; 1 failed (the page stays dirty).
int writeBack(SampleCache* entry) {
  if (entry->writeClean || entry->writePage == nullptr) return 0;
  if (createHistoryFile(entry->controlIndex) != 0) return 1;
  if (writeHistoryPage(entry->controlIndex, entry->writePageNo, entry->writePage,
                       entry->pageBytes) != 0) {
    return 1;
  }
  entry->writeClean = true;
  return 0;
}

// Makes the write page hold the page of `slot`. A page that cannot be read
// from the file starts zero-filled, so a sample never lands in the slot of
// another page. A page whose samples cannot be written back is kept (the
// store that needs another page fails and leaves the ring as it was):
// dropped, its slots would later be read from the file, where older samples'
// values lie.
int prepareWritePage(SampleCache* entry, DWORD slot) {
  if (entry->writePage != nullptr) {
    if (writeBack(entry) != 0) return -1;
  } else {
    entry->writePage = new (std::nothrow) BYTE[entry->pageBytes];
    if (entry->writePage == nullptr) return -1;
  }
  std::memset(entry->writePage, 0, entry->pageBytes);
  DWORD pageNo = slot / entry->slotsPerPage;
  readHistoryPage(entry->controlIndex, pageNo, entry->writePage, entry->pageBytes);
  entry->writePageNo = pageNo;
  entry->writeLoaded = true;
  entry->writeClean = true;
  return 0;
}

// The conversion pages.
struct ConversionPages {
  BYTE* oldRead = nullptr;
  BYTE* newWrite = nullptr;
  int64_t oldReadPageNo = -1;
  int64_t newWritePageNo = -1;
  DWORD slotsPerPage = kSlotsPerPage;
  ConversionRing oldRing;
  FILE* oldFile = nullptr;
  FILE* newFile = nullptr;
};
ConversionPages conversion;

bool seekToPage(FILE* stream, uint64_t pageNo) {
  rewind(stream);
  return fseeko(stream, static_cast<off_t>(kHistoryHeaderBytes + pageNo * kPageBytes), SEEK_SET) ==
         0;
}

int writeBackNewPage() {
  if (conversion.newWritePageNo < 0 || conversion.newWrite == nullptr) return 0;
  FILE* stream = conversion.newFile;
  auto pageNo = static_cast<uint64_t>(conversion.newWritePageNo);
  if (stream == nullptr || !seekToPage(stream, pageNo) ||
      fwrite(conversion.newWrite, 1, kPageBytes, stream) != kPageBytes || fflush(stream) != 0) {
    return 1;
  }
  traceLog("write cache page: %d\n", static_cast<int>(pageNo));
  return 0;
}

}  // namespace

int storeSample(DWORD controlIndex, DWORD slot, LONG value) {
  SampleCache* entry = findEntry(controlIndex);
  if (entry == nullptr) {
    entry = createEntry(controlIndex);
    if (entry == nullptr) return -3;
    if (prepareWritePage(entry, slot) != 0) return -1;
  } else if (!writePageCovers(entry, slot)) {
    if (prepareWritePage(entry, slot) != 0) return -1;
  }
  setSlotValue(entry->writePage, slot % entry->slotsPerPage, value);
  entry->writeClean = false;
  if (entry->readPageNo == entry->writePageNo) entry->readValid = false;
  return 0;
}

int fetchSample(DWORD controlIndex, DWORD slot, LONG* value) {
  SampleCache* entry = findEntry(controlIndex);
  if (entry == nullptr) {
    entry = createEntry(controlIndex);
    if (entry == nullptr) return -2;
  } else if (writePageCovers(entry, slot)) {
    *value = slotValue(entry->writePage, slot % entry->slotsPerPage);
    return 0;
  }
  if (!readPageCovers(entry, slot) && loadReadPage(entry, slot) != 0) return -1;
  *value = slotValue(entry->readPage, slot % entry->slotsPerPage);
  return 0;
}

int flushControlCache(DWORD controlIndex) {
  SampleCache* entry = findEntry(controlIndex);
  if (entry == nullptr) return -1;
  writeBack(entry);
  return 0;
}

void flushAllCaches() {
  for (SampleCache* entry = sampleCacheList; entry != nullptr; entry = entry->next) {
    writeBack(entry);
  }
}

void dropControlCache(DWORD controlIndex) {
  for (SampleCache** link = &sampleCacheList; *link != nullptr; link = &(*link)->next) {
    if ((*link)->controlIndex == controlIndex) {
      SampleCache* entry = *link;
      *link = entry->next;
      entryIndex().erase(controlIndex);
      freeEntry(entry);
      return;
    }
  }
}

void dropAllCaches() {
  flushAllCaches();
  entryIndex().clear();
  while (sampleCacheList != nullptr) {
    SampleCache* entry = sampleCacheList;
    sampleCacheList = entry->next;
    freeEntry(entry);
  }
}

bool cacheHoldsUnwrittenSamples(DWORD controlIndex) {
  const SampleCache* entry = findEntry(controlIndex);
  return entry != nullptr && entry->writePage != nullptr && !entry->writeClean;
}

DWORD cachePageBytesForTesting(DWORD controlIndex) {
  const SampleCache* entry = findEntry(controlIndex);
  return entry == nullptr ? 0 : entry->pageBytes;
}

int obtainConversionPages(FILE* oldFile, FILE* newFile, const ConversionRing& oldRing) {
  if (conversion.oldRead == nullptr) conversion.oldRead = new (std::nothrow) BYTE[kPageBytes];
  if (conversion.newWrite == nullptr) conversion.newWrite = new (std::nothrow) BYTE[kPageBytes];
  if (conversion.oldRead == nullptr || conversion.newWrite == nullptr) {
    quietMessage("CURVEMIB Error: failed to allocate memory from the operating system.\r\n");
    return 1;
  }
  std::memset(conversion.oldRead, 0, kPageBytes);
  std::memset(conversion.newWrite, 0, kPageBytes);
  conversion.oldReadPageNo = -1;
  conversion.newWritePageNo = -1;
  conversion.slotsPerPage = kSlotsPerPage;
  conversion.oldRing = oldRing;
  conversion.oldFile = oldFile;
  conversion.newFile = newFile;
  return 0;
}

LONG readOldSlot(DWORD oldSlot) {
  DWORD pageNo = oldSlot / conversion.slotsPerPage;
  if (conversion.oldReadPageNo != pageNo) {
    // Bytes past the end of the old file read as zero.
    std::memset(conversion.oldRead, 0, kPageBytes);
    if (conversion.oldFile != nullptr && seekToPage(conversion.oldFile, pageNo)) {
      size_t got = fread(conversion.oldRead, 1, kPageBytes, conversion.oldFile);
      (void)got;
    }
    traceLog("read cache page: %d\n", static_cast<int>(pageNo));
    conversion.oldReadPageNo = pageNo;
  }
  return slotValue(conversion.oldRead, oldSlot % conversion.slotsPerPage);
}

int storeNewSlot(DWORD newSlot, LONG value) {
  DWORD pageNo = newSlot / conversion.slotsPerPage;
  int result = 0;
  if (conversion.newWritePageNo != pageNo) {
    result = writeBackNewPage();
    std::memset(conversion.newWrite, 0, kPageBytes);
    if (conversion.newFile != nullptr && seekToPage(conversion.newFile, pageNo)) {
      size_t got = fread(conversion.newWrite, 1, kPageBytes, conversion.newFile);
      (void)got;
    }
    traceLog("get write-cache page: %d\n", static_cast<int>(pageNo));
    conversion.newWritePageNo = pageNo;
  }
  setSlotValue(conversion.newWrite, newSlot % conversion.slotsPerPage, value);
  return result;
}

int releaseConversionPages() {
  int result = writeBackNewPage();
  delete[] conversion.oldRead;
  delete[] conversion.newWrite;
  conversion = ConversionPages();
  return result;
}

const ConversionRing& conversionOldRingForTesting() { return conversion.oldRing; }

}  // namespace trend
