// Layout of a named semaphore's shared object, and its name. Internal to the
// platform library (tests read it to inspect and damage objects on purpose).
//
// One POSIX shared-memory object per name, mode 0600, owned by the user whose
// processes share it. It holds a header (count, maximum, table size and a
// one-entry redo journal) and a table of records, one per attached process,
// with the counts that process has taken. The table grows on demand.
//
// The shared state is changed by one process at a time, the owner of the
// guard word (a futex-style lock in the header naming the owner's record).
// Liveness is proven by POSIX record locks (fcntl F_SETLK) on bytes of the
// same file, which the kernel drops as soon as a process exits, before it is
// reaped:
//   kRecordLockBase + i   write-locked by the process owning record i; a guard
//                         whose owner's byte is unlocked is taken over
//   kPresenceByte   read-locked by every attached process
//   kOpenByte       write-locked by a process attaching or detaching, so that
//                   only one at a time decides whether to set the object up
//                   anew or to remove its name
// The lock bytes are offsets only; they need not lie within the file.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace wl::named_semaphore {

constexpr uint32_t kMagic = 0x57534D32;  // "WSM2"
constexpr uint32_t kVersion = 1;
constexpr uint32_t kStateReady = 1;  // any other value: set-up or rebuild cut short

constexpr off_t kHeaderSize = 65536;  // the records start on a page boundary
constexpr uint32_t kMinRecords = 64;
constexpr uint32_t kMaxRecords = 1u << 20;

constexpr off_t kOpenByte = 0;
constexpr off_t kPresenceByte = 1;
constexpr off_t kRecordLockBase = 16;

// The change being made under the guard: the new count and the new
// contents of one record. Written before the change and cleared after it, so
// that the next process to take the guard finishes the change of a process
// that died half-way.
struct Journal {
  std::atomic<uint32_t> valid;  // 1 while a change is under way
  std::atomic<uint32_t> record;
  std::atomic<int32_t> count;
  std::atomic<uint32_t> in_use;
  std::atomic<int32_t> pid;
  std::atomic<int32_t> held;
};

struct Header {
  std::atomic<uint32_t> magic;
  std::atomic<uint32_t> version;
  std::atomic<uint32_t> state;
  std::atomic<int32_t> maximum;
  std::atomic<int32_t> count;    // also the futex word that waiters sleep on
  std::atomic<int32_t> waiters;  // hint: waiters asleep (may overcount)
  std::atomic<uint32_t> capacity;
  // (acquisitions << 32) | (owner's record + 1), the low half 0 when free; the
  // low half is the futex word that processes waiting for the guard sleep on.
  std::atomic<uint64_t> guard;
  std::atomic<int32_t> guard_waiters;  // hint, as waiters
  Journal journal;
};

struct Record {
  std::atomic<uint32_t> in_use;
  std::atomic<int32_t> pid;   // for diagnosis only; liveness is the lock
  std::atomic<int32_t> held;  // counts this process took and has not given back
  uint32_t reserved;
};

static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the guard's low half is its first word");
static_assert(sizeof(std::atomic<int32_t>) == 4 && sizeof(Record) == 16);
static_assert(sizeof(Header) <= 4096);

// The shared-memory object name (for shm_open) of semaphore `name`: a hash of
// the name and WARDENLINE_OBJECT_NAMESPACE.
inline std::string SharedObjectName(const std::string& name) {
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

}  // namespace wl::named_semaphore
