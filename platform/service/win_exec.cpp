// WinExec, with the "Net" command carried out through the control side.
#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "win32/winsvc.h"

extern char** environ;

namespace {

constexpr size_t kMaxCommandLine = 32767;
constexpr int kNetSeconds = 60;

// Splits at blanks; double quotes group and are dropped.
std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

DWORD StateOf(SC_HANDLE service) {
  SERVICE_STATUS status{};
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitFor(SC_HANDLE service, DWORD state) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kNetSeconds);
  while (StateOf(service) != state) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return true;
}

UINT Net(const std::vector<std::string>& words) {
  if (words.size() < 3) return 0;
  const bool stop = strcasecmp(words[1].c_str(), "stop") == 0;
  const bool start = strcasecmp(words[1].c_str(), "start") == 0;
  if (!stop && !start) return 0;
  std::string name = words[2];
  for (size_t i = 3; i < words.size(); ++i) name += " " + words[i];
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return 0;
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    CloseServiceHandle(manager);
    return ERROR_FILE_NOT_FOUND;
  }
  bool ok;
  SERVICE_STATUS status{};
  if (stop) {
    ok = (ControlService(service, SERVICE_CONTROL_STOP, &status) ||
          GetLastError() == ERROR_SERVICE_NOT_ACTIVE) &&
         WaitFor(service, SERVICE_STOPPED);
  } else {
    ok = StartServiceA(service, 0, nullptr) && WaitFor(service, SERVICE_RUNNING);
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return ok ? 33 : 0;
}

}  // namespace

extern "C" UINT WinExec(LPCSTR lpCmdLine, UINT) {
  if (lpCmdLine == nullptr) return ERROR_FILE_NOT_FOUND;
  const std::vector<std::string> words =
      Split(std::string(lpCmdLine, strnlen(lpCmdLine, kMaxCommandLine)));
  if (words.empty()) return ERROR_FILE_NOT_FOUND;
  if (strcasecmp(words[0].c_str(), "net") == 0 || strcasecmp(words[0].c_str(), "net.exe") == 0) {
    return Net(words);
  }
  std::vector<char*> args;
  for (const auto& w : words) args.push_back(const_cast<char*>(w.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return ERROR_FILE_NOT_FOUND;
  // Reaped in the background so that no zombie stays behind.
  std::thread([pid] {
    int status;
    waitpid(pid, &status, 0);
  }).detach();
  return 33;
}
