// Machine-wide named semaphores: shared count and records, a guard lock and a
// redo journal, futex waits, record locks for liveness (see the header).
#include "named_semaphore.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>

#include "thread_state.h"

namespace wl {
namespace {

using namespace named_semaphore;

constexpr off_t RecordsEnd(uint32_t records) {
  return kHeaderSize + static_cast<off_t>(records) * static_cast<off_t>(sizeof(Record));
}

// Sets (F_RDLCK, F_WRLCK) or clears (F_UNLCK) a POSIX record lock on one byte.
bool SetLock(int fd, off_t byte, short type, bool wait) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  for (;;) {
    if (fcntl(fd, wait ? F_SETLKW : F_SETLK, &lock) == 0) return true;
    if (errno == EINTR) continue;
    // The guard is the only lock anyone waits for, so the kernel's deadlock
    // report can only be a false alarm; try again shortly.
    if (wait && errno == EDEADLK) {
      usleep(1000);
      continue;
    }
    return false;
  }
}

long Futex(std::atomic<int32_t>* word, int op, int32_t value, const struct timespec* timeout) {
  return syscall(SYS_futex, reinterpret_cast<int32_t*>(word), op, value, timeout, nullptr, 0);
}

// The semaphores this process has open, by shared object name.
struct Registry {
  std::mutex mutex;
  std::map<std::string, SharedSemaphore*> open;
};
Registry& TheRegistry() {
  static auto* registry = new Registry;
  return *registry;
}

constexpr DWORD kRetry = 0xFFFFFFFF;

DWORD ErrorFromErrno(int error) {
  if (error == EACCES || error == EPERM) return ERROR_ACCESS_DENIED;
  if (error == ENOMEM || error == ENOSPC || error == EMFILE || error == ENFILE || error == ENOLCK) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_INVALID_HANDLE;
}

// getpid() without a system call on every use; refreshed in fork() children.
std::atomic<int> cached_pid{0};
void RefreshPid() { cached_pid.store(getpid()); }
int CurrentPid() {
  static const bool registered = [] {
    pthread_atfork(nullptr, nullptr, RefreshPid);
    RefreshPid();
    return true;
  }();
  (void)registered;
  return cached_pid.load(std::memory_order_relaxed);
}

// How long a process waiting for the guard sleeps before it checks whether
// the guard's owner is still alive.
constexpr long kGuardPollNs = 5000000;

}  // namespace

// This process's exclusive access to the shared state: the in-process mutex,
// then the guard; the state is checked (and finished, or rebuilt) on entry.
// A child made by fork() attaches itself first.
class SharedSemaphore::Guard {
 public:
  explicit Guard(SharedSemaphore* semaphore) : semaphore_(semaphore), lock_(semaphore->mutex_) {
    if (!semaphore->Attached() && !semaphore->AttachLocked()) return;
    semaphore->LockGuard();
    locked_ = true;
    ok_ = semaphore->RecoverLocked();
  }
  ~Guard() {
    if (locked_) semaphore_->UnlockGuard();
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
  bool ok() const { return ok_; }

 private:
  SharedSemaphore* semaphore_;
  std::unique_lock<std::mutex> lock_;
  bool locked_ = false;
  bool ok_ = false;
};

std::shared_ptr<SharedSemaphore> SharedSemaphore::Open(const std::string& name, LONG initial,
                                                       LONG maximum, bool* existed, DWORD* error) {
  const std::string shm_name = SharedObjectName(name);
  const std::string path = "/dev/shm" + shm_name;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> registry_lock(registry.mutex);
  SharedSemaphore* semaphore = nullptr;
  if (auto it = registry.open.find(shm_name); it != registry.open.end()) {
    semaphore = it->second;
    std::lock_guard<std::mutex> lock(semaphore->mutex_);
    if (!semaphore->Attached() && !semaphore->AttachLocked()) {  // a child made by fork()
      *error = ERROR_NOT_ENOUGH_MEMORY;
      return nullptr;
    }
    *existed = true;
  }
  for (int attempt = 0; !semaphore && attempt < 20; ++attempt) {
    int fd = shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      *error = ErrorFromErrno(errno);
      return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
      *error = ErrorFromErrno(errno);
      close(fd);
      return nullptr;
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
      // Another user's object (or something planted): never used. Root, which
      // may remove it, puts its own in its place.
      close(fd);
      if (geteuid() == 0 && shm_unlink(shm_name.c_str()) == 0) continue;
      *error = ERROR_ACCESS_DENIED;
      return nullptr;
    }
    // The creation mode went through the umask; the object is ours alone.
    if ((st.st_mode & 07777) != 0600 && fchmod(fd, 0600) != 0) {
      *error = ErrorFromErrno(errno);
      close(fd);
      return nullptr;
    }
    auto* fresh = new SharedSemaphore;
    fresh->shm_name_ = shm_name;
    fresh->fd_ = fd;
    fresh->fallback_maximum_ = maximum;
    DWORD failure = fresh->OpenNew(path, initial, maximum, existed);
    if (failure == 0) {
      semaphore = fresh;
      registry.open[shm_name] = fresh;
      break;
    }
    delete fresh;
    if (failure != kRetry) {
      *error = failure;
      return nullptr;
    }
  }
  if (!semaphore) {
    *error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  ++semaphore->refs_;
  return std::shared_ptr<SharedSemaphore>(semaphore, &SharedSemaphore::Drop);
}

namespace {
struct OpenLock {
  explicit OpenLock(int fd) : fd(fd) { locked = SetLock(fd, kOpenByte, F_WRLCK, true); }
  ~OpenLock() {
    if (locked) SetLock(fd, kOpenByte, F_UNLCK, false);
  }
  int fd;
  bool locked;
};
}  // namespace

DWORD SharedSemaphore::OpenNew(const std::string& path, LONG initial, LONG maximum, bool* existed) {
  // Nobody else in this process sees the object yet.
  OpenLock open_lock(fd_);
  if (!open_lock.locked) return ErrorFromErrno(errno);
  // Its last user may have removed it while we waited for the open lock.
  struct stat by_fd, by_name;
  if (fstat(fd_, &by_fd) != 0 || stat(path.c_str(), &by_name) != 0 ||
      by_fd.st_ino != by_name.st_ino || by_fd.st_dev != by_name.st_dev) {
    return kRetry;
  }
  if (by_fd.st_size < RecordsEnd(kMinRecords) && ftruncate(fd_, RecordsEnd(kMinRecords)) != 0) {
    return ErrorFromErrno(errno);
  }
  void* memory = mmap(nullptr, kHeaderSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (memory == MAP_FAILED) return ERROR_NOT_ENOUGH_MEMORY;
  header_ = static_cast<Header*>(memory);
  return JoinLocked(true, initial, maximum, existed) ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

bool SharedSemaphore::AttachLocked() {
  OpenLock open_lock(fd_);
  bool existed = false;
  return open_lock.locked && JoinLocked(false, 0, fallback_maximum_, &existed);
}

bool SharedSemaphore::JoinLocked(bool initialise, LONG initial, LONG maximum, bool* existed) {
  if (!ClaimRecordLock()) return false;
  // Nobody attached: whatever dead processes left is set up anew (nobody can
  // own the guard either, since only attached processes take it).
  const bool present = OtherHolds(kPresenceByte);
  bool ready = false;
  if (!present && initialise) {
    ready = Initialise(initial, maximum) && RegisterLocked();
  } else {
    LockGuard();
    ready = RecoverLocked() && RegisterLocked();
    UnlockGuard();
  }
  if (!ready || !SetLock(fd_, kPresenceByte, F_RDLCK, false)) {
    SetLock(fd_, kRecordLockBase + self_, F_UNLCK, false);
    return false;
  }
  attached_pid_ = CurrentPid();
  *existed = present;
  return true;
}

void SharedSemaphore::Drop(SharedSemaphore* semaphore) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> registry_lock(registry.mutex);
  if (--semaphore->refs_ > 0) return;
  registry.open.erase(semaphore->shm_name_);
  semaphore->Detach();
  delete semaphore;
}

SharedSemaphore::~SharedSemaphore() {
  if (records_) munmap(records_, mapped_records_ * sizeof(Record));
  if (header_) munmap(header_, kHeaderSize);
  if (fd_ >= 0) close(fd_);  // drops every lock this process holds on the object
}

bool SharedSemaphore::Attached() const {
  return attached_pid_ != 0 && attached_pid_ == CurrentPid();
}

bool SharedSemaphore::ClaimRecordLock() {
  // Any record whose lock we can take is ours: its owner, if any, is dead.
  // Free records are tried first (the table is only a hint before the guard).
  const uint32_t capacity = mapped_records_;
  for (uint32_t i = 0; i < capacity; ++i) {
    if (records_[i].in_use.load() == 0 && SetLock(fd_, kRecordLockBase + i, F_WRLCK, false)) {
      self_ = i;
      return true;
    }
  }
  for (uint32_t i = 0; i < kMaxRecords; ++i) {
    if (SetLock(fd_, kRecordLockBase + i, F_WRLCK, false)) {
      self_ = i;
      return true;
    }
  }
  return false;
}

void SharedSemaphore::LockGuard() {
  Header& h = *header_;
  const uint32_t me = self_ + 1;
  auto* word = reinterpret_cast<std::atomic<int32_t>*>(&h.guard);
  for (bool waited = false;; waited = true) {
    uint64_t guard = h.guard.load();
    const auto owner = static_cast<uint32_t>(guard);
    // Our own record as owner is left over from a dead process (this thread
    // holds the process's mutex and is not inside); another owner whose
    // record lock is free is dead.
    if (owner == 0 || owner == me ||
        (waited && !OtherHolds(kRecordLockBase + static_cast<off_t>(owner) - 1))) {
      const uint64_t taken = (((guard >> 32) + 1) << 32) | me;
      if (h.guard.compare_exchange_strong(guard, taken)) return;
      waited = false;
      continue;
    }
    const struct timespec timeout = {0, kGuardPollNs};
    h.guard_waiters.fetch_add(1);
    if (static_cast<uint32_t>(h.guard.load()) == owner) {
      Futex(word, FUTEX_WAIT, static_cast<int32_t>(owner), &timeout);
    }
    h.guard_waiters.fetch_sub(1);
  }
}

void SharedSemaphore::UnlockGuard() {
  Header& h = *header_;
  h.guard.store(h.guard.load() & ~uint64_t{0xFFFFFFFF});
  if (h.guard_waiters.load() != 0) {
    Futex(reinterpret_cast<std::atomic<int32_t>*>(&h.guard), FUTEX_WAKE, 1, nullptr);
  }
}

bool SharedSemaphore::OtherHolds(off_t byte) const {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  if (fcntl(fd_, F_GETLK, &lock) != 0) return true;  // cannot tell: assume alive
  return lock.l_type != F_UNLCK;
}

uint32_t SharedSemaphore::RecordsThatFit() {
  struct stat st;
  if (fstat(fd_, &st) != 0 || st.st_size < kHeaderSize) return 0;
  off_t records = (st.st_size - kHeaderSize) / static_cast<off_t>(sizeof(Record));
  return static_cast<uint32_t>(std::min<off_t>(records, kMaxRecords));
}

bool SharedSemaphore::MapRecords(uint32_t capacity) {
  if (capacity == mapped_records_) return true;
  void* memory = mmap(nullptr, capacity * sizeof(Record), PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                      kHeaderSize);
  if (memory == MAP_FAILED) return false;
  if (records_) munmap(records_, mapped_records_ * sizeof(Record));
  records_ = static_cast<Record*>(memory);
  mapped_records_ = capacity;
  return true;
}

bool SharedSemaphore::Initialise(LONG initial, LONG maximum) {
  Header& h = *header_;
  h.state.store(0);
  uint32_t capacity = RecordsThatFit();
  if (capacity < kMinRecords) return false;
  if (!MapRecords(capacity)) return false;
  for (uint32_t i = 0; i < capacity; ++i) {
    records_[i].in_use.store(0, std::memory_order_relaxed);
    records_[i].pid.store(0, std::memory_order_relaxed);
    records_[i].held.store(0, std::memory_order_relaxed);
  }
  h.capacity.store(capacity);
  h.maximum.store(maximum);
  h.count.store(initial);
  h.waiters.store(0);
  h.guard.store(0);
  h.guard_waiters.store(0);
  h.journal.valid.store(0);
  h.magic.store(kMagic);
  h.version.store(kVersion);
  h.state.store(kStateReady);
  return true;
}

bool SharedSemaphore::RecoverLocked() {
  Header& h = *header_;
  const uint32_t capacity = h.capacity.load();
  const int32_t maximum = h.maximum.load();
  const int32_t count = h.count.load();
  if (h.magic.load() != kMagic || h.version.load() != kVersion || h.state.load() != kStateReady ||
      maximum <= 0 || count < 0 || count > maximum || capacity < kMinRecords ||
      capacity > kMaxRecords || h.journal.valid.load() > 1) {
    return RebuildLocked();
  }
  if (capacity != mapped_records_) {
    if (capacity > RecordsThatFit()) return RebuildLocked();
    if (!MapRecords(capacity)) return false;
  }
  const Journal& j = h.journal;
  if (j.valid.load() == 1) {
    // The last process to change the state died half-way: finish its change.
    const int32_t new_count = j.count.load();
    const int32_t held = j.held.load();
    if (j.record.load() >= capacity || new_count < 0 || new_count > maximum ||
        j.in_use.load() > 1 || held < 0 || held > maximum) {
      return RebuildLocked();
    }
    ApplyJournal();
  }
  for (uint32_t i = 0; i < capacity; ++i) {
    const int32_t held = records_[i].held.load(std::memory_order_relaxed);
    if (records_[i].in_use.load(std::memory_order_relaxed) > 1 || held < 0 || held > maximum) {
      return RebuildLocked();
    }
  }
  return true;
}

bool SharedSemaphore::RebuildLocked() {
  Header& h = *header_;
  h.state.store(0);
  int32_t maximum = h.maximum.load();
  if (maximum <= 0) maximum = fallback_maximum_;
  uint32_t capacity = RecordsThatFit();
  if (capacity < kMinRecords) {
    if (ftruncate(fd_, RecordsEnd(kMinRecords)) != 0) return false;
    capacity = kMinRecords;
  }
  if (!MapRecords(capacity)) return false;
  h.capacity.store(capacity);
  // Only the records of live processes (whose record locks are held) are
  // kept; the count is what they do not hold.
  const bool attached = Attached();
  int64_t held_by_live = 0;
  for (uint32_t i = 0; i < capacity; ++i) {
    Record& r = records_[i];
    const bool mine = attached && i == self_;
    if (mine || OtherHolds(kRecordLockBase + i)) {  // in_use may be the damage
      const int32_t held = std::clamp(r.held.load(), 0, maximum);
      r.held.store(held);
      if (mine) r.pid.store(attached_pid_);
      r.in_use.store(1);
      held_by_live += held;
    } else {
      r.held.store(0);
      r.pid.store(0);
      r.in_use.store(0);
    }
  }
  h.maximum.store(maximum);
  h.count.store(static_cast<int32_t>(std::clamp<int64_t>(maximum - held_by_live, 0, maximum)));
  h.journal.valid.store(0);
  h.magic.store(kMagic);
  h.version.store(kVersion);
  h.state.store(kStateReady);
  Wake(INT_MAX);
  return true;
}

bool SharedSemaphore::RegisterLocked() {
  Header& h = *header_;
  // The table grows until it has our record.
  uint32_t capacity = mapped_records_;
  if (self_ >= capacity) {
    while (capacity <= self_) capacity = std::min(capacity * 2, kMaxRecords);
    if (RecordsThatFit() < capacity && ftruncate(fd_, RecordsEnd(capacity)) != 0) return false;
    if (!MapRecords(capacity)) return false;
    h.capacity.store(capacity);
  }
  // A dead owner's counts come back.
  Record& r = records_[self_];
  const int32_t before = h.count.load();
  const int32_t after = r.in_use.load() == 0
                            ? before
                            : static_cast<int32_t>(std::min<int64_t>(
                                  h.maximum.load(), static_cast<int64_t>(before) + r.held.load()));
  Commit(after, self_, 1, CurrentPid(), 0);
  Wake(after - before);
  return true;
}

bool SharedSemaphore::ReapDeadHoldersLocked() {
  Header& h = *header_;
  const bool attached = Attached();
  int32_t given_back = 0;
  for (uint32_t i = 0; i < mapped_records_; ++i) {
    Record& r = records_[i];
    if (r.in_use.load() == 0 || r.held.load() == 0 || (attached && i == self_)) continue;
    if (OtherHolds(kRecordLockBase + i)) continue;
    const int32_t before = h.count.load();
    const auto after = static_cast<int32_t>(
        std::min<int64_t>(h.maximum.load(), static_cast<int64_t>(before) + r.held.load()));
    Commit(after, i, 0, 0, 0);
    given_back += after - before;
  }
  Wake(given_back);
  return given_back > 0;
}

bool SharedSemaphore::DeadHolderSeen() {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t capacity = std::min(header_->capacity.load(), mapped_records_);
  const bool attached = Attached();
  for (uint32_t i = 0; i < capacity; ++i) {
    const Record& r = records_[i];
    if (r.in_use.load() == 0 || r.held.load() <= 0 || (attached && i == self_)) continue;
    if (!OtherHolds(kRecordLockBase + i)) return true;
  }
  return false;
}

void SharedSemaphore::Commit(int32_t count, uint32_t record, uint32_t in_use, int32_t pid,
                             int32_t held) {
  Journal& j = header_->journal;
  j.record.store(record, std::memory_order_relaxed);
  j.count.store(count, std::memory_order_relaxed);
  j.in_use.store(in_use, std::memory_order_relaxed);
  j.pid.store(pid, std::memory_order_relaxed);
  j.held.store(held, std::memory_order_relaxed);
  j.valid.store(1, std::memory_order_release);
  ApplyJournal();
}

void SharedSemaphore::ApplyJournal() {
  // Release stores: none of them becomes visible before the journal does.
  Journal& j = header_->journal;
  Record& r = records_[j.record.load(std::memory_order_relaxed)];
  r.held.store(j.held.load(std::memory_order_relaxed), std::memory_order_release);
  r.pid.store(j.pid.load(std::memory_order_relaxed), std::memory_order_release);
  r.in_use.store(j.in_use.load(std::memory_order_relaxed), std::memory_order_release);
  header_->count.store(j.count.load(std::memory_order_relaxed));
  j.valid.store(0, std::memory_order_release);
}

void SharedSemaphore::Wake(int32_t count) {
  // Pairs with the waiter's increment before its last look at the count.
  if (count > 0 && header_->waiters.load() != 0) {
    Futex(&header_->count, FUTEX_WAKE, count, nullptr);
  }
}

bool SharedSemaphore::TryAcquire() {
  if (header_->count.load() == 0 && !DeadHolderSeen()) return false;
  Guard guard(this);
  if (!guard.ok()) return false;
  Header& h = *header_;
  if (h.count.load() == 0) ReapDeadHoldersLocked();
  const int32_t count = h.count.load();
  if (count == 0) return false;
  const int32_t held = records_[self_].held.load();
  Commit(count - 1, self_, 1, attached_pid_, std::min(held + 1, h.maximum.load()));
  return true;
}

bool SharedSemaphore::Release(LONG count, LONG* previous) {
  {
    Guard guard(this);
    if (!guard.ok()) return false;
    Header& h = *header_;
    const int32_t now = h.count.load();
    if (count <= 0 || count > h.maximum.load() - now) return false;
    if (previous) *previous = now;
    const int32_t held = records_[self_].held.load();
    Commit(now + count, self_, 1, attached_pid_, std::max(0, held - count));
  }
  Wake(count);
  return true;
}

bool SharedSemaphore::Wait(std::chrono::steady_clock::time_point deadline, bool infinite) {
  auto thread = CurrentThreadObject();
  for (;;) {
    thread->Checkpoint();
    if (TryAcquire()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (!infinite && now >= deadline) return false;
    auto slice = std::chrono::duration_cast<std::chrono::nanoseconds>(kDeadHolderPoll);
    if (!infinite && deadline - now < slice) slice = deadline - now;
    struct timespec timeout = {static_cast<time_t>(slice.count() / 1000000000),
                               static_cast<long>(slice.count() % 1000000000)};
    header_->waiters.fetch_add(1);
    if (header_->count.load() == 0) Futex(&header_->count, FUTEX_WAIT, 0, &timeout);
    header_->waiters.fetch_sub(1);
  }
}

void SharedSemaphore::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!Attached()) return;  // a child made by fork() that never used it
  OpenLock open_lock(fd_);
  if (!open_lock.locked) return;
  LockGuard();
  int32_t given_back = 0;
  if (RecoverLocked()) {
    // Counts this process took can no longer be released by it.
    Header& h = *header_;
    const int32_t before = h.count.load();
    const auto after = static_cast<int32_t>(std::min<int64_t>(
        h.maximum.load(), static_cast<int64_t>(before) + records_[self_].held.load()));
    Commit(after, self_, 0, 0, 0);
    given_back = after - before;
  }
  SetLock(fd_, kPresenceByte, F_UNLCK, false);
  if (!OtherHolds(kPresenceByte)) {
    // The last user removes the name (if it still names this object).
    struct stat by_fd, by_name;
    const std::string path = "/dev/shm" + shm_name_;
    if (fstat(fd_, &by_fd) == 0 && stat(path.c_str(), &by_name) == 0 &&
        by_fd.st_ino == by_name.st_ino && by_fd.st_dev == by_name.st_dev) {
      shm_unlink(shm_name_.c_str());
    }
  }
  UnlockGuard();
  // Only now: with our record lock gone, the guard would look abandoned.
  SetLock(fd_, kRecordLockBase + self_, F_UNLCK, false);
  attached_pid_ = 0;
  Wake(given_back);
}

}  // namespace wl
