// Test support shared by the agent's tests: a process-wide isolated
// environment (registry, event log, object namespace, all under one temporary
// directory) and the install root value in that registry.
//
// Construct AgentEnvironment before the first registry, event-log or
// named-object use (a static object does) and keep it for the life of the
// test program. Its directory goes at exit, but only in the process that made
// it (a forked child that exits keeps it). Not thread-safe: it sets
// environment variables.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "win32/windows.h"

namespace wltest {

class AgentEnvironment {
 public:
  explicit AgentEnvironment(const char* programName) : owner_(getpid()) {
    char pattern[] = "/tmp/wl-agent-env-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr) std::abort();
    dir_ = dir;
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    setenv("WARDENLINE_EVENTLOG", (dir_ + "/eventlog.db").c_str(), 1);
    setenv("WARDENLINE_EVENTLOG_SYSLOG", "0", 1);
    const std::string ns = std::string(programName) + "-" + std::to_string(owner_);
    setenv("WARDENLINE_OBJECT_NAMESPACE", ns.c_str(), 1);
  }
  ~AgentEnvironment() {
    if (getpid() != owner_) return;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  AgentEnvironment(const AgentEnvironment&) = delete;
  AgentEnvironment& operator=(const AgentEnvironment&) = delete;

  // The temporary directory; tests may put their own files below it.
  const std::string& directory() const { return dir_; }

 private:
  pid_t owner_;
  std::string dir_;
};

// A fresh temporary directory, removed with everything in it when the object
// goes (only by the process that made it).
class TempDirectory {
 public:
  explicit TempDirectory(const char* stem = "wl-agent") : owner_(getpid()) {
    std::string pattern = std::string("/tmp/") + stem + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDirectory() {
    if (getpid() != owner_) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }

 private:
  pid_t owner_;
  std::string path_;
};

// A temporary directory that holds the process's registry while it lives:
// the per-test isolation of tests that each start from an empty registry.
class Sandbox : public TempDirectory {
 public:
  explicit Sandbox(const char* stem = "wl-sandbox") : TempDirectory(stem) {
    setenv("WARDENLINE_REGISTRY", (path() + "/registry.db").c_str(), 1);
  }
};

constexpr const char* kInstallKey = "Software\\Tarvex\\Wardenline\\CurrentVersion";

// Writes the install root value "PathName" with the given bytes and type.
inline bool setInstallPathBytes(const void* bytes, DWORD size, DWORD type = REG_SZ) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG status =
      RegSetValueExA(key, "PathName", 0, type, static_cast<const BYTE*>(bytes), size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

// Writes "PathName" as text with its terminator.
inline bool setInstallPathValue(const std::string& root) {
  return setInstallPathBytes(root.c_str(), static_cast<DWORD>(root.size() + 1));
}

inline void removeInstallPathValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
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

}  // namespace wltest
