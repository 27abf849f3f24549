#include "win32/eventlog.h"

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "eventlog/event_store.h"
#include "registry/tests/registry_test_support.h"
#include "win32/registry.h"

namespace {

using wl::eventlog::EventRecord;

class EventLogTest : public TempRegistryTest {
 protected:
  void SetUp() override {
    TempRegistryTest::SetUp();
    unsetenv("WARDENLINE_EVENTLOG");
    setenv("WARDENLINE_EVENTLOG_SYSLOG", "0", 1);
    wl::eventlog::ResetEventStoreForTesting();
  }
  void TearDown() override {
    wl::eventlog::ResetEventStoreForTesting();
    TempRegistryTest::TearDown();
  }
  void RegisterMessageFile(const char* source, DWORD type, const std::string& file) {
    HKEY key = nullptr;
    const std::string path =
        std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + source;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "EventMessageFile", 0, type,
                             reinterpret_cast<const BYTE*>(file.c_str()),
                             static_cast<DWORD>(file.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  std::vector<EventRecord> Records(const std::string& source = "", int64_t since = 0) {
    std::vector<EventRecord> records;
    wl::eventlog::RecordFilter filter;
    filter.source = source;
    filter.since = since;
    EXPECT_EQ(wl::eventlog::ReadRecords(filter, &records), static_cast<DWORD>(ERROR_SUCCESS));
    return records;
  }
  bool Report(const char* source, WORD type, DWORD id, std::vector<const char*> strings = {}) {
    HANDLE handle = RegisterEventSourceA(nullptr, source);
    EXPECT_NE(handle, nullptr);
    const BOOL ok = ReportEventA(handle, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0,
                                 strings.empty() ? nullptr : strings.data(), nullptr);
    EXPECT_TRUE(DeregisterEventSource(handle));
    return ok;
  }
};

TEST_F(EventLogTest, RecordsCarryTheMessageFromTheSourcesTable) {
  RegisterMessageFile("VO DEDAZ", REG_SZ, WL_TEST_MODULE_PATH);
  ASSERT_TRUE(Report("VO DEDAZ", EVENTLOG_INFORMATION_TYPE, 1001));
  ASSERT_TRUE(Report("VO DEDAZ", EVENTLOG_ERROR_TYPE, 1003, {"C:", "90%"}));

  const std::vector<EventRecord> records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].source, "VO DEDAZ");
  EXPECT_EQ(records[0].eventId, 1001u);
  EXPECT_EQ(records[0].type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(records[0].message, "RIREVU001001I: The test module is loaded.\r\n");
  EXPECT_GT(records[0].time, 1600000000);
  // Inserts come from the strings; one without a string stays as written.
  EXPECT_EQ(records[1].message, "Disk C: is 90% full; %3.\r\n");
  EXPECT_EQ(records[1].strings, (std::vector<std::string>{"C:", "90%"}));
  EXPECT_LT(records[0].recordNumber, records[1].recordNumber);
  // The store sits beside the registry unless told otherwise.
  EXPECT_EQ(wl::eventlog::StorePath(), dir_ + "/eventlog.db");
}

// Another process holding the store locked longer than one wait delays a
// report; it does not lose it.
TEST_F(EventLogTest, AReportWaitsForALockedStore) {
  ASSERT_TRUE(Report("VO DEDAZ", EVENTLOG_INFORMATION_TYPE, 1002));
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(wl::eventlog::StorePath().c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    const char byte = ok ? 1 : 0;
    ok = write(ready[1], &byte, 1) == 1 && ok;
    usleep(6500 * 1000);  // longer than one attempt's wait
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    _exit(ok ? 0 : 1);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Report("VO DEDAZ", EVENTLOG_INFORMATION_TYPE, 1001));
  EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  int status = 0;
  waitpid(holder, &status, 0);
  close(ready[0]);
  close(ready[1]);
  const std::vector<EventRecord> records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].eventId, 1001u);
}

TEST_F(EventLogTest, UnresolvedMessagesAreStillRecorded) {
  setenv("WL_TEST_MODULE_DIR", "/nonexistent", 1);
  RegisterMessageFile("Broken", REG_EXPAND_SZ, "%WL_TEST_MODULE_DIR%/missing.so");
  ASSERT_TRUE(Report("Broken", EVENTLOG_WARNING_TYPE, 5, {"x"}));
  ASSERT_TRUE(Report("Unregistered", EVENTLOG_ERROR_TYPE, 6));
  RegisterMessageFile("VO DEDAZ", REG_SZ, WL_TEST_MODULE_PATH);
  ASSERT_TRUE(Report("vo dedaz", EVENTLOG_ERROR_TYPE, 4242));  // no such id in the table

  const std::vector<EventRecord> records = Records();
  ASSERT_EQ(records.size(), 3u);
  for (const EventRecord& record : records) EXPECT_EQ(record.message, "");
  EXPECT_EQ(records[0].strings, std::vector<std::string>{"x"});
  // Filters: source without regard to case, and time.
  EXPECT_EQ(Records("VO DEDAZ").size(), 1u);
  EXPECT_EQ(Records("", records[2].time + 1000).size(), 0u);
}

TEST_F(EventLogTest, BadHandlesAndArgumentsAreRefused) {
  EXPECT_EQ(RegisterEventSourceA("\\\\elsewhere", "X"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RegisterEventSourceA(nullptr, ""), nullptr);

  HANDLE handle = RegisterEventSourceA(nullptr, "X");
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(ReportEventA(handle, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 2, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  const BYTE raw[] = {1, 2, 3};
  EXPECT_TRUE(ReportEventA(handle, EVENTLOG_ERROR_TYPE, 3, 1, nullptr, 0, sizeof raw, nullptr,
                           const_cast<BYTE*>(raw)));
  EXPECT_TRUE(DeregisterEventSource(handle));
  EXPECT_FALSE(DeregisterEventSource(handle));
  EXPECT_FALSE(ReportEventA(handle, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  const std::vector<EventRecord> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].data, std::string("\1\2\3", 3));
  EXPECT_EQ(records[0].category, 3);
}

TEST_F(EventLogTest, AStoreThatCannotBeWrittenFailsTheReportOnly) {
  std::ofstream(dir_ + "/file").put('x');
  const std::string blocked = dir_ + "/file/eventlog.db";
  setenv("WARDENLINE_EVENTLOG", blocked.c_str(), 1);
  wl::eventlog::ResetEventStoreForTesting();
  EXPECT_FALSE(Report("X", EVENTLOG_ERROR_TYPE, 1));
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

  // A damaged store file answers an error too, and never crashes.
  const std::string junk = dir_ + "/junk.db";
  std::ofstream(junk) << std::string(4096, '\x5a');
  setenv("WARDENLINE_EVENTLOG", junk.c_str(), 1);
  wl::eventlog::ResetEventStoreForTesting();
  EXPECT_FALSE(Report("X", EVENTLOG_ERROR_TYPE, 1));
  std::vector<EventRecord> records;
  EXPECT_NE(wl::eventlog::ReadRecords({}, &records), static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace
