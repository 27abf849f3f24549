// Test support of the trend tests: the shared isolated environment, and a
// temporary install root ("INI", "LOGFILES", a configuration file)
// registered as the agent's "PathName".
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "agent/testing/agent_environment.h"
#include "win32/windows.h"

namespace trend::testing_support {

// The isolated registry, event log and object namespace of the test program
// (agent/testing/agent_environment.h).
using IsolatedProcess = wltest::AgentEnvironment;
using wltest::readWholeFile;
using wltest::removeInstallPathValue;
using wltest::setInstallPathValue;

// A configuration file without control lines: start-up creates no control.
constexpr const char* kEmptyConfiguration =
    "# test configuration\n"
    "\n"
    "[TrendFiles]\n";

class TempInstallRoot {
 public:
  explicit TempInstallRoot(const std::string& configuration = kEmptyConfiguration) {
    char pattern[] = "/tmp/wl-trend-root-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr) std::abort();
    root_ = dir;
    mkdir((root_ + "/INI").c_str(), 0755);
    mkdir((root_ + "/LOGFILES").c_str(), 0755);
    writeConfiguration(configuration);
  }
  ~TempInstallRoot() {
    if (getpid() != owner_) return;
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempInstallRoot(const TempInstallRoot&) = delete;
  TempInstallRoot& operator=(const TempInstallRoot&) = delete;

  const std::string& root() const { return root_; }
  void writeConfiguration(const std::string& text) const {
    std::ofstream(root_ + "/INI/CURVEMIB.INI", std::ios::binary) << text;
  }
  std::string logText() const { return readWholeFile(root_ + "/LOGFILES/CURVEMIB.LOG"); }

 private:
  pid_t owner_ = getpid();
  std::string root_;
};

}  // namespace trend::testing_support
