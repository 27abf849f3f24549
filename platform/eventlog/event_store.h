// The persistent store of event log records: a SQLite database of its own,
// $WARDENLINE_EVENTLOG, by default "eventlog.db" in the registry database's
// directory. Shared by every process (WAL mode, 5 s busy timeout, every
// record durable once written). Internal to the platform library; the
// functions marked WLAPI are exported for the `wlevent` tool and tests.
// Thread safety: any thread; one connection per process behind a mutex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win32/types.h"

namespace wl::eventlog {

struct EventRecord {
  int64_t recordNumber = 0;  // assigned by the store, ascending
  int64_t time = 0;          // seconds since 1970 (the system's calendar clock)
  std::string source;
  WORD type = 0;  // EVENTLOG_*_TYPE
  WORD category = 0;
  DWORD eventId = 0;
  std::vector<std::string> strings;  // insertion strings, 8-bit as reported
  std::string message;               // resolved text; empty when it could not be
  std::string data;                  // raw binary data
};

// Appends a record (its recordNumber is ignored). ERROR_SUCCESS or a Win32
// error code (ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ERROR_BADDB,
// ERROR_WRITE_FAULT).
DWORD AppendRecord(const EventRecord& record);

struct RecordFilter {
  std::string source;  // empty: every source; else compared without regard to case
  int64_t since = 0;   // records with time >= since
};

// Records in the order they were written. ERROR_SUCCESS (an absent store has
// no records) or a Win32 error code.
WLAPI DWORD ReadRecords(const RecordFilter& filter, std::vector<EventRecord>* records);

// The store's path as chosen from the environment.
WLAPI std::string StorePath();

// Closes the connection so that the next call opens the store afresh.
WLAPI void ResetEventStoreForTesting();

}  // namespace wl::eventlog
