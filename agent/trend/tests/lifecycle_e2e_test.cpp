// libcurvemib.so loaded as the SNMP service loads it, in a child process: the
// trace log, the event log and the exported symbols.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "agent/trend/tests/install_root_fixture.h"
#include "snmp/snmp.h"
#include "win32/windows.h"

namespace trend {
namespace {

using namespace std::chrono_literals;
using testing_support::TempInstallRoot;

const testing_support::IsolatedProcess isolation("trend-lifecycle-e2e");

std::string buildDir() {
  const char* dir = std::getenv("WL_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

std::string agentLibrary() { return buildDir() + "/lib/libcurvemib.so"; }

std::string runCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

bool waitForText(const TempInstallRoot& install, const std::string& text,
                 std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (install.logText().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// Child process codes.
enum ChildResult {
  kChildOk = 0,
  kChildStartupFailed = 1,
  kChildNoLibrary = 20,
  kChildNoEntry,
  kChildInitFalse,
  kChildBadView,
  kChildNoInitReturn,
  kChildBadQuery
};

// The child loads the agent as the SNMP service does, waits for start-up,
// asks one query and unloads it. Only the child touches the registry and the
// platform, so nothing of the parent's state crosses the fork.
int runAgentChild(const TempInstallRoot& install) {
  void* library = dlopen(agentLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return kChildNoLibrary;
  auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(dlsym(library, "SnmpExtensionInit"));
  auto query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(dlsym(library, "SnmpExtensionQuery"));
  if (init == nullptr || query == nullptr) return kChildNoEntry;
  HANDLE trapEvent = nullptr;
  AsnObjectIdentifier view{0, nullptr};
  if (!init(GetTickCount() / 10, &trapEvent, &view)) return kChildInitFalse;
  const UINT expected[] = {1, 3, 6, 1, 4, 1, 64823, 2, 45};
  if (trapEvent == nullptr || view.idLength != 9 || !std::equal(expected, expected + 9, view.ids)) {
    return kChildBadView;
  }
  // A failing start-up ends this process with status 1 meanwhile.
  if (!waitForText(install, "ntrend init() return\n", 20s)) return kChildNoInitReturn;
  AsnInteger32 status = 0;
  AsnInteger32 index = 0;
  if (!query(SNMP_PDU_GET, nullptr, &status, &index) || status != SNMP_ERRORSTATUS_GENERR) {
    return kChildBadQuery;
  }
  dlclose(library);
  return kChildOk;
}

// Installs the agent into the root with scripts/install.sh (registry values,
// event source with its message file), keeping the root's configuration.
bool installAgent(const TempInstallRoot& install) {
  // This file is <source>/agent/trend/tests/lifecycle_e2e_test.cpp.
  const std::string source =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path();
  const std::string command = "'" + source + "/scripts/install.sh' '" + buildDir() + "' '" +
                              install.root() + "' >/dev/null";
  return std::system(command.c_str()) == 0;
}

// Runs the child and returns its exit status, or -1 when it had to be killed.
int runInChild(const TempInstallRoot& install) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(runAgentChild(install));
  if (pid < 0) return -2;
  const auto end = std::chrono::steady_clock::now() + 60s;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(20ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string eventLogText() {
  const std::string tool = buildDir() + "/bin/wlevent";
  if (access(tool.c_str(), X_OK) != 0) return std::string();
  return runCommand("'" + tool + "' --source 'VO DEDAZ' 2>&1");
}

TEST(CurvemibLoad, ExportsOnlyTheEntryPointsAndResources) {
  const std::string symbols =
      runCommand("nm -D --defined-only '" + agentLibrary() + "' | awk '{print $3}'");
  std::set<std::string> names;
  size_t start = 0;
  while (start < symbols.size()) {
    size_t end = symbols.find('\n', start);
    if (end == std::string::npos) end = symbols.size();
    if (end > start) names.insert(symbols.substr(start, end - start));
    start = end + 1;
  }
  EXPECT_EQ(names, (std::set<std::string>{"SnmpExtensionInit", "SnmpExtensionQuery",
                                          "SnmpExtensionTrap", "wl_module_resources"}));
}

TEST(CurvemibLoad, StartsLogsReportsAndUnloads) {
  TempInstallRoot install(
      "# e2e\n"
      "pctMemoryAvailableKBytes 1 10 1 90 10 1 falling\n"
      "[TrendFiles]\n");
  ASSERT_TRUE(installAgent(install));
  ASSERT_EQ(runInChild(install), kChildOk);

  const std::string log = install.logText();
  EXPECT_NE(log.find(" SnmpExtensionInit() return\n"), std::string::npos) << log;
  EXPECT_NE(log.find("class:8, , index: 1\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\n Control Index List:........\n"), std::string::npos) << log;
  EXPECT_NE(log.find("   Deprecated Controls:\n"), std::string::npos) << log;
  EXPECT_NE(log.find("ntrend init() return\n"), std::string::npos) << log;
  EXPECT_NE(log.find("ntrend_Exit() function...\n"), std::string::npos) << log;
  EXPECT_LT(log.find("ntrend init() return\n"), log.find("ntrend_Exit() function...\n"));

  const std::string events = eventLogText();
  if (events.empty()) GTEST_SKIP() << "wlevent is not built";
  EXPECT_NE(events.find("RIREVU001001I: The VO DEDAZ MIB Agent is loaded."), std::string::npos)
      << events;
  EXPECT_NE(events.find("RIREVU001002I: The VO DEDAZ MIB Agent is unloaded."), std::string::npos)
      << events;
}

TEST(CurvemibLoad, FailedStartupEndsTheProcessWithStatusOne) {
  TempInstallRoot install;
  ASSERT_TRUE(installAgent(install));
  std::filesystem::remove(install.root() + "/INI/CURVEMIB.INI");
  EXPECT_EQ(runInChild(install), kChildStartupFailed);
  const std::string log = install.logText();
  EXPECT_NE(log.find("fopen(ntrend.ini) failed.\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("ntrend init() return\n"), std::string::npos) << log;
  // The shut-down sequence still runs when the process ends.
  EXPECT_NE(log.find("ntrend_Exit() function...\n"), std::string::npos) << log;

  const std::string events = eventLogText();
  if (events.empty()) GTEST_SKIP() << "wlevent is not built";
  EXPECT_NE(events.find("RIREVU001003E"), std::string::npos) << events;
  EXPECT_NE(events.find("RIREVU001009E"), std::string::npos) << events;
}

}  // namespace
}  // namespace trend
