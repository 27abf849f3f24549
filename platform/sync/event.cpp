// Events: manual-reset and auto-reset, in-process. A named event opens the
// process's existing event of that name.
#include <map>
#include <mutex>
#include <string>

#include "core/kernel_object.h"
#include "core/trace.h"
#include "win32/sync.h"

namespace wl {
namespace {

class EventObject : public KernelObject {
 public:
  EventObject(bool manual_reset, bool initial) : manual_reset_(manual_reset), signalled_(initial) {}

  bool TryAcquire() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!signalled_) return false;
    if (!manual_reset_) signalled_ = false;
    return true;
  }
  void UndoAcquire() override {
    if (!manual_reset_) Set();
  }
  void Set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      signalled_ = true;
    }
    NotifyStateChange();
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
  }

 private:
  std::mutex mutex_;
  const bool manual_reset_;
  bool signalled_;
};

std::mutex names_mutex;
std::map<std::string, std::weak_ptr<EventObject>>& NamedEvents() {
  static auto* events = new std::map<std::string, std::weak_ptr<EventObject>>;
  return *events;
}

}  // namespace
}  // namespace wl

extern "C" {

WLAPI HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                          BOOL bInitialState, LPCSTR lpName) {
  if (lpEventAttributes != nullptr) wl::trace::Unsupported("CreateEventA", "lpEventAttributes");
  if (lpName && *lpName) {
    std::lock_guard<std::mutex> lock(wl::names_mutex);
    auto& named = wl::NamedEvents();
    if (auto existing = named[lpName].lock()) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return wl::RegisterHandle(existing);
    }
    auto event = std::make_shared<wl::EventObject>(bManualReset != 0, bInitialState != 0);
    named[lpName] = event;
    SetLastError(ERROR_SUCCESS);
    return wl::RegisterHandle(event);
  }
  SetLastError(ERROR_SUCCESS);
  return wl::RegisterHandle(
      std::make_shared<wl::EventObject>(bManualReset != 0, bInitialState != 0));
}

WLAPI BOOL SetEvent(HANDLE hEvent) {
  auto event = wl::LookupHandleAs<wl::EventObject>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Set();
  return TRUE;
}

WLAPI BOOL ResetEvent(HANDLE hEvent) {
  auto event = wl::LookupHandleAs<wl::EventObject>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Reset();
  return TRUE;
}

}  // extern "C"
