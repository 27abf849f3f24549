// The running-software, performance and installed-software tables over
// fixture providers and fixture performance data, and the list walking they
// share with the other tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/sw_run.h"
#include "agent/testing/agent_environment.h"
#include "win32/timeapi.h"

namespace {

using nlohmann::json;

const wltest::AgentEnvironment environment("hostres-sw-test");

time_t g_t_now = 1'700'000'000;
time_t FakeClock() { return g_t_now; }

std::u16string Text(const CString& text) {
  return std::u16string(static_cast<const WCHAR*>(text), text.GetLength());
}

json Time(int year, int month, int day, int hour, int minute, int second, int milliseconds) {
  return {{"year", year}, {"month", month},   {"dayOfWeek", 0},   {"day", day},
          {"hour", hour}, {"minute", minute}, {"second", second}, {"milliseconds", milliseconds}};
}

// Tests that reach the performance helper run on a thread of their own: the
// helper's waits then never touch the main thread's platform state, which the
// process exit tears down before the helper's own unload runs.
void OnThread(const std::function<void()>& body) {
  std::thread thread(body);
  thread.join();
}

struct Process {
  const char* name;
  int pid;
  int64_t virtualBytes;
  int64_t time100ns;
};

class SoftwareTablesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TZ", "UTC0", 1);
    tzset();
    setenv("WARDENLINE_PROVIDERS", ProvidersPath().c_str(), 1);
    setenv("WARDENLINE_PERFDATA", PerfPath().c_str(), 1);
    wl_set_calendar_source(&FakeClock);
    WriteProviders(json::array());
    WritePerf({});
    ASSERT_EQ(HRDXInit(), 0u);
  }
  static void TearDownTestSuite() { HRDXTerminate(); }

  static std::string ProvidersPath() { return environment.directory() + "/providers.json"; }
  static std::string PerfPath() { return environment.directory() + "/perfdata.json"; }

  static void WriteProviders(const json& software,
                             const json& lastChange = Time(2026, 3, 1, 8, 0, 0, 0)) {
    json all = {{"W32GetSystemTimeZone", {{"bias", -60}, {"kind", 1}}},
                {"W32GetSWInstalledLastChange", {{"time", lastChange}}}};
    if (software.is_array()) {
      all["RegGetSoftwareInstalled"] = software;
    } else {
      all["RegGetSoftwareInstalled"] = {{"result", -1}};
    }
    std::ofstream(ProvidersPath()) << all.dump();
  }

  // Processes in data order; the helper reports the last one first.
  static void WritePerf(const std::vector<Process>& processes) {
    json instances = json::array();
    for (const Process& p : processes) {
      instances.push_back({{"name", p.name}, {"values", {p.pid, p.virtualBytes, p.time100ns}}});
    }
    json counters = {{{"index", 784}, {"name", "ID Process"}, {"size", 4}},
                     {{"index", 174}, {"name", "Virtual Bytes"}, {"size", 8}},
                     {{"index", 6}, {"name", "% Processor Time"}, {"size", 8}}};
    json all = {{"objects",
                 {{{"index", 230},
                   {"name", "Process"},
                   {"counters", counters},
                   {"instances", instances}}}}};
    std::ofstream(PerfPath()) << all.dump();
    g_t_now += 1000;  // the helper's data is due again
  }

  static json Software() {
    return json::array({
        {{"kind", 2},
         {"name", "pkg"},
         {"qualifier", "amd64"},
         {"major", 1},
         {"minor", 0},
         {"version", "1.0-1"},
         {"type", 1},
         {"installTime", 0}},
        {{"kind", 1},
         {"name", "ssh.service"},
         {"displayName", "OpenBSD Secure Shell server"},
         {"pathName", "/usr/sbin/sshd"},
         {"command", "/usr/sbin/sshd -D"},
         {"type", 2},
         {"installTime", 1710504000}},  // 2024-03-15 12:00:00 UTC
        {{"kind", 2}, {"name", "tool"}, {"qualifier", "all"}, {"version", "0.0~git"}, {"type", 7}},
        {{"kind", 1},
         {"name", "cron.service"},
         {"qualifier", "systemd"},
         {"command", "/usr/bin/supercronwrap --fg -x"},
         {"type", 3}},
    });
  }
};

TEST_F(SoftwareTablesTest, InstalledRowsComposeNamesTypesAndLocalDates) {
  OnThread([] {
    WriteProviders(Software());
    CSWInstalledTable table;
    ASSERT_EQ(table.hrRefresh(), 0u);
    ASSERT_EQ(table.hrGetEntryCount(), 4u);

    const CSWInstalledEntry* pkg = table.hrGet(1);
    ASSERT_NE(pkg, nullptr);
    EXPECT_EQ(Text(pkg->hrSWInstalledNameGet()), u"Software-amd64: pkg, v1.0") << "major 1 minor 0";
    EXPECT_EQ(pkg->hrSWInstalledTypeGet(), HR_SWTYPE_DEVICE_DRIVER);
    EXPECT_EQ(pkg->hrSWInstalledDateGet().wYear, 0) << "time 0 gives an all-zero date";
    EXPECT_EQ(pkg->hrSWInstalledIDGet().length, 2u);
    EXPECT_EQ(pkg->hrTimeZoneGet(), 1u);
    EXPECT_EQ(pkg->hrTimeZoneInfoGet().Bias, -60);

    const CSWInstalledEntry* ssh = table.hrGet(2);
    ASSERT_NE(ssh, nullptr);
    EXPECT_EQ(Text(ssh->hrSWInstalledNameGet()), u"Service-: OpenBSD Secure Shell server")
        << "empty qualifier, display name shown";
    EXPECT_EQ(ssh->hrSWInstalledTypeGet(), HR_SWTYPE_OPERATING_SYSTEM);
    const SYSTEMTIME& date = ssh->hrSWInstalledDateGet();
    EXPECT_EQ(date.wYear, 2024);
    EXPECT_EQ(date.wMonth, 3);
    EXPECT_EQ(date.wDay, 15);
    EXPECT_EQ(date.wDayOfWeek, 5);
    EXPECT_EQ(date.wHour, 12);
    EXPECT_EQ(Text(ssh->hrSWServiceNameGet()), u"ssh.service");

    const CSWInstalledEntry* tool = table.hrGet(3);
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(Text(tool->hrSWInstalledNameGet()), u"Software-all: tool, v0.0~git")
        << "version 0.0 with text";
    EXPECT_EQ(tool->hrSWInstalledTypeGet(), HR_SWTYPE_APPLICATION) << "type code 7";
    EXPECT_EQ(Text(table.hrGet(4)->hrSWInstalledNameGet()), u"Service-systemd: cron.service");

    DWORD index = 0;
    std::vector<DWORD> walk;
    while (table.hrGetNext(index) != nullptr) walk.push_back(index);
    EXPECT_EQ(walk, (std::vector<DWORD>{1, 2, 3, 4}));
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(table.hrGet(0), nullptr);
    EXPECT_EQ(table.hrGet(5), nullptr);
  });
}

TEST_F(SoftwareTablesTest, LookupFindsSubstringsSplitsParametersAndKnowsTheSystem) {
  OnThread([] {
    WriteProviders(Software());
    CSWInstalledTable table;
    ASSERT_EQ(table.hrRefresh(), 0u);
    WCHAR path[258];
    WCHAR parameters[258];

    EXPECT_EQ(CSWInstalledTable::GetServiceTypeFromInstalledSoftware(u"cron", path, parameters),
              HR_SWTYPE_APPLICATION)
        << "found inside a longer word of the command line";
    EXPECT_EQ(std::u16string(path), u"/usr/bin/supercronwrap") << "no path name: the command";
    EXPECT_EQ(std::u16string(parameters), u" --fg -x") << "from the first space on";

    EXPECT_EQ(CSWInstalledTable::GetServiceTypeFromInstalledSoftware(u"SSHD", path, parameters),
              HR_SWTYPE_OPERATING_SYSTEM)
        << "the process name is folded to lower case";
    EXPECT_EQ(std::u16string(path), u"/usr/sbin/sshd");
    EXPECT_EQ(std::u16string(parameters), u"");

    EXPECT_EQ(CSWInstalledTable::GetServiceTypeFromInstalledSoftware(u"nomatch", path, parameters),
              HR_SWTYPE_UNKNOWN);
    EXPECT_EQ(path[0], u'\0');
    EXPECT_EQ(parameters[0], u'\0');

    for (const char16_t* name : {u"System", u"SYSTEM", u"system"}) {
      EXPECT_EQ(CSWInstalledTable::GetServiceTypeFromInstalledSoftware(name, path, parameters),
                HR_SWTYPE_OPERATING_SYSTEM);
    }

    WCHAR small[5];
    WCHAR smallParameters[5];
    CSWInstalledTable::GetServiceTypeFromInstalledSoftware(u"cron", small, smallParameters, 5);
    EXPECT_EQ(std::u16string(small), u"/usr") << "cut to the buffer, terminated";
    EXPECT_EQ(std::u16string(smallParameters), u" --f");

    WriteProviders(json::array());
    ASSERT_EQ(table.hrRefresh(), 0u);
    EXPECT_EQ(CSWInstalledTable::GetServiceTypeFromInstalledSoftware(u"System", path, parameters),
              HR_SWTYPE_UNKNOWN)
        << "an empty table knows no system either";
  });
}

TEST_F(SoftwareTablesTest, ProcessesSortByIdWithClassificationAndWholeColumns) {
  OnThread([] {
    WriteProviders(Software());
    // Reported (last first): 8 "sshd", 2 "first", 2 "second", 0 "idle", 9 "System".
    WritePerf({{"System", 9, 10'485'760, 10'000'000'000},  // 1,000 s of processor time
               {"idle", 0, 4096, 0},
               {"second", 2, 2048, 0},
               {"first", 2, 1024, 0},
               {"sshd", 8, 8192, 123'456'789}});
    ASSERT_EQ(CSWRunTable::hrRefresh(), 0u);
    CSWRunTable run;
    CSWRunPerfTable perf;
    EXPECT_EQ(run.hrGetEntryCount(), 4u) << "ID 0 left out";
    EXPECT_EQ(perf.hrGetEntryCount(), 4u);

    DWORD index = 0;
    std::vector<std::u16string> names;
    std::vector<DWORD> indexes;
    while (const CSWRunEntry* entry = run.hrGetNext(index)) {
      names.push_back(Text(entry->hrSWRunNameGet()));
      indexes.push_back(index);
    }
    EXPECT_EQ(indexes, (std::vector<DWORD>{2, 2, 8, 9}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"first", u"second", u"sshd", u"System"}));

    const CSWRunEntry* first = run.hrGet(2);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->hrSWRunTypeGet(), HR_SWTYPE_UNKNOWN);
    EXPECT_EQ(Text(first->hrSWRunPathGet()), u"");
    EXPECT_EQ(first->hrSWRunStatusGet(), HR_SWRUNSTATUS_RUNNING);
    EXPECT_EQ(first->hrSWRunIDGet().length, 2u);
    const CSWRunEntry* sshd = run.hrGet(8);
    ASSERT_NE(sshd, nullptr);
    EXPECT_EQ(sshd->hrSWRunTypeGet(), HR_SWTYPE_OPERATING_SYSTEM);
    EXPECT_EQ(Text(sshd->hrSWRunPathGet()), u"/usr/sbin/sshd");
    EXPECT_EQ(run.hrGet(9)->hrSWRunTypeGet(), HR_SWTYPE_OPERATING_SYSTEM) << "System";

    const CSWRunPerfEntry* system = perf.hrGet(9);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->hrSWRunPerfMemoryGet(), 10240u);
    EXPECT_EQ(system->hrSWRunPerfCPUGet(), 100000u) << "1,000 s in hundredths, not wrapped";
    EXPECT_EQ(perf.hrGet(8)->hrSWRunPerfCPUGet(), 1234u);
    index = 0;
    std::vector<DWORD> perfIndexes;
    while (perf.hrGetNext(index) != nullptr) perfIndexes.push_back(index);
    EXPECT_EQ(perfIndexes, indexes);

    WriteProviders(json::array());
    ASSERT_EQ(perf.hrRefresh(), 0u);
    EXPECT_EQ(run.hrGet(9)->hrSWRunTypeGet(), HR_SWTYPE_UNKNOWN) << "System without installed rows";
  });
}

TEST_F(SoftwareTablesTest, OperatingSystemIndexNeedsAProcessNamedExactlySystem) {
  OnThread([] {
    WritePerf({{"System", 4, 0, 0}});
    DWORD value = 7;
    EXPECT_EQ(CSWRunGroup::hrSWOSIndexGet(value), 0u);
    EXPECT_EQ(value, 0u) << "\"System\" is not \"SYSTEM\"";
    WritePerf({{"SYSTEM", 4, 0, 0}});
    EXPECT_EQ(CSWRunGroup::hrSWOSIndexGet(value), 0u);
    EXPECT_EQ(value, 4u);
  });
}

TEST_F(SoftwareTablesTest, AFailedInstalledBuildEmptiesAllThreeAndFailsTheChain) {
  OnThread([] {
    WriteProviders(Software());
    WritePerf({{"sshd", 8, 8192, 0}});
    ASSERT_EQ(CSWRunTable::hrRefresh(), 0u);
    WriteProviders(nullptr);  // the provider's list call fails
    CSWRunTable run;
    CSWRunPerfTable perf;
    CSWInstalledTable installed;
    EXPECT_EQ(CSWRunTable::hrRefresh(), 1216u);
    EXPECT_EQ(perf.hrRefresh(), 1218u);
    EXPECT_EQ(run.hrGetEntryCount() + perf.hrGetEntryCount() + installed.hrGetEntryCount(), 0u);
    EXPECT_EQ(CSWRunTable::hrInit(), 1219u);
    EXPECT_EQ(installed.hrRefresh(), 1220u);
    WriteProviders(Software());
    EXPECT_EQ(perf.hrInit(), 0u);
    EXPECT_EQ(run.hrGetEntryCount(), 1u);
  });
}

TEST_F(SoftwareTablesTest, LastChangeCountsHundredthsFromTheStartUpStamp) {
  OnThread([] {
    DWORD value = 9;
    EXPECT_EQ(CSWInstalledGroup::hrSWInstalledLastChangeGet(value), 0u);
    EXPECT_EQ(value, 0u) << "no change since start-up";
    WriteProviders(json::array(), Time(2026, 3, 2, 8, 0, 1, 500));
    EXPECT_EQ(CSWInstalledGroup::hrSWInstalledLastChangeGet(value), 0u);
    EXPECT_EQ(value, 8'640'150u) << "one day and 1.5 s later";
    EXPECT_EQ(CSWInstalledGroup::hrSWInstalledLastUpdateTimeGet(value), 0u);
    EXPECT_EQ(value, 0u);
    WriteProviders(json::array());
  });
}

TEST(LookupSearch, FindsTheFirstOccurrenceWhateverTheHighBytes) {
  const std::u16string text = u"ab\u0161a\u0100aXsa";  // š and a share a low byte
  for (const std::u16string name : {u"a", u"\u0161a", u"sa", u"aXs", u"", u"zz", u"\u0100a"}) {
    EXPECT_EQ(HrFindText(text, name), text.find(name));
  }
  EXPECT_EQ(HrFindText(u"ab", u"abc"), std::u16string::npos);
}

TEST(LookupSearch, IndexFindsWhatTheSearchFinds) {
  using namespace std::string_literals;
  // Fields separated by NULs, pairs that share low bytes, a name at the very
  // end and one running past it.
  const std::u16string text = u"unit1.service\0/usr/lib/pkg1/daemon\0ab\u0161a\u0100ab\0xabab"s;
  CHRTEXTINDEX index;
  index.Build(text);
  for (const std::u16string& name :
       {u"daemon"s, u"pkg1/d"s, u"\u0161a"s, u"\u0101b"s, u"ab"s, u"bab"s, u"abab"s, u"ababa"s,
        u"x"s, u""s, u"service\0/"s, u"zz"s, u"\u0100ab\0"s, u"b\0x"s}) {
    EXPECT_EQ(index.Find(name), text.find(name)) << std::string(name.begin(), name.end());
  }
  EXPECT_NE(index.Find(u"b\0x"s), std::u16string::npos);
  const std::u16string shortText = u"a";
  index.Build(shortText);
  EXPECT_EQ(index.Find(u"a"), 0u);
  EXPECT_EQ(index.Find(u"ab"), std::u16string::npos);
}

// The list machinery the tables share, on a list of its own.
class CTESTENTRY : public CObject {
 public:
  explicit CTESTENTRY(DWORD index) : m_ul_index(index), m_ul_key(index) {}
  DWORD m_ul_index;
  DWORD m_ul_key;
};
DWORD TestIndexOf(const CObject* entry) {
  return static_cast<const CTESTENTRY*>(entry)->m_ul_index;
}
std::vector<DWORD> g_v_build;
bool g_b_fail = false;
DWORD BuildTest(CObList*& list) {
  if (g_b_fail) return 9;
  list = HrListNew();
  for (DWORD index : g_v_build) list->AddTail(new CTESTENTRY(index));
  return 0;
}

TEST(TableList, RefreshKeepsTheOldListOnFailureAndStaleCursorsStartOver) {
  CObList* list = nullptr;
  g_v_build = {1, 3, 5};
  EXPECT_EQ(HrListRefresh(list, &BuildTest, nullptr, 77), 0u) << "not built: nothing";
  EXPECT_EQ(list, nullptr);
  ASSERT_EQ(BuildTest(list), 0u);

  HrCursor cursor;
  DWORD index = 0;
  ASSERT_NE(HrListGetNext(list, cursor, index, &TestIndexOf), nullptr);
  ASSERT_NE(HrListGetNext(list, cursor, index, &TestIndexOf), nullptr);
  EXPECT_EQ(index, 3u);

  g_b_fail = true;
  const CObList* before = list;
  EXPECT_EQ(HrListRefresh(list, &BuildTest, nullptr, 77), 77u);
  EXPECT_EQ(list, before);
  EXPECT_EQ(HrListCount(list), 3u);

  g_b_fail = false;
  g_v_build = {7, 3, 9};
  EXPECT_EQ(HrListRefresh(list, &BuildTest, nullptr, 77), 0u);
  // The cursor stood in the freed list; the walk goes on from 3 in the new one.
  EXPECT_NE(HrListGetNext(list, cursor, index, &TestIndexOf), nullptr);
  EXPECT_EQ(index, 9u);
  EXPECT_EQ(HrListGetNext(list, cursor, index, &TestIndexOf), nullptr);
  EXPECT_EQ(index, 0u);
  index = 42;
  EXPECT_EQ(HrListGetNext(list, cursor, index, &TestIndexOf), nullptr) << "unknown index ends";
  EXPECT_EQ(HrListGet(list, 7, &TestIndexOf), list->GetHead());
  HrListFree(list);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(HrListCount(list), 0u);
}

// Keys are the indexes the builder gave (as a storage label would be).
bool SameBuiltKey(const CObject* a, const CObject* b) {
  return static_cast<const CTESTENTRY*>(a)->m_ul_key == static_cast<const CTESTENTRY*>(b)->m_ul_key;
}
void SetTestIndex(CObject* entry, DWORD index) {
  static_cast<CTESTENTRY*>(entry)->m_ul_index = index;
}

TEST(TableList, PersistingEntriesKeepTheirIndexAndNewOnesGoAboveBoth) {
  CObList* oldList = nullptr;
  CObList* newList = nullptr;
  g_v_build = {1, 3};  // a build that skipped position 2
  ASSERT_EQ(BuildTest(oldList), 0u);
  g_v_build = {3, 4};  // the first is gone, a new one came
  ASSERT_EQ(BuildTest(newList), 0u);
  static_cast<CTESTENTRY*>(newList->GetTail())->m_ul_key = 99;
  EXPECT_EQ(HrListUpdateIndex(oldList, newList, &TestIndexOf, &SetTestIndex, &SameBuiltKey, false),
            4u);
  EXPECT_EQ(TestIndexOf(newList->GetHead()), 3u);
  EXPECT_EQ(TestIndexOf(newList->GetTail()), 4u) << "above the old maximum 3 and the count 2";
  HrListFree(oldList);
  HrListFree(newList);
}

}  // namespace
