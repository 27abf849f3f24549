#include "event_store.h"

#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "registry/registry_store.h"
#include "registry/sqlite_support.h"

namespace wl::eventlog {
namespace {

constexpr int kBusyTimeoutMs = 5000;
// A record waits this long in all for a store that another process holds
// locked, rather than being lost.
constexpr auto kAppendPatience = std::chrono::seconds(60);

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS events(
  record INTEGER PRIMARY KEY AUTOINCREMENT,
  time INTEGER NOT NULL,
  source TEXT NOT NULL,
  type INTEGER NOT NULL,
  category INTEGER NOT NULL,
  event_id INTEGER NOT NULL,
  strings TEXT NOT NULL,
  message TEXT NOT NULL,
  data BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS events_by_time ON events(time);
)sql";

struct Store {
  std::mutex mutex;
  sqlite3* db = nullptr;
  pid_t owner = 0;
  int lastRc = SQLITE_OK;  // SQLite's result of the last failed step

  void Close() {
    if (db != nullptr && owner == getpid()) sqlite3_close_v2(db);
    db = nullptr;  // a connection inherited through fork() is abandoned
  }

  DWORD Open(bool create) {
    if (db != nullptr && owner != getpid()) db = nullptr;
    if (db != nullptr) return ERROR_SUCCESS;
    const std::string path = StorePath();
    if (!create && access(path.c_str(), F_OK) != 0) return ERROR_FILE_NOT_FOUND;
    if (!sqlite::MakeDirectories(sqlite::DirectoryOf(path))) return ERROR_ACCESS_DENIED;
    int rc =
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
      owner = getpid();
      sqlite3_busy_timeout(db, kBusyTimeoutMs);
      rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
      // A read-only store can still be read; only the schema step may fail.
      if (rc == SQLITE_OK || (rc & 0xFF) == SQLITE_READONLY) {
        rc = sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
      }
      if (rc == SQLITE_OK) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
      if ((rc & 0xFF) == SQLITE_READONLY && !create) rc = SQLITE_OK;
    }
    lastRc = rc;
    if (rc != SQLITE_OK) {
      const DWORD error = rc == SQLITE_CANTOPEN ? ERROR_ACCESS_DENIED : sqlite::MapError(rc);
      if (db != nullptr) sqlite3_close_v2(db);
      db = nullptr;
      return error == ERROR_REGISTRY_IO_FAILED ? ERROR_WRITE_FAULT : error;
    }
    return ERROR_SUCCESS;
  }
};

Store& TheStore() {
  static Store* store = new Store;  // used until exit
  return *store;
}

DWORD Result(int rc) {
  const DWORD error = sqlite::MapError(rc);
  return error == ERROR_REGISTRY_IO_FAILED ? ERROR_WRITE_FAULT : error;
}

}  // namespace

std::string StorePath() {
  const char* env = getenv("WARDENLINE_EVENTLOG");
  if (env != nullptr && *env != '\0') return env;
  const std::string dir = sqlite::DirectoryOf(reg::RegistryPath());
  return (dir.empty() ? std::string(".") : dir) + "/eventlog.db";
}

namespace {

bool Busy(int rc) { return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED; }

DWORD AppendOnce(Store& store, const EventRecord& record);

}  // namespace

// Each attempt already waits kBusyTimeoutMs for the lock; a store still locked
// after that is tried again until kAppendPatience has passed.
DWORD AppendRecord(const EventRecord& record) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  const auto giveUp = std::chrono::steady_clock::now() + kAppendPatience;
  for (;;) {
    store.lastRc = SQLITE_OK;
    const DWORD error = AppendOnce(store, record);
    if (error == ERROR_SUCCESS || !Busy(store.lastRc) ||
        std::chrono::steady_clock::now() >= giveUp) {
      return error;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

namespace {

DWORD AppendOnce(Store& store, const EventRecord& record) {
  DWORD error = store.Open(true);
  if (error != ERROR_SUCCESS) return error;
  nlohmann::json strings = nlohmann::json::array();
  for (const std::string& s : record.strings) strings.push_back(s);
  const std::string stringsText =
      strings.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(store.db,
                              "INSERT INTO events(time, source, type, category, event_id, "
                              "strings, message, data) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                              -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_int64(stmt, 1, record.time);
    sqlite3_bind_text(stmt, 2, record.source.data(), static_cast<int>(record.source.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_int(stmt, 3, record.type);
    sqlite3_bind_int(stmt, 4, record.category);
    sqlite3_bind_int64(stmt, 5, record.eventId);
    sqlite3_bind_text(stmt, 6, stringsText.data(), static_cast<int>(stringsText.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 7, record.message.data(), static_cast<int>(record.message.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_blob(stmt, 8, record.data.empty() ? "" : record.data.data(),
                      static_cast<int>(record.data.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(stmt);
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE && rc != SQLITE_OK) {
    store.lastRc = rc;
    error = Result(rc);
    // A damaged store is not kept open; the next record tries again.
    store.Close();
  }
  return error;
}

}  // namespace

DWORD ReadRecords(const RecordFilter& filter, std::vector<EventRecord>* records) {
  records->clear();
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  DWORD error = store.Open(false);
  if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return error;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(store.db,
                              "SELECT record, time, source, type, category, event_id, strings, "
                              "message, data FROM events WHERE time >= ?1 AND "
                              "(?2 = '' OR source = ?2 COLLATE NOCASE) ORDER BY record",
                              -1, &stmt, nullptr);
  const auto text = [&](int column) {
    const void* p = sqlite3_column_blob(stmt, column);
    return p == nullptr ? std::string()
                        : std::string(static_cast<const char*>(p),
                                      static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
  };
  if (rc == SQLITE_OK) {
    sqlite3_bind_int64(stmt, 1, filter.since);
    sqlite3_bind_text(stmt, 2, filter.source.data(), static_cast<int>(filter.source.size()),
                      SQLITE_TRANSIENT);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      EventRecord record;
      record.recordNumber = sqlite3_column_int64(stmt, 0);
      record.time = sqlite3_column_int64(stmt, 1);
      record.source = text(2);
      record.type = static_cast<WORD>(sqlite3_column_int(stmt, 3));
      record.category = static_cast<WORD>(sqlite3_column_int(stmt, 4));
      record.eventId = static_cast<DWORD>(sqlite3_column_int64(stmt, 5));
      const nlohmann::json strings = nlohmann::json::parse(text(6), nullptr, false);
      if (strings.is_array()) {
        for (const auto& s : strings) {
          if (s.is_string()) record.strings.push_back(s.get<std::string>());
        }
      }
      record.message = text(7);
      record.data = text(8);
      records->push_back(std::move(record));
    }
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) {
    store.Close();
    return Result(rc);
  }
  return ERROR_SUCCESS;
}

void ResetEventStoreForTesting() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.Close();
}

}  // namespace wl::eventlog
