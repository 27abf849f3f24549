// The handle table shared by every kind of kernel object (events, semaphores,
// threads, files, change notifications). Internal to the platform library.
//
// Ownership: the table holds one shared reference per open handle; CloseHandle
// drops it. Code that looks a handle up keeps the object alive for as long as
// it holds the returned shared_ptr, so a handle closed during a wait is safe.
// Thread safety: all functions may be called from any thread.
#pragma once

#include <chrono>
#include <memory>

#include "win32/types.h"

namespace wl {

class KernelObject {
 public:
  virtual ~KernelObject() = default;

  // Non-blocking test of the signalled state. When signalled, performs the
  // side effect of a satisfied wait (an auto-reset event resets, a semaphore
  // count goes down by one) and returns true.
  virtual bool TryAcquire() = 0;

  // True when every change of the signalled state is made by this process and
  // followed by NotifyStateChange(). Objects whose state changes elsewhere
  // (named semaphores of other processes, the file system) return false, and
  // waits that include them re-test at a short period.
  virtual bool SignalledInProcess() const { return true; }

  // True for objects that WaitForSingleObject accepts.
  virtual bool Waitable() const { return true; }

  // Gives back what a successful TryAcquire took, for a wait on several
  // objects that must all be signalled at once. Objects whose TryAcquire has
  // no side effect keep the default.
  virtual void UndoAcquire() {}
};

// Adds an object to the table and returns its new handle (never null, never
// INVALID_HANDLE_VALUE).
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null for an unknown or closed handle.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Removes a handle from the table. False for an unknown handle.
bool UnregisterHandle(HANDLE handle);

// Wakes every waiter so that it re-tests its objects. Call after any state
// change that may satisfy a wait.
void NotifyStateChange();

// Blocks until NotifyStateChange() is called after `seen` was read, or until
// `deadline`. Returns the new generation. `seen` comes from StateGeneration().
unsigned long long WaitStateChange(unsigned long long seen,
                                   std::chrono::steady_clock::time_point deadline);
unsigned long long StateGeneration();

}  // namespace wl
