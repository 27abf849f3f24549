#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "event_listing.h"
#include "registry/tests/registry_test_support.h"
#include "win32/eventlog.h"

namespace {

using wl::eventlog::EventRecord;
using wl::eventview::ParseSince;

TEST(WleventOptions, SinceTakesSecondsOrLocalDates) {
  int64_t seconds = 0;
  EXPECT_TRUE(ParseSince("1700000000", &seconds));
  EXPECT_EQ(seconds, 1700000000);
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_TRUE(ParseSince("2023-11-14", &seconds));
  EXPECT_EQ(seconds, 1699920000);
  EXPECT_TRUE(ParseSince("2023-11-14T22:13:20", &seconds));
  EXPECT_EQ(seconds, 1700000000);
  EXPECT_TRUE(ParseSince("2023-11-14 22:13", &seconds));
  EXPECT_EQ(seconds, 1699999980);
  for (const char* bad : {"", "yesterday", "2023-13-01", "2023-11-14X10:00", "2023-11-14T10",
                          "2023-11-14T10:00:00junk", "99999999999999999999", "-5"}) {
    EXPECT_FALSE(ParseSince(bad, &seconds)) << bad;
  }
}

TEST(WleventOutput, OneLinePerRecordAndJson) {
  setenv("TZ", "UTC", 1);
  tzset();
  EventRecord record;
  record.recordNumber = 3;
  record.time = 1700000000;
  record.source = "VO DEDAZ";
  record.type = EVENTLOG_ERROR_TYPE;
  record.eventId = 0xC00003EB;
  record.message = "RIREVU001003E: not loaded.\r\n";
  EXPECT_EQ(wl::eventview::FormatLine(record),
            "2023-11-14 22:13:20 Error VO DEDAZ 1003 RIREVU001003E: not loaded.");
  EventRecord bare = record;
  bare.message.clear();
  bare.strings = {"a", "b"};
  bare.data = std::string("\x01\xff", 2);
  EXPECT_EQ(wl::eventview::FormatLine(bare),
            "2023-11-14 22:13:20 Error VO DEDAZ 1003 (no message text) \"a\" \"b\"");

  bare.strings.push_back("bad \xff byte");
  const nlohmann::json json = nlohmann::json::parse(wl::eventview::FormatJson({record, bare}));
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["event_id"], 0xC00003EBu);
  EXPECT_EQ(json[0]["type_name"], "Error");
  EXPECT_EQ(json[1]["strings"].size(), 3u);
  EXPECT_EQ(json[1]["data"], "01ff");
}

class WleventProgramTest : public TempRegistryTest {};

TEST_F(WleventProgramTest, ListsWhatWasReported) {
  const char* build = getenv("WL_BUILD_DIR");
  if (build == nullptr) GTEST_SKIP() << "WL_BUILD_DIR not set";
  setenv("WARDENLINE_EVENTLOG_SYSLOG", "0", 1);
  for (const char* source : {"First", "Second"}) {
    HANDLE handle = RegisterEventSourceA(nullptr, source);
    const char* strings[] = {source};
    ASSERT_TRUE(ReportEventA(handle, EVENTLOG_WARNING_TYPE, 0, 7, nullptr, 1, 0, strings, nullptr));
    DeregisterEventSource(handle);
  }
  const auto run = [&](const std::string& args, std::string* output) {
    FILE* pipe = popen((std::string(build) + "/bin/wlevent " + args + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    output->clear();
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) *output += buffer;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string out;
  ASSERT_EQ(run("--source second", &out), 0) << out;
  EXPECT_NE(out.find("Warning Second 7 (no message text) \"Second\"\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("First"), std::string::npos) << out;
  ASSERT_EQ(run("--json --since 0", &out), 0) << out;
  EXPECT_EQ(nlohmann::json::parse(out).size(), 2u);
  EXPECT_EQ(run("--since tomorrow", &out), 2);
}

}  // namespace
