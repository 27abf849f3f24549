// The one test fixture of the platform layer and its tools: an isolated
// registry, event log, temporary directory and object namespace, so that no
// test touches the machine's own state or another test's.
//
// - TempDirectory: a fresh directory (mkdtemp under $TMPDIR or /tmp), removed
//   with its contents when the object goes.
// - ScopedEnv: an environment variable set for one scope, restored after.
// - IsolatedPlatform: a TempDirectory holding the registry ("registry.db") and
//   the event log ("eventlog.db"), syslog copies off, and an object namespace
//   of its own for named objects; the registry and event store connections are
//   reset on entry and exit so that they follow the new paths.
// - PlatformTest: a GoogleTest fixture with one IsolatedPlatform per test.
// - ProcessPlatform(): one IsolatedPlatform for the whole test process, for
//   suites that only need to stay off the machine's state.
// Not thread-safe: set up before a test starts threads (setenv).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "eventlog/event_store.h"
#include "registry/registry_store.h"

namespace wltest {

class TempDirectory {
 public:
  explicit TempDirectory(const char* prefix = "wltest") {
    const char* tmp = getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDirectory() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  // Empty when the directory could not be made.
  const std::string& path() const { return path_; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  std::string operator/(const std::string& name) const { return Path(name); }

 private:
  std::string path_;
};

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

inline void WriteTextFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class IsolatedPlatform {
 public:
  explicit IsolatedPlatform(const char* prefix = "wltest") : directory_(prefix) {
    setenv("WARDENLINE_REGISTRY", RegistryPath().c_str(), 1);
    setenv("WARDENLINE_EVENTLOG", directory_.Path("eventlog.db").c_str(), 1);
    setenv("WARDENLINE_EVENTLOG_SYSLOG", "0", 1);
    const std::string ns = "wltest-" + std::to_string(getpid()) + "-" +
                           std::filesystem::path(directory_.path()).filename().string();
    setenv("WARDENLINE_OBJECT_NAMESPACE", ns.c_str(), 1);
    Reset();
  }
  ~IsolatedPlatform() { Reset(); }
  IsolatedPlatform(const IsolatedPlatform&) = delete;
  IsolatedPlatform& operator=(const IsolatedPlatform&) = delete;

  const std::string& dir() const { return directory_.path(); }
  std::string Path(const std::string& name) const { return directory_.Path(name); }
  std::string RegistryPath() const { return directory_.Path("registry.db"); }

  // Closes the connections so that the next call opens whatever the
  // environment names now.
  static void Reset() {
    wl::ResetRegistryForTesting();
    wl::eventlog::ResetEventStoreForTesting();
  }

 private:
  TempDirectory directory_;
};

// One isolated platform for the whole process, made on first use and removed
// at exit.
inline IsolatedPlatform& ProcessPlatform() {
  static IsolatedPlatform platform("wltest-process");
  return platform;
}

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_.emplace();
    ASSERT_FALSE(platform_->dir().empty());
    dir_ = platform_->dir();
    dbPath_ = platform_->RegistryPath();
  }
  void TearDown() override { platform_.reset(); }

  std::optional<IsolatedPlatform> platform_;
  std::string dir_;
  std::string dbPath_;
};

}  // namespace wltest
