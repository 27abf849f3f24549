// Semaphores. Unnamed ones live in the process. Named ones live in a POSIX
// shared memory object per name, so every process of the machine sees one
// count; each attached process is recorded with the counts it has taken, and
// the counts of a process that died (or closed its last handle) are given
// back, so that a killed holder never blocks the others for good.
#include "semaphore.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "core/trace.h"
#include "thread_state.h"
#include "win32/sync.h"

namespace wl {
namespace {

constexpr uint32_t kMagic = 0x57534D31;  // "WSM1"
constexpr int kMaxProcesses = 128;

struct Attachment {
  int32_t pid;
  int32_t held;
  uint64_t start_time;
};

struct SharedState {
  uint32_t magic;
  uint32_t ready;
  pthread_mutex_t mutex;
  pthread_cond_t cond;
  int32_t count;
  int32_t maximum;
  Attachment processes[kMaxProcesses];
};

uint64_t ProcessStartTime(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  char buffer[1024];
  size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
  std::fclose(f);
  buffer[n] = '\0';
  // Field 22 (start time) counts from after the command name's closing paren.
  const char* p = std::strrchr(buffer, ')');
  if (!p) return 0;
  int field = 2;
  for (; *p && field < 22; ++p) {
    if (*p == ' ') ++field;
  }
  return std::strtoull(p, nullptr, 10);
}

bool ProcessAlive(const Attachment& a) {
  if (a.pid <= 0) return false;
  if (kill(a.pid, 0) != 0 && errno == ESRCH) return false;
  uint64_t start = ProcessStartTime(a.pid);
  return start == 0 || a.start_time == 0 || start == a.start_time;
}

void LockRobust(pthread_mutex_t* m) {
  if (pthread_mutex_lock(m) == EOWNERDEAD) pthread_mutex_consistent(m);
}

std::string SharedName(const std::string& name) {
  const char* ns = std::getenv("WARDENLINE_OBJECT_NAMESPACE");
  std::string full = std::string(ns ? ns : "") + "\\" + name;
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : full) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char text[64];
  std::snprintf(text, sizeof text, "/wardenline-sem-%016llx",
                static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace

// One mapping of a named semaphore per process and name.
class SharedSemaphore {
 public:
  ~SharedSemaphore() { Detach(); }

  static std::shared_ptr<SharedSemaphore> Open(const std::string& name, LONG initial, LONG maximum,
                                               bool* existed, DWORD* error);
  bool TryAcquire();
  bool Release(LONG count, LONG* previous);
  // Blocks for the count; false on time-out. Honours thread termination.
  bool Wait(std::chrono::steady_clock::time_point deadline, bool infinite);

 private:
  Attachment* Self();  // with the mutex held
  void PurgeDeadLocked();
  bool TakeLocked();
  void Detach();

  std::string shm_name_;
  SharedState* state_ = nullptr;
};

namespace {
std::mutex open_mutex;
std::map<std::string, std::weak_ptr<SharedSemaphore>>& OpenSemaphores() {
  static auto* open = new std::map<std::string, std::weak_ptr<SharedSemaphore>>;
  return *open;
}
}  // namespace

std::shared_ptr<SharedSemaphore> SharedSemaphore::Open(const std::string& name, LONG initial,
                                                       LONG maximum, bool* existed, DWORD* error) {
  std::string shm_name = SharedName(name);
  std::lock_guard<std::mutex> guard(open_mutex);
  auto& open = OpenSemaphores();
  if (auto mapped = open[shm_name].lock()) {
    *existed = true;
    return mapped;
  }
  for (int attempt = 0; attempt < 20; ++attempt) {
    int fd = shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      *error = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE;
      return nullptr;
    }
    fchmod(fd, 0666);
    if (flock(fd, LOCK_EX) != 0) {
      close(fd);
      *error = ERROR_INVALID_HANDLE;
      return nullptr;
    }
    // The object may have been unlinked by its last user while we waited.
    struct stat by_fd, by_name;
    std::string path = "/dev/shm" + shm_name;
    if (fstat(fd, &by_fd) != 0 || stat(path.c_str(), &by_name) != 0 ||
        by_fd.st_ino != by_name.st_ino) {
      close(fd);
      continue;
    }
    if (by_fd.st_size < static_cast<off_t>(sizeof(SharedState)) &&
        ftruncate(fd, sizeof(SharedState)) != 0) {
      close(fd);
      *error = ERROR_NOT_ENOUGH_MEMORY;
      return nullptr;
    }
    void* memory = mmap(nullptr, sizeof(SharedState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
      close(fd);
      *error = ERROR_NOT_ENOUGH_MEMORY;
      return nullptr;
    }
    auto* state = static_cast<SharedState*>(memory);
    bool fresh = state->magic != kMagic || state->ready != 1;
    if (fresh) {
      std::memset(state, 0, sizeof *state);
      pthread_mutexattr_t ma;
      pthread_mutexattr_init(&ma);
      pthread_mutexattr_setpshared(&ma, PTHREAD_PROCESS_SHARED);
      pthread_mutexattr_setrobust(&ma, PTHREAD_MUTEX_ROBUST);
      pthread_mutex_init(&state->mutex, &ma);
      pthread_mutexattr_destroy(&ma);
      pthread_condattr_t ca;
      pthread_condattr_init(&ca);
      pthread_condattr_setpshared(&ca, PTHREAD_PROCESS_SHARED);
      pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
      pthread_cond_init(&state->cond, &ca);
      pthread_condattr_destroy(&ca);
      state->magic = kMagic;
      state->ready = 1;
    }
    auto sem = std::shared_ptr<SharedSemaphore>(new SharedSemaphore);
    sem->shm_name_ = shm_name;
    sem->state_ = state;
    LockRobust(&state->mutex);
    sem->PurgeDeadLocked();
    bool anyone = false;
    for (auto& a : state->processes) anyone = anyone || a.pid != 0;
    if (fresh || !anyone) {
      // Nobody holds the object open: it is created anew.
      state->count = initial;
      state->maximum = maximum;
      *existed = false;
    } else {
      *existed = true;
    }
    Attachment* self = sem->Self();
    pthread_mutex_unlock(&state->mutex);
    flock(fd, LOCK_UN);
    close(fd);
    if (!self) {
      *error = ERROR_NOT_ENOUGH_MEMORY;
      return nullptr;
    }
    open[shm_name] = sem;
    return sem;
  }
  *error = ERROR_INVALID_HANDLE;
  return nullptr;
}

Attachment* SharedSemaphore::Self() {
  pid_t pid = getpid();
  Attachment* free_slot = nullptr;
  for (auto& a : state_->processes) {
    if (a.pid == pid) return &a;
    if (a.pid == 0 && !free_slot) free_slot = &a;
  }
  if (!free_slot) return nullptr;
  free_slot->pid = pid;
  free_slot->held = 0;
  free_slot->start_time = ProcessStartTime(pid);
  return free_slot;
}

void SharedSemaphore::PurgeDeadLocked() {
  bool freed = false;
  for (auto& a : state_->processes) {
    if (a.pid != 0 && !ProcessAlive(a)) {
      state_->count = std::min(state_->maximum, state_->count + a.held);
      freed = freed || a.held > 0;
      a = Attachment{};
    }
  }
  if (freed) pthread_cond_broadcast(&state_->cond);
}

bool SharedSemaphore::TakeLocked() {
  if (state_->count == 0) PurgeDeadLocked();
  if (state_->count == 0) return false;
  --state_->count;
  if (Attachment* self = Self()) ++self->held;
  return true;
}

bool SharedSemaphore::TryAcquire() {
  LockRobust(&state_->mutex);
  bool taken = TakeLocked();
  pthread_mutex_unlock(&state_->mutex);
  return taken;
}

bool SharedSemaphore::Release(LONG count, LONG* previous) {
  LockRobust(&state_->mutex);
  if (count <= 0 || count > state_->maximum - state_->count) {
    pthread_mutex_unlock(&state_->mutex);
    return false;
  }
  if (previous) *previous = state_->count;
  state_->count += count;
  if (Attachment* self = Self()) self->held = std::max(0, self->held - count);
  pthread_cond_broadcast(&state_->cond);
  pthread_mutex_unlock(&state_->mutex);
  // No NotifyStateChange: waits for a named semaphore sleep on its shared
  // condition, and waits on several objects that include one re-test it every
  // few milliseconds anyway. Waking every waiting thread of the process at each
  // release would cost a context switch per request on the agents' hot path.
  return true;
}

bool SharedSemaphore::Wait(std::chrono::steady_clock::time_point deadline, bool infinite) {
  auto self_thread = CurrentThreadObject();
  for (;;) {
    self_thread->Checkpoint();
    LockRobust(&state_->mutex);
    if (TakeLocked()) {
      pthread_mutex_unlock(&state_->mutex);
      return true;
    }
    auto now = std::chrono::steady_clock::now();
    if (!infinite && now >= deadline) {
      pthread_mutex_unlock(&state_->mutex);
      return false;
    }
    // Wake at least every 100 ms to notice dead holders and termination.
    auto slice = now + std::chrono::milliseconds(100);
    if (!infinite && deadline < slice) slice = deadline;
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    auto wait_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(slice - now).count();
    ts.tv_sec += wait_ns / 1000000000;
    ts.tv_nsec += wait_ns % 1000000000;
    if (ts.tv_nsec >= 1000000000) {
      ts.tv_sec += 1;
      ts.tv_nsec -= 1000000000;
    }
    int rc = pthread_cond_timedwait(&state_->cond, &state_->mutex, &ts);
    if (rc == EOWNERDEAD) pthread_mutex_consistent(&state_->mutex);
    pthread_mutex_unlock(&state_->mutex);
  }
}

void SharedSemaphore::Detach() {
  if (!state_) return;
  int fd = shm_open(shm_name_.c_str(), O_RDWR | O_CLOEXEC, 0666);
  if (fd >= 0) flock(fd, LOCK_EX);
  LockRobust(&state_->mutex);
  pid_t pid = getpid();
  for (auto& a : state_->processes) {
    if (a.pid == pid) {
      // Counts this process took can no longer be released by it.
      state_->count = std::min(state_->maximum, state_->count + a.held);
      a = Attachment{};
    }
  }
  PurgeDeadLocked();
  bool anyone = false;
  for (auto& a : state_->processes) anyone = anyone || a.pid != 0;
  pthread_cond_broadcast(&state_->cond);
  pthread_mutex_unlock(&state_->mutex);
  if (!anyone && fd >= 0) shm_unlink(shm_name_.c_str());
  munmap(state_, sizeof(SharedState));
  state_ = nullptr;
  if (fd >= 0) {
    flock(fd, LOCK_UN);
    close(fd);
  }
}

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
