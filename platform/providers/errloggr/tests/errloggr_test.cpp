// The error service: registration, masks, the log file, the event log,
// handle 0, and many threads at once.
#include "providers/errloggr.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/event_store.h"
#include "registry/tests/registry_test_support.h"
#include "win32/eventlog.h"
#include "win32/registry.h"
#include "win32/resources.h"

namespace {

const WlMessageEntry kMessages[] = {{1, "ERRTEST%0\r\n"}, {2, "ERR TEST%0\r\n"}};
const WlMessageEntry kStrings[] = {{1, "unused"}};

}  // namespace

WL_DEFINE_MODULE_RESOURCES(kMessages, kStrings);

namespace {

// Trace as the host resources library does: inserts through a va_list.
void Trace(DWORD handle, WORD type, WORD traceClass, const WCHAR* format, ...) {
  WCHAR buffer[1024];
  va_list args;
  va_start(args, format);
  NTErrorLogFormatPtr(handle, type, traceClass, 0, buffer, 1024, format, &args);
  va_end(args);
}

class ErrorServiceTest : public TempRegistryTest {
 protected:
  void SetUp() override {
    TempRegistryTest::SetUp();
    setenv("WARDENLINE_EVENTLOG", (dir_ + "/eventlog.db").c_str(), 1);
    setenv("WARDENLINE_EVENTLOG_SYSLOG", "0", 1);
    wl::eventlog::ResetEventStoreForTesting();
    logDir_ = dir_ + "/LOGFILES";
    wideLogDir_.assign(logDir_.begin(), logDir_.end());
  }
  void TearDown() override {
    wl::eventlog::ResetEventStoreForTesting();
    unsetenv("WARDENLINE_EVENTLOG");
    TempRegistryTest::TearDown();
  }
  DWORD Init(DWORD outputs = 3, WORD report = 7, WORD debug = 0) {
    DWORD handle = 0;
    EXPECT_EQ(NTErrorInit(outputs, nullptr, report, debug, wideLogDir_.c_str(), &handle), 0u);
    EXPECT_NE(handle, 0u);
    return handle;
  }
  std::vector<std::string> LogLines() {
    std::ifstream in(logDir_ + "/ERRTEST.LOG");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<wl::eventlog::EventRecord> Events() {
    std::vector<wl::eventlog::EventRecord> records;
    wl::eventlog::RecordFilter filter;
    filter.source = "ERR TEST";
    EXPECT_EQ(wl::eventlog::ReadRecords(filter, &records), static_cast<DWORD>(ERROR_SUCCESS));
    return records;
  }
  // The text after the time and thread prefix.
  static std::string Text(const std::string& line) {
    static const std::regex prefix(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} +\d+ )");
    std::smatch match;
    EXPECT_TRUE(std::regex_search(line, match, prefix)) << line;
    return match.suffix();
  }

  std::string logDir_;
  std::u16string wideLogDir_;
};

TEST_F(ErrorServiceTest, DebugMaskSelectsTraceLinesFormattedWithInserts) {
  EXPECT_EQ(ERRLOGGR_GetSupportedVersions(nullptr), 1u);
  const DWORD handle = Init();
  Trace(handle, 0, 0x02, u"before any class: %1!d!\r\n", 1);
  EXPECT_EQ(NTErrorSetDebug(handle, 0x02 | 0x10), 0u);
  Trace(handle, 0, 0x02, u"CStorageTable::hrInit: Completed, result = %1!d!\r\n", 0);
  Trace(handle, 0, 0x04, u"not selected\r\n");
  Trace(handle, 0, 0x10, u"thread = %1!ld!, id = %2!#x!, name = %3, wide %4!s!\r\n", -3L, 255u,
        u"x", u"\u00e9");
  WCHAR buffer[16];
  va_list* none = nullptr;
  NTErrorLogFormatPtr(handle, 0, 0x02, 0, buffer, 16, u"a line longer than the buffer\r\n", none);
  EXPECT_EQ(std::u16string(buffer), u"a line longer t");
  Trace(handle, 0, 0x02, u"bad insert %1!q!\r\n", 1);  // written as it stands

  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(Text(lines[0]), "CStorageTable::hrInit: Completed, result = 0");
  EXPECT_EQ(Text(lines[1]), "thread = -3, id = 0xff, name = x, wide \xc3\xa9");
  EXPECT_EQ(Text(lines[2]), "a line longer t");
  EXPECT_EQ(Text(lines[3]), "bad insert %1!q!");
  EXPECT_TRUE(Events().empty());  // no event type given: no report
  EXPECT_EQ(NTErrorDeInit(handle), 0u);
}

TEST_F(ErrorServiceTest, ReportMaskSelectsEventsUnderTheModulesSource) {
  const DWORD handle = Init(NTERROR_OUTPUT_EVENTLOG | NTERROR_OUTPUT_LOGFILE, 7, 0);
  Trace(handle, EVENTLOG_ERROR_TYPE, 0, u"disk %1 failed\r\n", u"C:");
  EXPECT_EQ(NTErrorSetReport(handle, NTERROR_REPORT_WARNING), 0u);
  Trace(handle, EVENTLOG_ERROR_TYPE, 0, u"error not reported\r\n");
  Trace(handle, EVENTLOG_WARNING_TYPE, 0, u"warning %1!d!\r\n", 2);
  Trace(handle, EVENTLOG_INFORMATION_TYPE, 0, u"information not reported\r\n");
  const auto events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(events[0].strings, std::vector<std::string>{"disk C: failed"});
  EXPECT_EQ(events[1].type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(events[1].strings, std::vector<std::string>{"warning 2"});
  EXPECT_TRUE(LogLines().empty());  // debug mask 0: no trace lines
  // The log file alone: events are not reported whatever the mask.
  const DWORD fileOnly = Init(NTERROR_OUTPUT_LOGFILE, 7, 0xFFFF);
  Trace(fileOnly, EVENTLOG_ERROR_TYPE, 1, u"file only\r\n");
  EXPECT_EQ(Events().size(), 2u);
  EXPECT_EQ(LogLines().size(), 1u);
  NTErrorDeInit(handle);
  NTErrorDeInit(fileOnly);
}

TEST_F(ErrorServiceTest, HandleZeroAndReturnedHandlesDoNothing) {
  const DWORD handle = Init(3, 7, 0xFFFF);
  EXPECT_EQ(NTErrorDeInit(handle), 0u);
  for (DWORD dead : {0u, handle, 12345u}) {
    Trace(dead, EVENTLOG_ERROR_TYPE, 0xFFFF, u"nothing %1!d!\r\n", 1);
    EXPECT_EQ(NTErrorSetReport(dead, 7), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(NTErrorSetDebug(dead, 7), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(NTErrorDeInit(dead), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  EXPECT_TRUE(LogLines().empty());
  EXPECT_TRUE(Events().empty());
}

TEST_F(ErrorServiceTest, TheCallingLibrarysOwnTableNamesTheLogFile) {
  HMODULE library = LoadLibraryA(WL_TEST_MODULE_PATH);  // message 1 "TESTMOD", no message 2
  ASSERT_NE(library, nullptr);
  DWORD handle = 0;
  EXPECT_EQ(NTErrorInit(NTERROR_OUTPUT_EVENTLOG | NTERROR_OUTPUT_LOGFILE, library, 7, 0,
                        wideLogDir_.c_str(), &handle),
            static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  ASSERT_EQ(NTErrorInit(NTERROR_OUTPUT_LOGFILE, library, 7, 0x20, wideLogDir_.c_str(), &handle),
            0u);
  Trace(handle, 0, 0x20, u"library line\r\n");
  std::ifstream in(logDir_ + "/TESTMOD.LOG");
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(Text(line), "library line");
  EXPECT_TRUE(LogLines().empty());  // nothing in the program's file
  NTErrorDeInit(handle);
  FreeLibrary(library);
}

TEST_F(ErrorServiceTest, WithoutADirectoryTheInstallRootsLogFilesIsUsed) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex\\Wardenline\\CurrentVersion", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "PathName", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir_.c_str()),
                           static_cast<DWORD>(dir_.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
  DWORD handle = 0;
  ASSERT_EQ(NTErrorInit(NTERROR_OUTPUT_LOGFILE, nullptr, 7, 1, u"", &handle), 0u);
  Trace(handle, 0, 1, u"to the install root\r\n");
  ASSERT_EQ(LogLines().size(), 1u);  // dir_ + "/LOGFILES/ERRTEST.LOG"
  NTErrorDeInit(handle);
}

TEST_F(ErrorServiceTest, RegistrationFailures) {
  DWORD handle = 99;
  EXPECT_EQ(NTErrorInit(3, nullptr, 7, 0, wideLogDir_.c_str(), nullptr),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(NTErrorInit(4, nullptr, 7, 0, wideLogDir_.c_str(), &handle),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(handle, 0u);
  // No log directory and no install root to take one from.
  EXPECT_EQ(NTErrorInit(2, nullptr, 7, 0, nullptr, &handle),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // A module without a message table, and a handle that is no module.
  HMODULE platform = GetModuleHandleA("libwlplatform.so");
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(NTErrorInit(3, platform, 7, 0, wideLogDir_.c_str(), &handle),
            static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_NE(NTErrorInit(3, reinterpret_cast<HINSTANCE>(0x1234), 7, 0, wideLogDir_.c_str(), &handle),
            0u);
  EXPECT_EQ(handle, 0u);
  // A log directory that cannot be made (its parent is a file).
  const std::u16string blocked = wideLogDir_ + u"/x";
  std::ofstream(logDir_).put('x');
  EXPECT_EQ(NTErrorInit(2, nullptr, 7, 0, blocked.c_str(), &handle),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // Nothing asked for: a valid, silent handle.
  EXPECT_EQ(NTErrorInit(0, nullptr, 7, 0, nullptr, &handle), 0u);
  EXPECT_EQ(NTErrorDeInit(handle), 0u);
}

TEST_F(ErrorServiceTest, ManyThreadsWriteWholeLinesWhileMasksChange) {
  const DWORD handle = Init(NTERROR_OUTPUT_LOGFILE, 7, 0x01);
  constexpr int kThreads = 8;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([handle, t] {
      for (int i = 0; i < kLines; ++i) {
        Trace(handle, 0, 0x01, u"thread %1!d! line %2!d! %3\r\n", t, i,
              u"padding padding padding padding padding padding");
        NTErrorSetReport(handle, static_cast<WORD>(i & 7));
      }
    });
  }
  // A registration coming and going at the same time.
  for (int i = 0; i < 50; ++i) NTErrorDeInit(Init(NTERROR_OUTPUT_LOGFILE, 7, 0));
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  const std::regex whole(R"(^thread (\d) line (\d+) padding( padding){5}$)");
  for (const std::string& line : lines) {
    std::smatch match;
    const std::string text = Text(line);
    ASSERT_TRUE(std::regex_match(text, match, whole)) << line;
    const int t = std::stoi(match[1]);
    EXPECT_EQ(std::stoi(match[2]), next[t]++);  // each thread's lines in its order
  }
  NTErrorDeInit(handle);
}

}  // namespace
