// Per-thread state shared by waits, sleeps and the thread functions: suspend
// counts and termination requests take effect at these checkpoints.
// Internal to the platform library.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/kernel_object.h"
#include "win32/sync.h"

namespace wl {

// Thrown inside a thread that TerminateThread stopped, at its next checkpoint;
// caught by the thread's start routine wrapper. Deliberately not derived from
// std::exception so that ordinary handlers do not swallow it.
struct ThreadTerminated {};

class ThreadObject : public KernelObject {
 public:
  bool TryAcquire() override;  // signalled once the thread has ended

  // Called by the thread itself: blocks while the suspend count is above zero
  // and throws ThreadTerminated when termination was requested.
  void Checkpoint();
  // Sleeps up to `duration` unless terminated (throws) ; honours suspension.
  void SleepFor(std::chrono::milliseconds duration);
  // Suspends the calling thread (this object must be its own). Returns the
  // previous suspend count.
  DWORD SuspendSelf();
  DWORD Suspend();  // another thread: takes effect at its next checkpoint
  DWORD Resume();
  void RequestTermination(DWORD exitCode);
  void Finish(DWORD exitCode);
  bool Finished();
  DWORD ExitCode();
  bool TerminationRequested();

  std::atomic<DWORD> id{0};
  bool created_by_us = false;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  DWORD suspend_count_ = 0;
  bool terminate_ = false;
  bool finished_ = false;
  DWORD exit_code_ = STILL_ACTIVE;
};

// The calling thread's object; created on first use for threads that the
// platform did not start (the main thread, library threads).
std::shared_ptr<ThreadObject> CurrentThreadObject();

// Resolves a thread handle, including the pseudo-handle of GetCurrentThread.
std::shared_ptr<ThreadObject> ResolveThread(HANDLE handle);

}  // namespace wl
