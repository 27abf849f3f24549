#include "e2e_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "win32/registry.h"

namespace snmpsvc::e2e {

int FreeUdpPort() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Waits for a child up to `limit`; true when it ended (status stored).
bool WaitFor(pid_t pid, int* status, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) return true;
    if (done < 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& logFile) {
  std::vector<char*> arguments = ArgvOf(argv);
  pid_ = fork();
  if (pid_ == 0) {
    int fd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    execv(arguments[0], arguments.data());
    _exit(127);
  }
}

ChildProcess::~ChildProcess() { Stop(std::chrono::seconds(5)); }

bool ChildProcess::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return false;
  }
  return true;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return status_;
  kill(pid_, SIGTERM);
  int status = 0;
  if (!WaitFor(pid_, &status, grace)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    status_ = -1;
  } else {
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  pid_ = -1;
  return status_;
}

CommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
  CommandResult result;
  int fds[2];
  if (pipe(fds) != 0) return result;
  std::vector<char*> arguments = ArgvOf(argv);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    execvp(arguments[0], arguments.data());
    _exit(127);
  }
  close(fds[1]);
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  bool ended = false;
  char buffer[4096];
  for (;;) {
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, got);
    if (ended) break;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      ended = true;
      continue;  // one more read for what is left in the pipe
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      close(fds[0]);
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  close(fds[0]);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool WaitForText(const std::string& path, const std::string& text,
                 std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (ReadFile(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return ReadFile(path).find(text) != std::string::npos;
}

namespace {
HKEY CreateKey(const std::string& key) {
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create registry key " + key);
  }
  return handle;
}
}  // namespace

void SetRegistryString(const std::string& key, const std::string& name, const std::string& text) {
  HKEY handle = CreateKey(key);
  RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(handle);
}

void SetRegistryNumber(const std::string& key, const std::string& name, DWORD number) {
  HKEY handle = CreateKey(key);
  RegSetValueExA(handle, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  RegCloseKey(handle);
}

void DeleteRegistryValue(const std::string& key, const std::string& name) {
  HKEY handle = CreateKey(key);
  RegDeleteValueA(handle, name.c_str());
  RegCloseKey(handle);
}

bool ToolRegistry::Set(const std::string& key, const std::string& name, const std::string& type,
                       const std::string& data) const {
  CommandResult result = RunCommand({"env", "WARDENLINE_REGISTRY=" + path_, BuildPath("bin/wlreg"),
                                     "set", "HKLM\\" + key, name, type, data});
  return result.exitStatus == 0;
}

std::string BuildPath(const std::string& relative) {
  const char* build = getenv("WL_BUILD_DIR");
  return std::string(build != nullptr ? build : ".") + "/" + relative;
}

}  // namespace snmpsvc::e2e
