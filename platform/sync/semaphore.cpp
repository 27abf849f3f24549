// Semaphores. Unnamed ones live in the process; named ones are machine-wide
// (named_semaphore.h).
#include "semaphore.h"

#include "core/trace.h"
#include "named_semaphore.h"
#include "win32/sync.h"

namespace wl {

bool SemaphoreObject::TryAcquire() {
  if (shared_) return shared_->TryAcquire();
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ == 0) return false;
  --count_;
  return true;
}

void SemaphoreObject::UndoAcquire() { Release(1, nullptr); }

bool SemaphoreObject::Release(LONG count, LONG* previous) {
  if (shared_) return shared_->Release(count, previous);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count <= 0 || count > maximum_ - count_) return false;
    if (previous) *previous = count_;
    count_ += count;
  }
  NotifyStateChange();
  return true;
}

bool SemaphoreObject::WaitShared(std::chrono::steady_clock::time_point deadline, bool infinite) {
  return shared_->Wait(deadline, infinite);
}

}  // namespace wl

extern "C" {

WLAPI HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount,
                              LONG lMaximumCount, LPCSTR lpName) {
  if (lpSemaphoreAttributes != nullptr) {
    wl::trace::Unsupported("CreateSemaphoreA", "lpSemaphoreAttributes");
  }
  WL_TRACE(kSync, "CreateSemaphoreA \"%s\" initial %ld maximum %ld", lpName ? lpName : "",
           static_cast<long>(lInitialCount), static_cast<long>(lMaximumCount));
  if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::make_shared<wl::SemaphoreObject>();
  if (lpName && *lpName) {
    bool existed = false;
    DWORD error = 0;
    object->shared_ =
        wl::SharedSemaphore::Open(lpName, lInitialCount, lMaximumCount, &existed, &error);
    if (!object->shared_) {
      SetLastError(error);
      return nullptr;
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  } else {
    object->count_ = lInitialCount;
    object->maximum_ = lMaximumCount;
    SetLastError(ERROR_SUCCESS);
  }
  return wl::RegisterHandle(object);
}

WLAPI BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount) {
  auto sem = wl::LookupHandleAs<wl::SemaphoreObject>(hSemaphore);
  if (!sem) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!sem->Release(lReleaseCount, lpPreviousCount)) {
    SetLastError(ERROR_TOO_MANY_POSTS);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
