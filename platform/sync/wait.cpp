// WaitForSingleObject and WaitForMultipleObjects over every kind of kernel
// object. In-process objects wake waiters through NotifyStateChange; objects
// signalled from elsewhere (named semaphores of other processes, the file
// system) are re-tested every few milliseconds.
#include <vector>

#include "semaphore.h"
#include "thread_state.h"
#include "win32/sync.h"

namespace wl {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollPeriod = std::chrono::milliseconds(5);
constexpr auto kLocalRecheckPeriod = std::chrono::hours(24);

DWORD WaitAny(const std::vector<std::shared_ptr<KernelObject>>& objects, DWORD milliseconds) {
  const bool infinite = milliseconds == INFINITE;
  const auto deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : milliseconds);
  bool all_local = true;
  for (auto& o : objects) all_local = all_local && o->SignalledInProcess();
  auto self = CurrentThreadObject();
  for (;;) {
    self->Checkpoint();
    auto seen = StateGeneration();
    for (size_t i = 0; i < objects.size(); ++i) {
      if (objects[i]->TryAcquire()) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
    }
    auto now = Clock::now();
    if (!infinite && now >= deadline) return WAIT_TIMEOUT;
    // Objects of this process wake their waiters on every change: such a wait
    // sleeps until a change or its deadline (re-testing once a day at most).
    auto until = all_local ? now + kLocalRecheckPeriod : now + kPollPeriod;
    if (!infinite && deadline < until) until = deadline;
    WaitStateChange(seen, until);
  }
}

DWORD WaitAll(const std::vector<std::shared_ptr<KernelObject>>& objects, DWORD milliseconds) {
  const bool infinite = milliseconds == INFINITE;
  const auto deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : milliseconds);
  auto self = CurrentThreadObject();
  for (;;) {
    self->Checkpoint();
    auto seen = StateGeneration();
    size_t taken = 0;
    while (taken < objects.size() && objects[taken]->TryAcquire()) ++taken;
    if (taken == objects.size()) return WAIT_OBJECT_0;
    while (taken > 0) objects[--taken]->UndoAcquire();
    auto now = Clock::now();
    if (!infinite && now >= deadline) return WAIT_TIMEOUT;
    auto until = now + kPollPeriod;
    if (!infinite && deadline < until) until = deadline;
    WaitStateChange(seen, until);
  }
}

}  // namespace
}  // namespace wl

extern "C" {

WLAPI DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::shared_ptr<wl::KernelObject> object = wl::ResolveThread(hHandle);
  if (!object) object = wl::LookupHandle(hHandle);
  if (!object || !object->Waitable()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (auto sem = std::dynamic_pointer_cast<wl::SemaphoreObject>(object); sem && sem->IsShared()) {
    bool infinite = dwMilliseconds == INFINITE;
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(infinite ? 0 : dwMilliseconds);
    return sem->WaitShared(deadline, infinite) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
  return wl::WaitAny({object}, dwMilliseconds);
}

WLAPI DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                   DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<wl::KernelObject>> objects;
  for (DWORD i = 0; i < nCount; ++i) {
    std::shared_ptr<wl::KernelObject> object = wl::ResolveThread(lpHandles[i]);
    if (!object) object = wl::LookupHandle(lpHandles[i]);
    if (!object || !object->Waitable()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(std::move(object));
  }
  return bWaitAll ? wl::WaitAll(objects, dwMilliseconds) : wl::WaitAny(objects, dwMilliseconds);
}

}  // extern "C"
