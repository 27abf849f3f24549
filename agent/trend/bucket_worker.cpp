// The bucket-change request queue, its worker thread, and the conversion of a
// history file to a new ring size.
#include "agent/trend/bucket_worker.h"

#include <cstring>

#include "agent/trend/agent_state.h"
#include "agent/trend/history_file.h"
#include "agent/trend/output.h"
#include "agent/trend/page_cache.h"
#include "win32/windows.h"

namespace trend {

namespace {

struct BucketRequest {
  bool inUse = false;
  DWORD newBuckets = 0;
  Control* control = nullptr;
};

BucketRequest requestQueue[kBucketQueueEntries];
WORD readPosition = 0;
WORD writePosition = 0;
WORD requestCount = 0;

HANDLE workerThread = nullptr;
// The worker waits on this auto-reset event between requests; a wake-up that
// arrives while it is busy stays signalled, so none is lost.
HANDLE workerWake = nullptr;

void emptyRequestQueue() {
  for (BucketRequest& entry : requestQueue) entry = BucketRequest();
  readPosition = 0;
  writePosition = 0;
  requestCount = 0;
}

bool takeRequest(BucketRequest* request) {
  if (requestCount == 0) return false;
  BucketRequest& entry = requestQueue[readPosition];
  *request = entry;
  entry = BucketRequest();
  --requestCount;
  readPosition = static_cast<WORD>((readPosition + 1) % kBucketQueueEntries);
  return true;
}

bool hasSignature(const Control* control) {
  return std::memcmp(control->signature, kHistorySignature, sizeof kHistorySignature) == 0;
}

DWORD WINAPI bucketWorkerMain(LPVOID) {
  for (;;) {
    WaitForSingleObject(workerWake, INFINITE);
    WaitForSingleObject(controlSemaphore, INFINITE);
    BucketRequest request;
    while (takeRequest(&request)) {
      if (hasSignature(request.control)) convertHistoryBuckets(request.control, request.newBuckets);
    }
    ReleaseSemaphore(controlSemaphore, 1, nullptr);
  }
  return 0;
}

// The ring after keeping the newest k of the old samples in new slots 0..k-1.
void relayoutRing(Control* control, DWORD newBuckets) {
  DWORD kept = control->numOfSample < newBuckets ? control->numOfSample : newBuckets;
  control->sampleIndex += control->numOfSample - kept;
  control->head = kept == 0 ? 0 : kept - 1;
  control->tail = 0;
  control->numOfSample = kept;
}

void closeIfOpen(FILE* stream) {
  if (stream != nullptr) fclose(stream);
}

}  // namespace

int startBucketWorker() {
  emptyRequestQueue();
  if (workerWake == nullptr) workerWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD threadId = 0;
  if (workerWake != nullptr) {
    workerThread = CreateThread(nullptr, 0, bucketWorkerMain, nullptr, CREATE_SUSPENDED, &threadId);
  }
  if (workerThread == nullptr) {
    reportThreadFailure();
    return 1;
  }
  emptyRequestQueue();
  return 0;
}

void resumeBucketWorker() {
  if (workerThread == nullptr) return;
  SetEvent(workerWake);
  ResumeThread(workerThread);
}

void stopBucketWorker() {
  if (workerThread == nullptr) return;
  TerminateThread(workerThread, 0);
  ResumeThread(workerThread);  // a worker never started ends at once
  WaitForSingleObject(workerThread, 5000);
  CloseHandle(workerThread);
  workerThread = nullptr;
  emptyRequestQueue();
}

int requestBucketChange(Control* control, DWORD newBuckets) {
  BucketRequest& entry = requestQueue[writePosition];
  if (entry.inUse) return 1;
  entry.control = control;
  entry.newBuckets = newBuckets;
  entry.inUse = true;
  ++requestCount;
  writePosition = static_cast<WORD>((writePosition + 1) % kBucketQueueEntries);
  return 0;
}

int rename_trend_file(DWORD controlIndex, const char* newExtension) {
  std::string target = historyFilePath(controlIndex, newExtension);
  DeleteFileA(target.c_str());
  return MoveFileA(historyFilePath(controlIndex).c_str(), target.c_str()) ? 0 : 1;
}

int create_new_size_trend_file(Control* control, DWORD oldBuckets, DWORD newBuckets) {
  ConversionRing oldRing;
  oldRing.head = control->head;
  oldRing.tail = control->tail;
  oldRing.sampleIndex = control->sampleIndex;
  oldRing.buckets = oldBuckets;

  Control fresh = *control;
  fresh.bucketsGranted = newBuckets;
  fresh.head = 0;
  fresh.tail = 0;
  fresh.sampleIndex = 1;
  fresh.numOfSample = 0;
  BYTE image[kHistoryHeaderBytes];
  buildHistoryHeaderImage(fresh, image);

  std::string newPath = historyFilePath(control->controlIndex);
  FILE* newFile = wl_fopen(newPath.c_str(), "wb+");
  if (newFile != nullptr) setvbuf(newFile, nullptr, _IONBF, 0);
  if (newFile == nullptr || fwrite(image, 1, sizeof image, newFile) != sizeof image ||
      fflush(newFile) != 0) {
    quietMessage("CURVEMIB Error: unable to open the file - %s.\r\n", newPath.c_str());
    closeIfOpen(newFile);
    return 1;
  }
  std::string oldPath = historyFilePath(control->controlIndex, "NT$");
  FILE* oldFile = wl_fopen(oldPath.c_str(), "rb");
  if (oldFile == nullptr) {
    quietMessage("CURVEMIB Error: unable to open the file - %s.\r\n", oldPath.c_str());
    fclose(newFile);
    return 1;
  }
  if (obtainConversionPages(oldFile, newFile, oldRing) != 0) {
    releaseConversionPages();
    fclose(oldFile);
    fclose(newFile);
    return 1;
  }

  // Keep the newest samples: s older ones are left behind when the ring shrinks.
  DWORD kept = control->numOfSample < newBuckets ? control->numOfSample : newBuckets;
  if (oldBuckets == 0) kept = 0;
  DWORD skipped = control->numOfSample - kept;
  int failed = 0;
  for (DWORD i = 0; i < kept && failed == 0; ++i) {
    DWORD oldSlot =
        static_cast<DWORD>((static_cast<uint64_t>(oldRing.tail) + skipped + i) % oldBuckets);
    failed = storeNewSlot(i, readOldSlot(oldSlot));
  }
  if (releaseConversionPages() != 0) failed = 1;
  if (failed == 0) {
    traceLog("new head: %d\n", static_cast<int>(kept));
    Control converted = *control;
    converted.bucketsGranted = newBuckets;
    relayoutRing(&converted, newBuckets);
    buildHistoryHeaderImage(converted, image);
    rewind(newFile);
    if (fwrite(image, 1, sizeof image, newFile) != sizeof image || fflush(newFile) != 0) {
      failed = 1;
    } else {
      control->head = converted.head;
      control->tail = converted.tail;
      control->sampleIndex = converted.sampleIndex;
      control->numOfSample = converted.numOfSample;
      control->headerSaved = true;
    }
  }
  fclose(oldFile);
  if (fclose(newFile) != 0) failed = 1;
  if (failed != 0) return 1;
  DeleteFileA(oldPath.c_str());
  return 0;
}

void convertHistoryBuckets(Control* control, DWORD newBuckets) {
  std::string path = historyFilePath(control->controlIndex);
  FILE* probe = wl_fopen(path.c_str(), "rb+");
  if (probe == nullptr) {
    // No file to convert: the change is immediate. The ring is laid out as a
    // conversion would leave it, so head, tail and numOfSample stay inside the
    // new ring.
    relayoutRing(control, newBuckets);
    control->bucketsGranted = newBuckets;
    control->samplingEnabled = true;
    control->headerSaved = false;
    createHistoryFile(control->controlIndex);
    return;
  }
  fclose(probe);

  DWORD oldBuckets = control->bucketsGranted;
  control->bucketsGranted = newBuckets;
  const char* failure = nullptr;
  bool renamed = false;
  if (rename_trend_file(control->controlIndex, "NT$") != 0) {
    failure = "rename_trend_file() failed\n";
  } else {
    renamed = true;
    control->samplingEnabled = true;
    if (create_new_size_trend_file(control, oldBuckets, newBuckets) != 0) {
      failure = "create_new_size_trend_file() failed\n";
    }
  }
  if (failure == nullptr) return;

  traceLog("%s", failure);
  quietMessage("CURVEMIB Error: failed to convert a history to use different bucket size,\r\n");
  quietMessage("                CURVEMIB will continue to use the original bucket size.\r\n");
  control->bucketsGranted = oldBuckets;
  control->samplingEnabled = true;
  if (renamed) {
    // Put the untouched old file back so the file matches the ring we keep.
    std::string oldPath = historyFilePath(control->controlIndex, "NT$");
    DeleteFileA(path.c_str());
    MoveFileA(oldPath.c_str(), path.c_str());
  }
}

}  // namespace trend
