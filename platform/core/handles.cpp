#include <condition_variable>
#include <mutex>
#include <unordered_map>

#include "kernel_object.h"

namespace wl {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  // Handles are multiples of 4 as on Windows; starting high keeps them apart
  // from small integers and from the predefined registry keys.
  uintptr_t next = 0x1000;

  std::mutex state_mutex;
  std::condition_variable state_changed;
  unsigned long long generation = 0;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // never destroyed: used at exit
  return *table;
}

thread_local DWORD last_error = 0;

}  // namespace

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

bool UnregisterHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;  // destroyed outside the lock
  HandleTable& t = Table();
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) return false;
    doomed = std::move(it->second);
    t.objects.erase(it);
  }
  return true;
}

void NotifyStateChange() {
  HandleTable& t = Table();
  {
    std::lock_guard<std::mutex> lock(t.state_mutex);
    ++t.generation;
  }
  t.state_changed.notify_all();
}

unsigned long long StateGeneration() {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> lock(t.state_mutex);
  return t.generation;
}

unsigned long long WaitStateChange(unsigned long long seen,
                                   std::chrono::steady_clock::time_point deadline) {
  HandleTable& t = Table();
  std::unique_lock<std::mutex> lock(t.state_mutex);
  t.state_changed.wait_until(lock, deadline, [&] { return t.generation != seen; });
  return t.generation;
}

}  // namespace wl

extern "C" {

WLAPI DWORD GetLastError(void) { return wl::last_error; }

WLAPI void SetLastError(DWORD dwErrCode) { wl::last_error = dwErrCode; }

WLAPI BOOL CloseHandle(HANDLE hObject) {
  if (!wl::UnregisterHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
