// The software tables on this machine's own providers and processes: one
// installed row per Debian package and service unit, one running row per
// process that ps lists (give or take processes that come and go between).
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <thread>

#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/sw_run.h"
#include "agent/testing/agent_environment.h"

namespace {

const wltest::AgentEnvironment environment("hostres-sw-e2e-test");

long CountLines(const char* command) {
  FILE* pipe = popen(command, "r");
  if (pipe == nullptr) return -1;
  long lines = -1;
  if (fscanf(pipe, "%ld", &lines) != 1) lines = -1;
  pclose(pipe);
  return lines;
}

TEST(SoftwareTablesOnThisMachine, RowsMatchPackagesUnitsAndProcesses) {
  unsetenv("WARDENLINE_PROVIDERS");
  unsetenv("WARDENLINE_PERFDATA");
  unsetenv("WARDENLINE_HOST_ROOT");
  const long packages =
      CountLines("dpkg-query -W -f='${db:Status-Status}\\n' 2>/dev/null | grep -c '^installed$'");
  if (packages <= 0) GTEST_SKIP() << "no dpkg database";
  ASSERT_EQ(HRDXInit(), 0u);
  // The helper is asked on a thread of its own (see sw_tables_test.cpp).
  std::thread([packages] {
    ASSERT_EQ(CSWRunTable::hrRefresh(), 0u);
    CSWInstalledTable installed;
    long software = 0;
    DWORD index = 0;
    while (const CSWInstalledEntry* row = installed.hrGetNext(index)) {
      if (row->hrSWInstalledNameGet().Find(u"Software-") == 0) ++software;
    }
    EXPECT_EQ(software, packages);
    EXPECT_GT(static_cast<long>(installed.hrGetEntryCount()), packages) << "and service units";

    const long processes = CountLines("ps -e --no-headers | wc -l");
    CSWRunTable run;
    const long rows = static_cast<long>(run.hrGetEntryCount());
    EXPECT_NEAR(rows, processes, 10 + processes / 10);
    EXPECT_EQ(CSWRunPerfTable().hrGetEntryCount(), run.hrGetEntryCount());
    DWORD pid = 0;
    DWORD previous = 0;
    while (run.hrGetNext(pid) != nullptr) {
      EXPECT_GE(pid, previous);
      previous = pid;
    }
  }).join();
  HRDXTerminate();
}

}  // namespace
