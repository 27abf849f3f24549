// The seven exports of libperfpeek.so and its load and unload sequences.
#include <cstdint>
#include <cstring>

#include "agent/perfhelper/lookups.h"
#include "agent/perfhelper/peek_log.h"
#include "agent/perfhelper/perfpeek.h"
#include "agent/perfhelper/snapshot.h"
#include "win32/sync.h"

namespace {

using perfpeek::Snapshot;

HANDLE peekSemaphore = nullptr;

// Holds "PERF DLL SEMAPHORE" for one query. Without a semaphore (its creation
// failed at load) nothing may be touched: held() is false.
class SemaphoreHold {
 public:
  SemaphoreHold() {
    if (!peekSemaphore) return;
    DWORD waited = WaitForSingleObject(peekSemaphore, INFINITE);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~SemaphoreHold() {
    if (held_) ReleaseSemaphore(peekSemaphore, 1, nullptr);
  }
  SemaphoreHold(const SemaphoreHold&) = delete;
  SemaphoreHold& operator=(const SemaphoreHold&) = delete;
  bool held() const { return held_; }

 private:
  bool held_ = false;
};

__attribute__((constructor)) void loadPerfPeek() {
  perfpeek::openPeekLog();
  peekSemaphore = CreateSemaphoreA(nullptr, 1, 1, "PERF DLL SEMAPHORE");
  perfpeek::peekLog("CreateSemaphore() return %d\n",
                    static_cast<int>(reinterpret_cast<intptr_t>(peekSemaphore)));
}

__attribute__((destructor)) void unloadPerfPeek() {
  if (!peekSemaphore) return;
  {
    SemaphoreHold hold;
    if (hold.held()) perfpeek::discardProcessSnapshot();
  }
  CloseHandle(peekSemaphore);
  peekSemaphore = nullptr;
}

}  // namespace

PERFPEEK_API int PERF_GetVersion(int32_t* version) {
  if (version) *version = 2;
  return 0;
}

PERFPEEK_API int PERFPEEK_GetSupportedVersions(int32_t* versions) {
  if (versions) *versions = 0;
  return 1;
}

PERFPEEK_API int PERF_GetObjectInstance(int position, int instanceType, char* name,
                                        unsigned bufferSize) {
  SemaphoreHold hold;
  if (!hold.held()) return -1;
  if (position < 1) return -3;
  return perfpeek::findInstanceAt(&perfpeek::processSnapshot(), instanceType, position, name,
                                  bufferSize, nullptr);
}

PERFPEEK_API int PERF_GetProcessInstance(int position, char* name, unsigned bufferSize,
                                         DWORD* processId) {
  SemaphoreHold hold;
  if (!hold.held()) return -1;
  if (position < 1) return -3;
  return perfpeek::findInstanceAt(&perfpeek::processSnapshot(), perfpeek::kProcessInstanceType,
                                  position, name, bufferSize, processId);
}

PERFPEEK_API int PERF_GetObjectCounterValue(const char* instanceName, int32_t, int classId,
                                            int64_t* value) {
  SemaphoreHold hold;
  if (!hold.held() || !value) return -1;
  Snapshot& snapshot = perfpeek::processSnapshot();
  if (perfpeek::refreshSnapshot(&snapshot) != 0) return -1;
  return perfpeek::findClassCounterValue(snapshot, instanceName, classId, value);
}

PERFPEEK_API int PERF_GetProcessMemory(const char* processName, DWORD processId, int64_t* value) {
  SemaphoreHold hold;
  if (!hold.held() || !value) return -1;
  Snapshot& snapshot = perfpeek::processSnapshot();
  if (perfpeek::refreshSnapshot(&snapshot) != 0) return -1;
  return perfpeek::findProcessCounter(snapshot, processName, processId,
                                      perfpeek::ProcessCounter::kVirtualBytes, value);
}

PERFPEEK_API int PERF_GetProcessProcessorTime(const char* processName, DWORD processId,
                                              int64_t* value) {
  SemaphoreHold hold;
  if (!hold.held() || !value) return -1;
  Snapshot& snapshot = perfpeek::processSnapshot();
  if (perfpeek::refreshSnapshot(&snapshot) != 0) return -1;
  return perfpeek::findProcessCounter(snapshot, processName, processId,
                                      perfpeek::ProcessCounter::kProcessorTime, value);
}
