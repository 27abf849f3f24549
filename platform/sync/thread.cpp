// Threads with Windows suspend counts and checkpoint-based termination.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "core/trace.h"
#include "thread_state.h"
#include "win32/sync.h"

namespace wl {
namespace {

constexpr uintptr_t kCurrentThreadPseudoHandle = static_cast<uintptr_t>(-2);

thread_local std::shared_ptr<ThreadObject> current_thread;

DWORD OsThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

struct StartInfo {
  std::shared_ptr<ThreadObject> self;
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

void* ThreadMain(void* raw) {
  std::unique_ptr<StartInfo> info(static_cast<StartInfo*>(raw));
  current_thread = info->self;
  current_thread->id = OsThreadId();
  DWORD exit_code = 0;
  try {
    current_thread->Checkpoint();  // waits here while created suspended
    exit_code = info->routine(info->parameter);
  } catch (const ThreadTerminated&) {
    exit_code = current_thread->ExitCode();
  }
  std::shared_ptr<ThreadObject> self = std::move(current_thread);
  self->Finish(exit_code);
  return nullptr;
}

}  // namespace

bool ThreadObject::TryAcquire() { return Finished(); }

void ThreadObject::Checkpoint() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return suspend_count_ == 0 || terminate_; });
  if (terminate_) throw ThreadTerminated{};
}

void ThreadObject::SleepFor(std::chrono::milliseconds duration) {
  auto deadline = std::chrono::steady_clock::now() + duration;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (terminate_) throw ThreadTerminated{};
    if (suspend_count_ > 0) {
      changed_.wait(lock, [&] { return suspend_count_ == 0 || terminate_; });
      continue;
    }
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) break;
  }
  if (terminate_) throw ThreadTerminated{};
}

DWORD ThreadObject::SuspendSelf() {
  std::unique_lock<std::mutex> lock(mutex_);
  DWORD previous = suspend_count_++;
  changed_.wait(lock, [&] { return suspend_count_ == 0 || terminate_; });
  if (terminate_) throw ThreadTerminated{};
  return previous;
}

DWORD ThreadObject::Suspend() {
  std::lock_guard<std::mutex> lock(mutex_);
  return suspend_count_++;
}

DWORD ThreadObject::Resume() {
  DWORD previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    previous = suspend_count_;
    if (suspend_count_ > 0) --suspend_count_;
  }
  changed_.notify_all();
  return previous;
}

void ThreadObject::RequestTermination(DWORD exitCode) {
  // Threads the platform did not start have no wrapper to unwind into; they
  // cannot be stopped from outside.
  if (!created_by_us) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_) return;
    terminate_ = true;
    exit_code_ = exitCode;
  }
  changed_.notify_all();
  NotifyStateChange();  // wakes it if it waits on objects
}

void ThreadObject::Finish(DWORD exitCode) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    exit_code_ = exitCode;
  }
  changed_.notify_all();
  NotifyStateChange();
}

bool ThreadObject::Finished() {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

DWORD ThreadObject::ExitCode() {
  std::lock_guard<std::mutex> lock(mutex_);
  return exit_code_;
}

bool ThreadObject::TerminationRequested() {
  std::lock_guard<std::mutex> lock(mutex_);
  return terminate_;
}

std::shared_ptr<ThreadObject> CurrentThreadObject() {
  if (!current_thread) {
    current_thread = std::make_shared<ThreadObject>();
    current_thread->id = OsThreadId();
  }
  return current_thread;
}

std::shared_ptr<ThreadObject> ResolveThread(HANDLE handle) {
  if (reinterpret_cast<uintptr_t>(handle) == kCurrentThreadPseudoHandle) {
    return CurrentThreadObject();
  }
  return LookupHandleAs<ThreadObject>(handle);
}

}  // namespace wl

extern "C" {

WLAPI HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                          LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                          DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (lpThreadAttributes != nullptr) wl::trace::Unsupported("CreateThread", "lpThreadAttributes");
  if ((dwCreationFlags & ~static_cast<DWORD>(CREATE_SUSPENDED)) != 0) {
    wl::trace::Unsupported("CreateThread", "dwCreationFlags other than CREATE_SUSPENDED");
  }
  if (!lpStartAddress) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto self = std::make_shared<wl::ThreadObject>();
  self->created_by_us = true;
  if (dwCreationFlags & CREATE_SUSPENDED) self->Suspend();
  auto* info = new wl::StartInfo{self, lpStartAddress, lpParameter};

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (dwStackSize > 0) pthread_attr_setstacksize(&attr, dwStackSize < 65536 ? 65536 : dwStackSize);
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, wl::ThreadMain, info);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete info;
    SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // The id is set by the new thread; wait briefly for it so callers can print it.
  while (self->id == 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
  if (lpThreadId) *lpThreadId = self->id;
  return wl::RegisterHandle(self);
}

WLAPI uintptr_t _beginthreadex(void* security, unsigned stack_size,
                               unsigned(WINAPI* start_address)(void*), void* arglist,
                               unsigned initflag, unsigned* thrdaddr) {
  DWORD id = 0;
  HANDLE h =
      CreateThread(static_cast<LPSECURITY_ATTRIBUTES>(security), stack_size,
                   reinterpret_cast<LPTHREAD_START_ROUTINE>(start_address), arglist, initflag, &id);
  if (thrdaddr) *thrdaddr = id;
  return reinterpret_cast<uintptr_t>(h);
}

WLAPI DWORD ResumeThread(HANDLE hThread) {
  auto thread = wl::ResolveThread(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  return thread->Resume();
}

WLAPI DWORD SuspendThread(HANDLE hThread) {
  auto thread = wl::ResolveThread(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  if (thread == wl::CurrentThreadObject()) return thread->SuspendSelf();
  return thread->Suspend();
}

WLAPI BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode) {
  auto thread = wl::ResolveThread(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  thread->RequestTermination(dwExitCode);
  if (thread == wl::CurrentThreadObject() && thread->created_by_us) throw wl::ThreadTerminated{};
  return TRUE;
}

WLAPI BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = wl::ResolveThread(hThread);
  if (!thread || !lpExitCode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *lpExitCode = thread->Finished() ? thread->ExitCode() : STILL_ACTIVE;
  return TRUE;
}

WLAPI HANDLE GetCurrentThread(void) {
  return reinterpret_cast<HANDLE>(wl::kCurrentThreadPseudoHandle);
}

WLAPI DWORD GetCurrentThreadId(void) { return wl::CurrentThreadObject()->id; }

WLAPI DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

WLAPI void Sleep(DWORD dwMilliseconds) {
  auto self = wl::CurrentThreadObject();
  if (dwMilliseconds == 0) {
    self->Checkpoint();
    std::this_thread::yield();
    return;
  }
  auto duration = dwMilliseconds == INFINITE ? std::chrono::milliseconds(24LL * 3600 * 1000 * 365)
                                             : std::chrono::milliseconds(dwMilliseconds);
  self->SleepFor(duration);
}

}  // extern "C"
