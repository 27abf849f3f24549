// The counter-name table: English names of the performance data's title
// indexes, loaded from the Perflib value "Last Counter" (the highest index)
// and the performance data value "Counter 009" (pairs of NUL-terminated
// strings: an index in decimal, then its name; an empty string ends them).
//
// Ownership: the table owns its index array and the text the entries point
// into. Thread safety: none; each user guards its table with its own lock.
#pragma once

#include <ctime>

#include "agent/common/walk_profile.h"
#include "win32/types.h"

namespace perfwalk {

class CounterNameTable {
 public:
  CounterNameTable() = default;
  CounterNameTable(const CounterNameTable&) = delete;
  CounterNameTable& operator=(const CounterNameTable&) = delete;
  ~CounterNameTable() { clear(); }

  // The name of a title index, or null when the index is outside the table,
  // has no name, or no table is loaded: such an index matches no name.
  const char* name(DWORD titleIndex) const;
  bool loaded() const { return names_ != nullptr; }
  // Frees the table and its text; lookups then find nothing.
  void clear();

  // Time (seconds since 1970) of the last load attempt; 0 before the first.
  time_t lastNameLoad = 0;

 private:
  friend int loadCounterNames(CounterNameTable* table, const WalkProfile& profile);
  friend int parseCounterNames(CounterNameTable* table, DWORD lastCounter, char* text,
                               DWORD textBytes);
  const char** names_ = nullptr;  // lastCounter + 1 entries
  DWORD count_ = 0;
  char* text_ = nullptr;
};

// Reloads the table when profile.nameReloadSeconds have passed since the last
// attempt (the attempt counts whatever its outcome). Results: 0 = loaded or not
// yet due; a registry error code; 14 = out of memory; -1 = the name text could
// not be parsed. On any failure the table is left empty.
int loadCounterNames(CounterNameTable* table, const WalkProfile& profile);

// Builds the table from a name text of textBytes bytes. Takes ownership of
// `text` (malloc'ed, at least textBytes + 1 bytes so that a terminator can be
// added). 0, 14 or -1 as loadCounterNames. Indexes above lastCounter are
// ignored. Exposed for tests and the fuzz target.
int parseCounterNames(CounterNameTable* table, DWORD lastCounter, char* text, DWORD textBytes);

}  // namespace perfwalk
