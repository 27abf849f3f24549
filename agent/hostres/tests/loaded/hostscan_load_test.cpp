// libhostscan.so loaded the way its consumer loads it, on fixture providers
// and fixture performance data: start-up and its failures, RIDOVO.INI while
// loaded, the install path, and repeated load and unload.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "agent/testing/agent_environment.h"
#include "win32/resources.h"

namespace {

wltest::AgentEnvironment g_environment("hostscan_load_test");

// The providers and the run-time keep state in their own static data that an
// unload does not free; they stay mapped for the whole test, so that the leak
// check measures what libhostscan.so itself leaves behind. The performance
// helper comes and goes with the library.
const bool g_b_pinned = [] {
  const std::string directory =
      std::filesystem::path(WL_HOSTSCAN_PATH).parent_path().string() + "/";
  for (const char* name : {"libwinprob.so", "libregprob.so", "liberrloggr.so", "libwlmfc.so"}) {
    if (dlopen((directory + name).c_str(), RTLD_NOW | RTLD_NODELETE) == nullptr) return false;
  }
  return true;
}();

std::string ReadAll(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

int ThreadCount() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
    closedir(dir);
  }
  return n;
}

class HostscanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root_.path() + "/INI");
    perf_ = root_.path() + "/perf.json";
    // Two processors, so that every load runs a sampling pass at once.
    std::ofstream(perf_)
        << R"({"objects": [{"index": 238, "name": "Processor", "counters": [{"index": 6, )"
        << R"("size": 8, "type": "PERF_100NSEC_TIMER_INV"}], "instances": [{"name": "0", )"
        << R"("values": [100]}, {"name": "1", "values": [200]}]}]})";
    setenv("WARDENLINE_PERFDATA", perf_.c_str(), 1);
    providers_ = root_.path() + "/providers.json";
    WriteProviders(root_.path(), "");
    setenv("WARDENLINE_PROVIDERS", providers_.c_str(), 1);
  }

  void WriteProviders(const std::string& installPath, const std::string& extra) {
    std::ofstream(providers_) << R"({"RegGetWardenlinePathName": {"path": ")" << installPath
                              << "\"}" << extra << "}";
  }
  void WriteIni(const std::string& text) { std::ofstream(IniFile(), std::ios::trunc) << text; }
  std::string IniFile() const { return root_.path() + "/INI/RIDOVO.INI"; }
  std::string Log() const { return ReadAll(root_.path() + "/LOGFILES/HOSTSCAN.LOG"); }

  // Waits up to 3 s for the log to hold `what` `times` times.
  bool WaitForLog(const std::string& what, size_t times = 1) const {
    for (int i = 0; i < 300; ++i) {
      if (Count(Log(), what) >= times) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  wltest::TempDirectory root_{"wl-hostscan"};
  std::string perf_;
  std::string providers_;
};

TEST_F(HostscanTest, StartsWithDefaultsWhenTheConfigurationIsAbsent) {
  ASSERT_TRUE(g_b_pinned);
  HMODULE library = LoadLibraryA(WL_HOSTSCAN_PATH);
  ASSERT_NE(library, nullptr);
  using Versions = DWORD (*)(DWORD*);
  auto versions =
      reinterpret_cast<Versions>(GetProcAddress(library, "HOSTSCAN_GetSupportedVersions"));
  ASSERT_NE(versions, nullptr);
  DWORD reserved = 7;
  EXPECT_EQ(versions(&reserved), 1u);
  EXPECT_EQ(reserved, 0u);
  EXPECT_EQ(versions(nullptr), 1u);
  // Only the interface's names are exported.
  EXPECT_EQ(GetProcAddress(library, "HRDXInit"), nullptr);
  EXPECT_TRUE(FreeLibrary(library));
  // Debug mask 0: the log exists but holds no trace line.
  EXPECT_EQ(Count(Log(), "Completed"), 0u);
}

TEST_F(HostscanTest, ConfigurationIsReadAtStartAndAgainOnlyWhenTheFileChanges) {
  WriteIni("[Error Settings]\nDebug=32\n");
  HMODULE library = LoadLibraryA(WL_HOSTSCAN_PATH);
  ASSERT_NE(library, nullptr);
  EXPECT_TRUE(WaitForLog("CS_ridovoApp::InitInstance: Completed, result = 0"));
  EXPECT_EQ(Count(Log(), "CRIDOVOCONFIG::Read: Completed"), 0u) << "class 0x08 is off";

  // A rewrite turns on the internal steps (0x08): the new mask reaches the
  // error service, so the next wake-up's steps are written.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  WriteIni("[Error Settings]\nDebug=40\nReportWarning=nO\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::ofstream(root_.path() + "/INI/OTHER.TXT") << "wake";
  ASSERT_TRUE(WaitForLog("CRIDOVOCONFIG::GetConfigInfo: Completed, result = 0"));
  // Touching another file wakes the watcher, but the INI is not read again.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const size_t compares = Count(Log(), "CompareConfigInfo: Completed, result = 1");
  EXPECT_GE(compares, 1u);
  std::ofstream(root_.path() + "/INI/OTHER.TXT", std::ios::app) << "again";
  ASSERT_TRUE(WaitForLog("CompareConfigInfo: Completed, result = 1", compares + 1));
  EXPECT_EQ(Count(Log(), "CRIDOVOCONFIG::Read: Completed"), 0u);

  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_GE(Count(Log(), "HRDXTerminate: Completed"), 1u);
}

TEST_F(HostscanTest, InstallPathWithOrWithoutFinalBackslash) {
  WriteIni("[Error Settings]\nDebug=32\n");
  for (const std::string& path : {root_.path(), root_.path() + "\\\\", root_.path() + "/"}) {
    WriteProviders(path, "");
    HMODULE library = LoadLibraryA(WL_HOSTSCAN_PATH);
    ASSERT_NE(library, nullptr) << path;
    EXPECT_TRUE(FreeLibrary(library));
  }
  EXPECT_EQ(Count(Log(), "CS_ridovoApp::InitInstance: Completed, result = 0"), 3u);
}

TEST_F(HostscanTest, FailedStartUpFailsTheLoad) {
  WriteIni("[Error Settings]\nDebug=32\n");
  const int threads = ThreadCount();
  // No install path: the error service is not up yet, nothing is logged.
  std::ofstream(providers_) << R"({"RegGetWardenlinePathName": {"result": 2}})";
  EXPECT_EQ(LoadLibraryA(WL_HOSTSCAN_PATH), nullptr);
  // A provider failure after both threads started: the code is in the log,
  // and both threads are gone.
  WriteProviders(root_.path(), R"(, "W32GetSWInstalledLastChange": {"result": 5})");
  EXPECT_EQ(LoadLibraryA(WL_HOSTSCAN_PATH), nullptr);
  EXPECT_TRUE(WaitForLog("HRDXInit: Completed, result = 5"));
  EXPECT_EQ(ThreadCount(), threads);
  // The configuration directory missing: the change signal fails (1230).
  std::filesystem::remove_all(root_.path() + "/INI");
  WriteProviders(root_.path(), "");
  EXPECT_EQ(LoadLibraryA(WL_HOSTSCAN_PATH), nullptr);
  EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(HostscanTest, LoadAndUnloadRepeatedlyLeavesNoThread) {
  // Every trace class on: unloads land during a sampling pass and while the
  // watcher waits.
  WriteIni("[Error Settings]\nDebug=255\n[Option Settings]\nMonitorInterval=15\n");
  const int threads = ThreadCount();
  for (int i = 0; i < 100; ++i) {
    HMODULE library = LoadLibraryA(WL_HOSTSCAN_PATH);
    ASSERT_NE(library, nullptr) << i;
    if (i % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(FreeLibrary(library));
  }
  EXPECT_EQ(ThreadCount(), threads);
  const std::string log = Log();
  EXPECT_EQ(Count(log, "CRIDOVOCONFIG::Monitor: Completed, result = 1227"), 100u);
  EXPECT_EQ(Count(log, "CRIDOVOPROCESS::~CRIDOVOPROCESS: Completed"), 100u);
}

}  // namespace
