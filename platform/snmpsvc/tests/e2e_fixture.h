// Helpers of the end-to-end tests: temporary directories, free UDP ports,
// child processes that are always stopped, command runs with a time limit,
// and registry values written through the platform API.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "win32/types.h"
#include "wltest/platform_env.h"

namespace snmpsvc::e2e {

// A directory made with mkdtemp, removed with its contents on destruction.
using TempDir = wltest::TempDirectory;

// A UDP port on 127.0.0.1 that was free a moment ago.
int FreeUdpPort();

// A started program; stopped (SIGTERM, then SIGKILL) on destruction at the
// latest. Standard output and error go to `logFile`.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& logFile);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  bool running();
  // SIGTERM and wait; the exit status, or -1 when it had to be killed.
  int Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

struct CommandResult {
  int exitStatus = -1;  // -1 when killed for taking too long
  std::string output;   // standard output and error together
};

CommandResult RunCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds limit = std::chrono::seconds(30));

std::string ReadFile(const std::string& path);
// Polls `path` until it contains `text` or `limit` passes.
bool WaitForText(const std::string& path, const std::string& text,
                 std::chrono::milliseconds limit = std::chrono::seconds(10));

// Registry writes under HKLM.
void SetRegistryString(const std::string& key, const std::string& name, const std::string& text);
void SetRegistryNumber(const std::string& key, const std::string& name, DWORD number);
void DeleteRegistryValue(const std::string& key, const std::string& name);

// A registry database of its own, written with the wlreg tool (a process
// keeps the registry it opened first, so a second one is written from outside).
class ToolRegistry {
 public:
  explicit ToolRegistry(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  // KEY under HKLM; TYPE as wlreg takes it (REG_SZ, REG_DWORD). False on failure.
  bool Set(const std::string& key, const std::string& name, const std::string& type,
           const std::string& data) const;

 private:
  std::string path_;
};

// Path of a build output (WL_BUILD_DIR/relative).
std::string BuildPath(const std::string& relative);

}  // namespace snmpsvc::e2e
