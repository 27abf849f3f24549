// The registry's persistent store: one SQLite database per machine, shared by
// every process. Internal to the platform library (the functions marked WLAPI
// are exported for the tools and tests only).
//
// Location: $WARDENLINE_REGISTRY, default /var/lib/wardenline/registry.db; the
// directory is created on first use. The database runs in WAL mode with
// synchronous=FULL, so every completed write is durable and several processes
// read and write at once; a writer waits up to 5 s for another one.
//
// Keys are rows with a parent; names are stored as given (UTF-8) and compared
// through a case-folded copy. Enumeration order is the row id, which only grows,
// so it is creation order and the same in every process. A value replaced in
// place keeps its position. String values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)
// are stored as UTF-8 text without the final terminator (REG_MULTI_SZ keeps the
// NUL after each string and the closing NUL); other types as the bytes given.
//
// Every function returns a Win32 error code: ERROR_SUCCESS, or
// ERROR_FILE_NOT_FOUND, ERROR_KEY_DELETED (the key row is gone),
// ERROR_ACCESS_DENIED (a read-only database, or deleting a key with subkeys),
// ERROR_BADDB (not a database / corrupt), ERROR_DISK_FULL,
// ERROR_REGISTRY_IO_FAILED (cannot open, busy, other I/O failure).
// Thread safety: any thread; one connection per process behind a mutex.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "win32/types.h"

namespace wl::reg {

using KeyId = int64_t;

// Windows' limits: a key name is at most 255 UTF-16 units, and a key lies at
// most 512 levels below its root. Creating a key beyond either gives
// ERROR_INVALID_PARAMETER; keys already stored deeper (by an older version)
// can still be opened, read and deleted.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;

// Ids of the root keys (fixed rows).
constexpr KeyId kClassesRootId = 1;
constexpr KeyId kCurrentUserId = 2;
constexpr KeyId kLocalMachineId = 3;
constexpr KeyId kUsersId = 4;

struct StoredValue {
  std::string name;
  DWORD type = 0;
  std::string data;  // canonical form (see above)
};

struct StoredKey {
  KeyId id = 0;
  std::string name;
  std::string keyClass;
  int64_t lastWrite = 0;  // FILETIME units (100 ns since 1601)
};

// The database file: $WARDENLINE_REGISTRY or the default.
std::string RegistryPath();

// Splits a key path at backslashes; empty components are skipped.
std::vector<std::string> SplitKeyPath(const std::string& path);

// Finds the key `parts` below `base`.
LONG FindKey(KeyId base, const std::vector<std::string>& parts, KeyId* id);
// Finds or creates it (and every missing key on the way); `keyClass` is given
// to the last key when it is created. *created tells whether it was.
// ERROR_INVALID_PARAMETER when a key to create has a name longer than
// kMaxKeyNameLength or would lie deeper than kMaxKeyDepth.
LONG CreateKey(KeyId base, const std::vector<std::string>& parts, const std::string& keyClass,
               KeyId* id, bool* created);
// ERROR_SUCCESS when the key still exists, else ERROR_KEY_DELETED.
LONG CheckKey(KeyId id);
LONG GetKey(KeyId id, StoredKey* key);

LONG GetValue(KeyId key, const std::string& name, StoredValue* value);
LONG SetValue(KeyId key, const std::string& name, DWORD type, const std::string& data);
LONG DeleteValue(KeyId key, const std::string& name);
// Values and subkeys in enumeration order.
LONG ListValues(KeyId key, std::vector<StoredValue>* values);
LONG ListSubkeys(KeyId key, std::vector<StoredKey>* subkeys);
// The index-th value / subkey; ERROR_NO_MORE_ITEMS past the end. Asking for
// index i + 1 of the key last asked for index i, with no change to the
// database in between (from any process), costs one indexed step, so that a
// whole enumeration is linear; any other index is found by counting.
LONG ValueAt(KeyId key, DWORD index, StoredValue* value);
LONG SubkeyAt(KeyId key, DWORD index, StoredKey* subkey);

// Deletes a key and its values; ERROR_ACCESS_DENIED when it has subkeys or is
// a root.
LONG DeleteKey(KeyId id);
// Closes the connection (the next call opens $WARDENLINE_REGISTRY again).
void CloseStoreForTesting();

}  // namespace wl::reg

namespace wl {

// Runs `body` in one write transaction: every registry change it makes (with
// the Reg* functions or the calls above, from this thread) is committed when it
// returns ERROR_SUCCESS and rolled back otherwise; its result is returned (or
// the commit's error). Other threads of the process wait until it ends.
WLAPI LONG RunInRegistryTransaction(const std::function<LONG()>& body);

// Runs `body`, which only reads, against one snapshot of the registry: every
// read it makes (from this thread) sees the same state, and the reads cost no
// locking each. Its result is returned. Writers of other processes go on;
// other threads of the process wait until it ends.
WLAPI LONG RunInRegistrySnapshot(const std::function<LONG()>& body);

// Closes the process's connection and forgets every open key handle, so that
// the next call opens $WARDENLINE_REGISTRY afresh. For tests.
WLAPI void ResetRegistryForTesting();

}  // namespace wl
