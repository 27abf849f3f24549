// Test support: a private registry and object namespace for the test program,
// and a temporary install root ("INI", "LOGFILES", a configuration file)
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

#include "win32/windows.h"

namespace trend::testing_support {

// Points the registry and the named objects of this process at private
// places for its whole life; construct it before the first registry or
// named-object use (a static object does). The directory goes at exit, but
// only in the process that made it (a forked child that exits keeps it).
class IsolatedProcess {
 public:
  explicit IsolatedProcess(const char* programName) : owner_(getpid()) {
    char pattern[] = "/tmp/wl-trend-env-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr) std::abort();
    dir_ = dir;
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    const std::string ns = std::string(programName) + "-" + std::to_string(owner_);
    setenv("WARDENLINE_OBJECT_NAMESPACE", ns.c_str(), 1);
  }
  ~IsolatedProcess() {
    if (getpid() != owner_) return;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  IsolatedProcess(const IsolatedProcess&) = delete;
  IsolatedProcess& operator=(const IsolatedProcess&) = delete;

 private:
  pid_t owner_;
  std::string dir_;
};

inline bool setInstallPathValue(const std::string& root) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex\\Wardenline\\CurrentVersion", 0,
                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG status =
      RegSetValueExA(key, "PathName", 0, REG_SZ, reinterpret_cast<const BYTE*>(root.c_str()),
                     static_cast<DWORD>(root.size() + 1));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

inline void removeInstallPathValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex\\Wardenline\\CurrentVersion", 0,
                    KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, "PathName");
    RegCloseKey(key);
  }
}

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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
