// Agent-wide state, the start-up thread, the start-up and shut-down sequences
// and the bodies of the three entry points.
#include "agent/trend/lifecycle.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "agent/common/install_root.h"
#include "agent/trend/bucket_worker.h"
#include "agent/trend/configuration.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/history_reports.h"
#include "agent/trend/mib.h"
#include "agent/trend/page_cache.h"
#include "agent/trend/perf_acquisition.h"
#include "agent/trend/sampling.h"
#include "agent/trend/traps.h"
#include "agent/trend/trend_directory.h"
#include "snmp/bulk_answer.h"
#include "win32/windows.h"

namespace trend {

DWORD timeZeroReference = 0;
HANDLE trapEvent = nullptr;
HANDLE controlSemaphore = nullptr;
HANDLE bucketSemaphore = nullptr;
std::string installPath;
bool initialized = false;
UINT supportedViewIds[9] = {1, 3, 6, 1, 4, 1, 64823, 2, 45};

QueryHandlers queryHandlers = {mibGet, mibGetNext, mibSetCheck, mibSetCommit};

namespace {

constexpr const char* kControlSemaphoreName = "NTREND SEMAPHORE";
constexpr const char* kBucketSemaphoreName = "NTREND BUCKET SEMAPHORE";

// Shut-down never waits longer than this for a semaphore or a thread: the
// host may already have stopped a thread that held one.
constexpr DWORD kExitWaitMs = 5000;
// The start-up thread may be in the middle of its sequence at unload.
constexpr DWORD kStartupThreadExitWaitMs = 10000;

HANDLE startupThread = nullptr;
DWORD startupThreadId = 0;
std::atomic<bool> traceLogOpened{false};

void failMessage() { consoleMessage("CURVEMIB is not loaded due to the reason above.\r\n"); }

void freeAllLists() {
  freeLists();
  dropAllCaches();
  unlockTrendDirectory();
}

void unloadAtExit() { unloadAgent(); }

// A semaphore of this agent, unavailable. When the named one exists already,
// another agent of this machine uses it: sharing it would let that agent's
// state decide when this one's requests run (past its start-up guard), and
// this agent's exit could leave it taken. This agent then keeps its own.
HANDLE createOwnSemaphore(const char* name) {
  HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, name);
  if (semaphore != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    traceLog("ntrend: %s is in use by another agent; this agent uses its own.\n", name);
    CloseHandle(semaphore);
    semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
  }
  return semaphore;
}

// Ends the host process with status 1 after a failed start-up. The host's
// own threads go on running meanwhile (loading libraries, opening sockets),
// so an ordinary exit from this thread would tear down objects they are
// using, or wait for a loader lock one of them holds. Instead the unload
// sequence runs here, the streams are flushed and the process ends at once;
// the trace log and the event log are already on disk.
[[noreturn]] void endHostAfterFailedStartup() {
  ntrend_Exit();
  std::fflush(nullptr);
  std::_Exit(1);
}

DWORD WINAPI startupThreadBody(LPVOID) {
  if (!traceLogOpened.load()) openTraceLog();
  // The library's exit list runs at dlclose and at process exit, before the
  // library's own globals (the log path among them) are destroyed.
  std::atexit(unloadAtExit);
  if (ntrend_Init() != 0) {
    reportEvent(kEventInitFailed, kEventTypeError);
    endHostAfterFailedStartup();
  }
  reportEvent(kEventLoaded, kEventTypeInformation);
  for (;;) SuspendThread(GetCurrentThread());
  return 0;
}

// Takes a semaphore for shut-down without waiting forever. True when taken.
bool takeForExit(HANDLE semaphore, const char* name) {
  if (semaphore == nullptr) return false;
  const DWORD result = WaitForSingleObject(semaphore, kExitWaitMs);
  if (result == WAIT_OBJECT_0) return true;
  traceLog("ntrend_Exit: %s not available after %u ms, going on without it.\n", name,
           static_cast<unsigned>(kExitWaitMs));
  return false;
}

void closeHandleAndClear(HANDLE* handle) {
  if (*handle != nullptr) CloseHandle(*handle);
  *handle = nullptr;
}

}  // namespace

bool createAgentSemaphores() {
  if (controlSemaphore == nullptr) controlSemaphore = createOwnSemaphore(kControlSemaphoreName);
  if (bucketSemaphore == nullptr) bucketSemaphore = createOwnSemaphore(kBucketSemaphoreName);
  return controlSemaphore != nullptr && bucketSemaphore != nullptr;
}

int ntrend_Init() {
  // 1. Install root.
  if (wlcommon::readInstallPath(wlcommon::kInstallRootBytes, &installPath) != ERROR_SUCCESS) {
    failMessage();
    return 1;
  }
  // 2. and 3. Trend directory and configuration lines.
  readTrendDirectory();
  if (readConfiguration() != 0) {
    failMessage();
    return 1;
  }
  // 4. Trend directory; stale files go if it was there already.
  bool directoryExisted = false;
  bool historyLeft = false;
  if (!CreateDirectoryA(trendDirectory.c_str(), nullptr)) {
    // A file of that name is no directory either.
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS || !trendDirectoryIsDirectory()) {
      reportUnusableTrendDirectory(error);
      freeAllLists();
      failMessage();
      return 1;
    }
    directoryExisted = true;
  }
  // Nothing in the directory is touched before this agent holds it.
  if (lockTrendDirectory() != 0) {
    freeAllLists();
    failMessage();
    return 1;
  }
  if (directoryExisted) historyLeft = removeStaleHistoryFiles() == 0;
  // 5. Controls from the history files, or from the configuration.
  forgetReportedHistoryFailures();
  const bool restored = directoryExisted && historyLeft;
  if (restored) {
    restoreControlsFromHistoryFiles();
  } else {
    createControlsFromConfiguration();
  }
  // 6. Numbers, order, index.
  numberControls();
  sortControls();
  buildIndexList();
  // Controls whose files were removed as damaged come back from their lines.
  if (restored) {
    recreateRemovedControls();
  } else {
    forgetRemovedHistoryFiles();
  }
  // 7. Semaphores, unavailable until step 14 (normally made before this
  // thread started, so that early requests wait).
  if (!createAgentSemaphores()) {
    traceLog("ntrend Error: unable to create semaphore.\n");
    reportEvent(kEventNoSemaphore, kEventTypeError);
    consoleMessage("Unable to create a semaphore from the operating system.\r\n");
    consoleMessage("CURVEMIB is not loaded due to the reason above.\r\n");
    freeAllLists();
    return 1;
  }
  // 8. Bucket-change worker (reports its own failure).
  if (startBucketWorker() != 0) {
    freeAllLists();
    failMessage();
    return 1;
  }
  // 9. Timer, sampler and housekeeping threads (report their own failure).
  if (startSamplingThreads() != 0) {
    stopSamplingThreads();
    stopBucketWorker();
    freeAllLists();
    failMessage();
    return 1;
  }
  // 10. Trap queue and host name.
  resetTrapQueue();
  // 11. History files (the restored ones were read whole in step 5).
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (!c->historyFileChecked) createHistoryFile(c->controlIndex);
    c->historyFileChecked = false;
  }
  // 12. Align every sampled history with the clock.
  const DWORD now = static_cast<DWORD>(wl_time(nullptr));
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (c->controlStatus != kControlDeprecated && c->samplingEnabled &&
        c->historyStatus != kStatusOff) {
      Align_Sampling_History(c, now, AlignMode::kStartup);
    }
  }
  // 13. List dump.
  dumpLists();
  // 14. From here on requests, traps and the threads may run.
  ReleaseSemaphore(controlSemaphore, 1, nullptr);
  ReleaseSemaphore(bucketSemaphore, 1, nullptr);
  // 15. Threads.
  resumeSamplingThreads();
  resumeBucketWorker();
  // 16. Done.
  traceLog("ntrend init() return\n");
  initialized = true;
  return 0;
}

void ntrend_Exit() {
  reportEvent(kEventUnloaded, kEventTypeInformation);
  traceLog("ntrend_Exit() function...\n");
  const bool running = initialized;
  if (running) {
    takeForExit(controlSemaphore, "NTREND SEMAPHORE");
    takeForExit(bucketSemaphore, "NTREND BUCKET SEMAPHORE");
  }
  stopSamplingThreads();
  stopBucketWorker();
  if (running) {
    for (Control* c = controlList; c != nullptr; c = c->next) createHistoryFile(c->controlIndex);
    flushAllCaches();
    // A control whose header changed without a page write since the last
    // write-back (deprecated, revalidated, set over SNMP) would lose that
    // change at unload.
    saveUnsavedHeaders();
  }
  freeAllLists();
  // The performance data blocks and names go too; a later load in this process
  // reads them afresh.
  releasePerformanceData();
  // The semaphores stay held: nothing may run against the freed state.
  // Closing our handles lets a later load in this process start afresh.
  closeHandleAndClear(&controlSemaphore);
  closeHandleAndClear(&bucketSemaphore);
  initialized = false;
}

BOOL extensionInit(DWORD timeZero, HANDLE* trapEventOut, AsnObjectIdentifier* supportedView) {
  timeZeroReference = timeZero;
  if (supportedView != nullptr) {
    supportedView->idLength = sizeof(supportedViewIds) / sizeof(supportedViewIds[0]);
    supportedView->ids = supportedViewIds;
  }
  if (trapEvent == nullptr) trapEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (trapEventOut != nullptr) *trapEventOut = trapEvent;

  // The log is emptied before the start-up thread exists, so that this
  // function's own line is never lost to the truncation.
  openTraceLog();
  traceLogOpened.store(true);
  // Both semaphores exist, unavailable, before start-up runs: a request or a
  // trap that comes early waits for step 14. A failure here is reported by
  // start-up step 7.
  createAgentSemaphores();

  startupThread = CreateThread(nullptr, 0, startupThreadBody, nullptr, 0, &startupThreadId);
  if (startupThread != nullptr) {
    traceLog(" SnmpExtensionInit() return\n");
    return TRUE;
  }
  reportThreadFailure();
  return FALSE;
}

namespace {

// Where a request's error status and index go: the caller's fields, or
// scratch ones where it passed none.
struct ErrorFields {
  explicit ErrorFields(AsnInteger32* status, AsnInteger32* index)
      : status(status != nullptr ? status : &scratchStatus),
        index(index != nullptr ? index : &scratchIndex) {}
  AsnInteger32 scratchStatus = 0;
  AsnInteger32 scratchIndex = 0;
  AsnInteger32* status;
  AsnInteger32* index;

  BOOL answer(AsnInteger32 result) {
    *status = result;
    *index = 0;
    return TRUE;
  }
};

// Runs `serve` with controlSemaphore held. Without a list, or when the
// semaphore cannot be taken, the answer is genErr and the lists are never
// touched unguarded.
template <class Serve>
BOOL serveWithControlSemaphore(SnmpVarBindList* list, ErrorFields& errors, Serve serve) {
  if (list == nullptr || WaitForSingleObject(controlSemaphore, INFINITE) != WAIT_OBJECT_0) {
    return errors.answer(SNMP_ERRORSTATUS_GENERR);
  }
  const BOOL result = serve();
  ReleaseSemaphore(controlSemaphore, 1, nullptr);
  return result;
}

}  // namespace

BOOL extensionQuery(BYTE requestType, SnmpVarBindList* list, AsnInteger32* errorStatus,
                    AsnInteger32* errorIndex) {
  ErrorFields errors(errorStatus, errorIndex);
  return serveWithControlSemaphore(list, errors, [&]() -> BOOL {
    switch (requestType) {
      case SNMP_PDU_GET:
        return queryHandlers.get(list, errors.status, errors.index);
      case SNMP_PDU_GETNEXT:
        return queryHandlers.getNext(list, errors.status, errors.index);
      case SNMP_PDU_SET: {
        const BOOL checked = queryHandlers.setCheck(list, errors.status, errors.index);
        if (*errors.status != SNMP_ERRORSTATUS_NOERROR) return checked;
        return queryHandlers.setCommit(list, errors.status, errors.index);
      }
      default:
        *errors.status = SNMP_ERRORSTATUS_GENERR;
        return TRUE;
    }
  });
}

BOOL extensionQueryEx(UINT requestType, SnmpVarBindList* list, AsnInteger32* errorStatus,
                      AsnInteger32* errorIndex) {
  ErrorFields errors(errorStatus, errorIndex);
  switch (requestType) {
    case SNMP_EXTENSION_GET:
    case SNMP_EXTENSION_GET_NEXT:
    case SNMP_EXTENSION_SET_COMMIT:
      return extensionQuery(static_cast<BYTE>(requestType), list, errors.status, errors.index);
    case SNMP_EXTENSION_SET_TEST:
    case SNMP_EXTENSION_SET_UNDO:
    case SNMP_EXTENSION_SET_CLEANUP:
      return errors.answer(SNMP_ERRORSTATUS_NOERROR);
    case SNMP_EXTENSION_GET_BULK:
      return serveWithControlSemaphore(list, errors, [&] {
        const AsnObjectIdentifier view{sizeof supportedViewIds / sizeof supportedViewIds[0],
                                       supportedViewIds};
        return wlsnmp::AnswerGetBulk(
            view, list, errors.status, errors.index,
            [](SnmpVarBindList* round, AsnInteger32* status, AsnInteger32* index) {
              return queryHandlers.getNext(round, status, index);
            });
      });
    default:
      return errors.answer(SNMP_ERRORSTATUS_GENERR);
  }
}

DWORD trapTimeStamp(DWORD tickCountMs, DWORD timeZero) { return tickCountMs / 10 - timeZero; }

BOOL extensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap,
                   AsnInteger32* specificTrap, AsnTimeticks* timeStamp,
                   SnmpVarBindList* varBindList) {
  if (timeStamp != nullptr) *timeStamp = trapTimeStamp(GetTickCount(), timeZeroReference);
  if (WaitForSingleObject(controlSemaphore, INFINITE) != WAIT_OBJECT_0) return FALSE;
  const BOOL result = buildNextTrap(enterprise, genericTrap, specificTrap, timeStamp, varBindList);
  ReleaseSemaphore(controlSemaphore, 1, nullptr);
  return result;
}

void unloadAgent() {
  if (startupThread != nullptr && GetCurrentThreadId() != startupThreadId) {
    TerminateThread(startupThread, 0);
    if (WaitForSingleObject(startupThread, kStartupThreadExitWaitMs) != WAIT_OBJECT_0) {
      traceLog("ntrend_Exit: the start-up thread did not end in %u ms, going on.\n",
               static_cast<unsigned>(kStartupThreadExitWaitMs));
    }
    closeHandleAndClear(&startupThread);
  }
  ntrend_Exit();
  // trapEvent stays open: the host may still hold it in a wait.
}

}  // namespace trend
