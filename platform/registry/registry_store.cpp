#include "registry_store.h"

#include <errno.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>

#include "core/trace.h"
#include "registry/name_case.h"
#include "sqlite_support.h"

namespace wl::reg {
namespace {

constexpr const char* kDefaultPath = "/var/lib/wardenline/registry.db";
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  class TEXT NOT NULL DEFAULT '',
  last_write INTEGER NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX IF NOT EXISTS reg_keys_by_name ON reg_keys(parent, fold);
CREATE INDEX IF NOT EXISTS reg_keys_by_parent ON reg_keys(parent, id);
CREATE TABLE IF NOT EXISTS reg_values(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS reg_values_by_name ON reg_values(key, fold);
CREATE INDEX IF NOT EXISTS reg_values_by_key ON reg_values(key, id);
INSERT OR IGNORE INTO reg_keys(id, parent, name, fold) VALUES
  (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),
  (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),
  (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),
  (4, 0, 'HKEY_USERS', 'HKEY_USERS');
)sql";

LONG MapSqliteError(int rc) { return sqlite::MapError(rc); }

int64_t NowAsFileTime() {
  using namespace std::chrono;
  const int64_t unix100ns =
      duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
  return unix100ns + 116444736000000000LL;
}

// The process's connection. The mutex is recursive so that a transaction's
// body (which holds it) can call the store again.
struct Connection {
  std::recursive_mutex mutex;
  sqlite3* db = nullptr;
  pid_t owner = 0;  // the process that opened `db`
  int depth = 0;    // nesting of write transactions
  std::map<const char*, sqlite3_stmt*> statements;

  // Where the last enumeration step of values / subkeys stopped, and the
  // state of the database it saw (another connection's commit changes
  // data_version, one of ours total_changes).
  struct Cursor {
    KeyId key = 0;
    DWORD index = 0;
    int64_t row = 0;
    int64_t dataVersion = -1;
    int64_t changes = -1;
  };
  Cursor valueCursor;
  Cursor subkeyCursor;

  void Close() {
    for (auto& entry : statements) sqlite3_finalize(entry.second);
    statements.clear();
    if (db != nullptr) sqlite3_close_v2(db);
    db = nullptr;
    depth = 0;
    valueCursor = subkeyCursor = Cursor();
  }

  // A child of fork() must not touch the parent's connection: it is
  // abandoned (not closed, which could disturb the parent's locks).
  void ForgetInheritedConnection() {
    if (db != nullptr && owner != getpid()) {
      statements.clear();
      db = nullptr;
      depth = 0;
      valueCursor = subkeyCursor = Cursor();
    }
  }

  LONG Exec(const char* sql) {
    return MapSqliteError(sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
  }

  LONG Open() {
    ForgetInheritedConnection();
    if (db != nullptr) return ERROR_SUCCESS;
    const std::string path = RegistryPath();
    if (!sqlite::MakeDirectories(sqlite::DirectoryOf(path))) {
      return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
    }
    int rc =
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      LONG error = rc == SQLITE_CANTOPEN ? ERROR_REGISTRY_IO_FAILED : MapSqliteError(rc);
      WL_TRACE(kReg, "cannot open the registry %s: SQLite %d, %ld", path.c_str(), rc,
               static_cast<long>(error));
      Close();
      return error;
    }
    owner = getpid();
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    LONG error = Initialize();
    if (error != ERROR_SUCCESS) Close();
    WL_TRACE(kReg, "open the registry %s: %ld", path.c_str(), static_cast<long>(error));
    return error;
  }

  LONG UserVersion(int* version) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) *version = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return rc == SQLITE_ROW ? ERROR_SUCCESS : MapSqliteError(rc);
  }

  LONG Initialize() {
    int version = 0;
    LONG error = UserVersion(&version);
    if (error != ERROR_SUCCESS) return error;
    if (version == 0) {
      // A new file. WAL is a property of the file, set once.
      if ((error = Exec("PRAGMA journal_mode=WAL")) != ERROR_SUCCESS) return error;
      if ((error = Exec("BEGIN IMMEDIATE")) != ERROR_SUCCESS) return error;
      error = Exec(kSchema);
      if (error == ERROR_SUCCESS) error = Exec("PRAGMA user_version=1");
      if (error == ERROR_SUCCESS) error = Exec("COMMIT");
      if (error != ERROR_SUCCESS) {
        Exec("ROLLBACK");
        return error;
      }
    } else if (version != kSchemaVersion) {
      return ERROR_BADDB;
    }
    return Exec("PRAGMA synchronous=FULL");
  }
};

Connection& TheConnection() {
  static Connection* connection = new Connection;  // used until exit
  return *connection;
}

// A prepared statement of the connection's cache, reset when it goes out of
// scope. `sql` must be a string literal (the cache is keyed by its address).
class Statement {
 public:
  Statement(Connection& c, const char* sql) {
    auto it = c.statements.find(sql);
    if (it != c.statements.end()) {
      stmt_ = it->second;
    } else {
      rc_ = sqlite3_prepare_v2(c.db, sql, -1, &stmt_, nullptr);
      if (rc_ == SQLITE_OK) {
        c.statements.emplace(sql, stmt_);
      } else {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
      }
    }
  }
  ~Statement() {
    if (stmt_ != nullptr) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  LONG Error() const { return MapSqliteError(rc_); }
  bool Ok() const { return stmt_ != nullptr; }

  Statement& Bind(int index, int64_t value) {
    if (Ok()) sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Statement& Bind(int index, const std::string& text) {
    if (Ok())
      sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, const std::string& bytes) {
    // A zero-length blob must still be a blob, not NULL.
    if (Ok())
      sqlite3_bind_blob(stmt_, index, bytes.empty() ? "" : bytes.data(),
                        static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }

  // Steps once: true for a row; false at the end or on error (see Error()).
  bool Step() {
    if (!Ok()) return false;
    rc_ = sqlite3_step(stmt_);
    return rc_ == SQLITE_ROW;
  }
  // Runs a statement that returns no rows.
  LONG Run() {
    while (Step()) {
    }
    return Error();
  }

  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const void* p = sqlite3_column_blob(stmt_, column);
    const int n = sqlite3_column_bytes(stmt_, column);
    return p == nullptr ? std::string() : std::string(static_cast<const char*>(p), n);
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

// Holds the connection for one call: locks the mutex and opens the database.
class Session {
 public:
  Session() : lock_(TheConnection().mutex), c_(TheConnection()) { error_ = c_.Open(); }
  LONG Error() const { return error_; }
  Connection& C() { return c_; }

  // Runs `body` inside one read transaction (or the transaction already open
  // on this thread).
  LONG Read(const std::function<LONG()>& body) {
    if (c_.depth > 0) return body();
    LONG error = c_.Exec("BEGIN");
    if (error != ERROR_SUCCESS) return error;
    ++c_.depth;
    const LONG result = body();
    --c_.depth;
    c_.Exec(result == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK");
    return result;
  }

  // Runs `body` as one atomic write: a transaction of its own, or a savepoint
  // inside the transaction already open on this thread.
  LONG Write(const std::function<LONG()>& body) {
    const bool outer = c_.depth == 0;
    LONG error = c_.Exec(outer ? "BEGIN IMMEDIATE" : "SAVEPOINT reg_write");
    if (error != ERROR_SUCCESS) return error;
    ++c_.depth;
    LONG result = body();
    --c_.depth;
    if (result == ERROR_SUCCESS) {
      result = c_.Exec(outer ? "COMMIT" : "RELEASE reg_write");
      if (result == ERROR_SUCCESS) return ERROR_SUCCESS;
    }
    if (outer) {
      c_.Exec("ROLLBACK");
    } else {
      c_.Exec("ROLLBACK TO reg_write");
      c_.Exec("RELEASE reg_write");
    }
    return result;
  }

 private:
  std::lock_guard<std::recursive_mutex> lock_;
  Connection& c_;
  LONG error_;
};

LONG KeyExists(Connection& c, KeyId id) {
  Statement s(c, "SELECT 1 FROM reg_keys WHERE id = ?");
  if (s.Bind(1, id).Step()) return ERROR_SUCCESS;
  return s.Error() != ERROR_SUCCESS ? s.Error() : ERROR_KEY_DELETED;
}

LONG FindChild(Connection& c, KeyId parent, const std::string& name, KeyId* id) {
  Statement s(c, "SELECT id FROM reg_keys WHERE parent = ? AND fold = ?");
  if (s.Bind(1, parent).Bind(2, text::FoldCase(name)).Step()) {
    *id = s.Int(0);
    return ERROR_SUCCESS;
  }
  return s.Error() != ERROR_SUCCESS ? s.Error() : ERROR_FILE_NOT_FOUND;
}

LONG Touch(Connection& c, KeyId id) {
  Statement s(c, "UPDATE reg_keys SET last_write = ? WHERE id = ?");
  return s.Bind(1, NowAsFileTime()).Bind(2, id).Run();
}

LONG FindIn(Connection& c, KeyId base, const std::vector<std::string>& parts, KeyId* id) {
  LONG error = KeyExists(c, base);
  if (error != ERROR_SUCCESS) return error;
  KeyId current = base;
  for (const std::string& part : parts) {
    if ((error = FindChild(c, current, part, &current)) != ERROR_SUCCESS) return error;
  }
  *id = current;
  return ERROR_SUCCESS;
}

// The number of levels between `id` and its root (0 for a root). Walks the
// parent links, at most kMaxKeyDepth + 1 of them: *depth is then the limit
// plus one for anything deeper.
LONG DepthOf(Connection& c, KeyId id, size_t* depth) {
  size_t levels = 0;
  KeyId current = id;
  while (levels <= kMaxKeyDepth) {
    Statement s(c, "SELECT parent FROM reg_keys WHERE id = ?");
    if (!s.Bind(1, current).Step()) {
      return s.Error() != ERROR_SUCCESS ? s.Error() : ERROR_KEY_DELETED;
    }
    current = s.Int(0);
    if (current == 0) break;
    ++levels;
  }
  *depth = levels;
  return ERROR_SUCCESS;
}

bool ValidKeyName(const std::string& name) {
  return text::Utf8ToUtf16(name, text::kRegistryText).size() <= kMaxKeyNameLength;
}

// The database's state as the enumeration cursors compare it.
LONG ReadVersion(Connection& c, int64_t* dataVersion, int64_t* changes) {
  Statement s(c, "PRAGMA data_version");
  if (!s.Step()) return s.Error() != ERROR_SUCCESS ? s.Error() : ERROR_REGISTRY_IO_FAILED;
  *dataVersion = s.Int(0);
  *changes = sqlite3_total_changes64(c.db);
  return ERROR_SUCCESS;
}

// Runs `next` (rows of `key` after a row id) when the cursor stands at
// index - 1 of the same key in an unchanged database, else `counted` (rows of
// `key` at an offset). Both select the row id as their last column `idColumn`.
template <class Row, class Reader>
LONG StepTo(Connection& c, Connection::Cursor& cursor, KeyId key, DWORD index, const char* next,
            const char* counted, int idColumn, Reader read, Row* row) {
  int64_t dataVersion = 0, changes = 0;
  LONG error = ReadVersion(c, &dataVersion, &changes);
  if (error != ERROR_SUCCESS) return error;
  const bool follows = index > 0 && cursor.key == key && cursor.index + 1 == index &&
                       cursor.dataVersion == dataVersion && cursor.changes == changes;
  Statement s(c, follows ? next : counted);
  s.Bind(1, key).Bind(2, follows ? cursor.row : static_cast<int64_t>(index));
  if (s.Step()) {
    *row = read(s);
    cursor = Connection::Cursor{key, index, s.Int(idColumn), dataVersion, changes};
    return ERROR_SUCCESS;
  }
  cursor = Connection::Cursor();
  if (s.Error() != ERROR_SUCCESS) return s.Error();
  error = KeyExists(c, key);
  return error != ERROR_SUCCESS ? error : ERROR_NO_MORE_ITEMS;
}

StoredKey ReadKeyRow(const Statement& s) {
  StoredKey key;
  key.id = s.Int(0);
  key.name = s.Text(1);
  key.keyClass = s.Text(2);
  key.lastWrite = s.Int(3);
  return key;
}

StoredValue ReadValueRow(const Statement& s) {
  StoredValue value;
  value.name = s.Text(0);
  value.type = static_cast<DWORD>(s.Int(1));
  value.data = s.Text(2);
  return value;
}

}  // namespace

std::string RegistryPath() {
  const char* env = getenv("WARDENLINE_REGISTRY");
  return (env != nullptr && *env != '\0') ? env : kDefaultPath;
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

LONG FindKey(KeyId base, const std::vector<std::string>& parts, KeyId* id) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  return FindIn(session.C(), base, parts, id);
}

LONG CreateKey(KeyId base, const std::vector<std::string>& parts, const std::string& keyClass,
               KeyId* id, bool* created) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  Connection& c = session.C();
  *created = false;
  // Plain lookup first, so that opening an existing key needs no write lock.
  KeyId found = 0;
  LONG error = FindIn(c, base, parts, &found);
  if (error == ERROR_SUCCESS) {
    *id = found;
    return ERROR_SUCCESS;
  }
  if (error != ERROR_FILE_NOT_FOUND) return error;
  for (const std::string& part : parts) {
    if (!ValidKeyName(part)) return ERROR_INVALID_PARAMETER;
  }
  return session.Write([&]() -> LONG {
    size_t baseDepth = 0;
    LONG e = DepthOf(c, base, &baseDepth);
    if (e != ERROR_SUCCESS) return e;
    if (baseDepth + parts.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    KeyId current = base;
    bool madeLast = false;
    for (size_t i = 0; i < parts.size(); ++i) {
      KeyId child = 0;
      e = FindChild(c, current, parts[i], &child);
      madeLast = false;
      if (e == ERROR_FILE_NOT_FOUND) {
        const std::string& cls = i + 1 == parts.size() ? keyClass : std::string();
        Statement s(c,
                    "INSERT INTO reg_keys(parent, name, fold, class, last_write) "
                    "VALUES (?, ?, ?, ?, ?)");
        e = s.Bind(1, current)
                .Bind(2, parts[i])
                .Bind(3, text::FoldCase(parts[i]))
                .Bind(4, cls)
                .Bind(5, NowAsFileTime())
                .Run();
        if (e != ERROR_SUCCESS) return e;
        child = sqlite3_last_insert_rowid(c.db);
        if ((e = Touch(c, current)) != ERROR_SUCCESS) return e;
        madeLast = true;
      } else if (e != ERROR_SUCCESS) {
        return e;
      }
      current = child;
    }
    *id = current;
    *created = madeLast;
    return ERROR_SUCCESS;
  });
}

LONG CheckKey(KeyId id) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  return KeyExists(session.C(), id);
}

LONG GetKey(KeyId id, StoredKey* key) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  Statement s(session.C(), "SELECT id, name, class, last_write FROM reg_keys WHERE id = ?");
  if (s.Bind(1, id).Step()) {
    *key = ReadKeyRow(s);
    return ERROR_SUCCESS;
  }
  return s.Error() != ERROR_SUCCESS ? s.Error() : ERROR_KEY_DELETED;
}

LONG GetValue(KeyId key, const std::string& name, StoredValue* value) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  Statement s(session.C(), "SELECT name, type, data FROM reg_values WHERE key = ? AND fold = ?");
  if (s.Bind(1, key).Bind(2, text::FoldCase(name)).Step()) {
    *value = ReadValueRow(s);
    return ERROR_SUCCESS;
  }
  if (s.Error() != ERROR_SUCCESS) return s.Error();
  LONG error = KeyExists(session.C(), key);
  return error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
}

LONG SetValue(KeyId key, const std::string& name, DWORD type, const std::string& data) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  Connection& c = session.C();
  return session.Write([&]() -> LONG {
    LONG e = KeyExists(c, key);
    if (e != ERROR_SUCCESS) return e;
    // Replacing keeps the row (and so the value's place in enumeration); the
    // name's spelling stays that of its first writer, as on Windows.
    Statement update(c, "UPDATE reg_values SET type = ?, data = ? WHERE key = ? AND fold = ?");
    e = update.Bind(1, type).BindBlob(2, data).Bind(3, key).Bind(4, text::FoldCase(name)).Run();
    if (e != ERROR_SUCCESS) return e;
    if (sqlite3_changes(c.db) == 0) {
      Statement insert(
          c, "INSERT INTO reg_values(key, name, fold, type, data) VALUES (?, ?, ?, ?, ?)");
      e = insert.Bind(1, key)
              .Bind(2, name)
              .Bind(3, text::FoldCase(name))
              .Bind(4, type)
              .BindBlob(5, data)
              .Run();
      if (e != ERROR_SUCCESS) return e;
    }
    return Touch(c, key);
  });
}

LONG DeleteValue(KeyId key, const std::string& name) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  Connection& c = session.C();
  return session.Write([&]() -> LONG {
    LONG e = KeyExists(c, key);
    if (e != ERROR_SUCCESS) return e;
    Statement s(c, "DELETE FROM reg_values WHERE key = ? AND fold = ?");
    if ((e = s.Bind(1, key).Bind(2, text::FoldCase(name)).Run()) != ERROR_SUCCESS) return e;
    if (sqlite3_changes(c.db) == 0) return ERROR_FILE_NOT_FOUND;
    return Touch(c, key);
  });
}

LONG ListValues(KeyId key, std::vector<StoredValue>* values) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  values->clear();
  LONG error = KeyExists(session.C(), key);
  if (error != ERROR_SUCCESS) return error;
  Statement s(session.C(), "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id");
  s.Bind(1, key);
  while (s.Step()) values->push_back(ReadValueRow(s));
  return s.Error();
}

LONG ListSubkeys(KeyId key, std::vector<StoredKey>* subkeys) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  subkeys->clear();
  LONG error = KeyExists(session.C(), key);
  if (error != ERROR_SUCCESS) return error;
  Statement s(session.C(),
              "SELECT id, name, class, last_write FROM reg_keys WHERE parent = ? ORDER BY id");
  s.Bind(1, key);
  while (s.Step()) subkeys->push_back(ReadKeyRow(s));
  return s.Error();
}

LONG ValueAt(KeyId key, DWORD index, StoredValue* value) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  Connection& c = session.C();
  return StepTo(c, c.valueCursor, key, index,
                "SELECT name, type, data, id FROM reg_values WHERE key = ? AND id > ? "
                "ORDER BY id LIMIT 1",
                "SELECT name, type, data, id FROM reg_values WHERE key = ? "
                "ORDER BY id LIMIT 1 OFFSET ?",
                3, ReadValueRow, value);
}

LONG SubkeyAt(KeyId key, DWORD index, StoredKey* subkey) {
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  Connection& c = session.C();
  return StepTo(c, c.subkeyCursor, key, index,
                "SELECT id, name, class, last_write, id FROM reg_keys WHERE parent = ? AND id > ? "
                "ORDER BY id LIMIT 1",
                "SELECT id, name, class, last_write, id FROM reg_keys WHERE parent = ? "
                "ORDER BY id LIMIT 1 OFFSET ?",
                4, ReadKeyRow, subkey);
}

LONG DeleteKey(KeyId id) {
  if (id <= kUsersId) return ERROR_ACCESS_DENIED;
  Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  Connection& c = session.C();
  return session.Write([&]() -> LONG {
    Statement parent(c, "SELECT parent FROM reg_keys WHERE id = ?");
    if (!parent.Bind(1, id).Step()) {
      return parent.Error() != ERROR_SUCCESS ? parent.Error() : ERROR_KEY_DELETED;
    }
    const KeyId parentId = parent.Int(0);
    Statement children(c, "SELECT 1 FROM reg_keys WHERE parent = ? LIMIT 1");
    if (children.Bind(1, id).Step()) return ERROR_ACCESS_DENIED;
    if (children.Error() != ERROR_SUCCESS) return children.Error();
    Statement values(c, "DELETE FROM reg_values WHERE key = ?");
    LONG e = values.Bind(1, id).Run();
    if (e != ERROR_SUCCESS) return e;
    Statement key(c, "DELETE FROM reg_keys WHERE id = ?");
    if ((e = key.Bind(1, id).Run()) != ERROR_SUCCESS) return e;
    return Touch(c, parentId);
  });
}

void CloseStoreForTesting() {
  Connection& c = TheConnection();
  std::lock_guard<std::recursive_mutex> lock(c.mutex);
  c.ForgetInheritedConnection();
  c.Close();
}

}  // namespace wl::reg

namespace wl {

LONG RunInRegistrySnapshot(const std::function<LONG()>& body) {
  reg::Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  return session.Read(body);
}

LONG RunInRegistryTransaction(const std::function<LONG()>& body) {
  reg::Session session;
  if (session.Error() != ERROR_SUCCESS) return session.Error();
  return session.Write(body);
}

}  // namespace wl
