// Machine-wide named semaphores. Internal to the platform library.
//
// Every process that opens a name maps one shared object (layout and locking
// in named_semaphore_layout.h). Promises:
// - Only the owning user can open the object (mode 0600); another user's open
//   fails with ERROR_ACCESS_DENIED. An object that the caller does not own is
//   never used: root, which file modes do not stop, replaces it; anyone else
//   gets ERROR_ACCESS_DENIED.
// - Every change of the shared state is made by the owner of a guard that is
//   taken over when its owner dies, and recorded in a redo journal first, so a
//   process killed at any instruction leaves nothing half-written: the next
//   process finishes its change. Taking and releasing an uncontended count
//   makes no system call.
// - The counts a process took come back when it dies (as soon as it exits,
//   before it is reaped) or closes its last handle; waiters notice within
//   kDeadHolderPoll.
// - A damaged object (values out of range, a broken table) is rebuilt from the
//   records of the live processes, never trusted.
// - No limit on the number of processes but memory (the table grows).
//
// Thread safety: any thread. One SharedSemaphore per name and process; the
// handles of a process share it. A child made by fork() attaches itself on
// first use (it does not inherit its parent's counts).
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "named_semaphore_layout.h"
#include "win32/types.h"

namespace wl {

class SharedSemaphore {
 public:
  // How often a waiter looks for dead holders.
  static constexpr std::chrono::milliseconds kDeadHolderPoll{10};

  // Opens the semaphore `name`, creating it with `initial` and `maximum` when
  // no live process has it open (*existed false) or opening the existing one
  // unchanged (*existed true). Null with *error set on failure:
  // ERROR_ACCESS_DENIED (another user's object), ERROR_NOT_ENOUGH_MEMORY or
  // ERROR_INVALID_HANDLE (the system refused a file operation).
  static std::shared_ptr<SharedSemaphore> Open(const std::string& name, LONG initial, LONG maximum,
                                               bool* existed, DWORD* error);

  // Takes one count if there is one, without blocking.
  bool TryAcquire();
  // Adds `count`; false when it is not positive or would pass the maximum.
  bool Release(LONG count, LONG* previous);
  // Blocks for one count until `deadline` (unless `infinite`); false on
  // time-out. Honours thread suspension and termination.
  bool Wait(std::chrono::steady_clock::time_point deadline, bool infinite);

  SharedSemaphore(const SharedSemaphore&) = delete;
  SharedSemaphore& operator=(const SharedSemaphore&) = delete;

 private:
  class Guard;
  SharedSemaphore() = default;
  ~SharedSemaphore();
  static void Drop(SharedSemaphore* semaphore);
  // Maps a new object and attaches this process; 0, an error code, or kRetry
  // when the name was removed meanwhile.
  DWORD OpenNew(const std::string& path, LONG initial, LONG maximum, bool* existed);
  // Attaches this process (a child made by fork() on first use); with the
  // in-process mutex held.
  bool AttachLocked();
  // With the open lock held: takes a record, sets the object up anew when
  // nobody is attached (and `initialise`), else checks it; false on failure.
  bool JoinLocked(bool initialise, LONG initial, LONG maximum, bool* existed);

  bool Attached() const;
  bool MapRecords(uint32_t capacity);
  bool OtherHolds(off_t byte) const;
  uint32_t RecordsThatFit();
  bool ClaimRecordLock();
  void LockGuard();
  void UnlockGuard();
  bool Initialise(LONG initial, LONG maximum);
  bool RecoverLocked();
  bool RebuildLocked();
  bool RegisterLocked();
  bool ReapDeadHoldersLocked();
  bool DeadHolderSeen();
  void Commit(int32_t count, uint32_t record, uint32_t in_use, int32_t pid, int32_t held);
  void ApplyJournal();
  void Wake(int32_t count);
  void Detach();

  std::string shm_name_;
  int fd_ = -1;
  LONG fallback_maximum_ = 1;
  named_semaphore::Header* header_ = nullptr;
  named_semaphore::Record* records_ = nullptr;
  uint32_t mapped_records_ = 0;
  std::mutex mutex_;      // one thread of this process in the shared state at a time
  int attached_pid_ = 0;  // the process that owns record self_ (0: none)
  uint32_t self_ = 0;
  int refs_ = 0;  // handles of this process, under the registry's mutex
};

}  // namespace wl
