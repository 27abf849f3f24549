// The control side of the service control manager: services are their keys
// in the registry plus a systemd unit or an init script under the system
// prefix; stop and start go through systemctl or the script.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/system_prefix.h"
#include "win32/registry.h"
#include "win32/winsvc.h"

extern char** environ;

namespace {

constexpr int kCommandSeconds = 90;
constexpr size_t kMaxServiceName = 256;

struct ScObject {
  uint32_t magic;
  bool manager;
  std::string name;     // service name as opened
  std::string program;  // unit and script name
};
constexpr uint32_t kMagic = 0x53434d31;  // "SCM1"

ScObject* Object(SC_HANDLE h) {
  auto* o = reinterpret_cast<ScObject*>(h);
  return o != nullptr && o->magic == kMagic ? o : nullptr;
}

ScObject* Service(SC_HANDLE h) {
  ScObject* o = Object(h);
  if (o == nullptr || o->manager) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return o;
}

std::string KeyPath(const std::string& name) {
  return "SYSTEM\\CurrentControlSet\\Services\\" + name;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string UnitPath(const ScObject& s) {
  return wl::core::SystemPath("etc/systemd/system/" + s.program + ".service");
}
std::string ScriptPath(const ScObject& s) {
  return wl::core::SystemPath("etc/init.d/" + s.program);
}

bool SystemdRuns() {
  struct stat st;
  return wl::core::SystemPath("") == "/" && stat("/run/systemd/system", &st) == 0 &&
         S_ISDIR(st.st_mode);
}

bool UseSystemd(const ScObject& s) { return SystemdRuns() && IsFile(UnitPath(s)); }

// Runs argv with its output discarded; the exit status, or -1 when it could
// not start or ran past the limit (then it is killed).
int Run(const std::vector<std::string>& argv, int seconds) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Systemctl() {
  return IsFile("/usr/bin/systemctl") ? "/usr/bin/systemctl" : "/bin/systemctl";
}

// The program name from ImagePath: its last path component up to a blank.
std::string ProgramOf(HKEY key, const std::string& name) {
  if (strcasecmp(name.c_str(), "SNMP") == 0 || strcasecmp(name.c_str(), "SNMP Service") == 0) {
    return "snmpsvc";
  }
  char image[512];
  DWORD size = sizeof image - 1, type = 0;
  if (RegQueryValueExA(key, "ImagePath", nullptr, &type, reinterpret_cast<BYTE*>(image), &size) ==
          ERROR_SUCCESS &&
      type == REG_SZ) {
    image[std::min<DWORD>(size, sizeof image - 1)] = '\0';
    std::string path(image);
    if (!path.empty() && path[0] == '"') {
      path = path.substr(
          1, path.find('"', 1) == std::string::npos ? std::string::npos : path.find('"', 1) - 1);
    } else {
      path = path.substr(0, path.find(' '));
    }
    const size_t slash = path.find_last_of("/\\");
    std::string program = slash == std::string::npos ? path : path.substr(slash + 1);
    bool sane = !program.empty() && program[0] != '.';
    for (unsigned char c : program) sane = sane && (isalnum(c) || c == '-' || c == '_' || c == '.');
    if (sane) return program;
  }
  std::string lower;
  for (unsigned char c : name) lower += static_cast<char>(tolower(c));
  return lower;
}

// Deletes a key and everything under it.
LONG DeleteTree(HKEY parent, const std::string& path, int depth = 0) {
  if (depth > 64) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  LONG r = RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (r != ERROR_SUCCESS) return r;
  while (true) {
    char child[256];
    DWORD size = sizeof child;
    if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    if (DeleteTree(key, child, depth + 1) != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  return RegDeleteKeyA(parent, path.c_str());
}

bool ProcessLives(DWORD pid) {
  return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

DWORD ReadDword(HKEY key, const char* name, DWORD fallback) {
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return fallback;
  }
  return value;
}

bool Recorded(const ScObject& s, SERVICE_STATUS* status) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (KeyPath(s.name) + "\\Status").c_str(), 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD state = ReadDword(key, "CurrentState", 0);
  if (state < SERVICE_STOPPED || state > SERVICE_PAUSED) {
    RegCloseKey(key);
    return false;
  }
  status->dwCurrentState = state;
  status->dwControlsAccepted = ReadDword(key, "ControlsAccepted", 0);
  status->dwWin32ExitCode = ReadDword(key, "Win32ExitCode", 0);
  status->dwServiceSpecificExitCode = ReadDword(key, "ServiceSpecificExitCode", 0);
  status->dwCheckPoint = ReadDword(key, "CheckPoint", 0);
  status->dwWaitHint = ReadDword(key, "WaitHint", 0);
  const DWORD pid = ReadDword(key, "ProcessId", 0);
  RegCloseKey(key);
  if (state != SERVICE_STOPPED && !ProcessLives(pid)) {
    status->dwCurrentState = SERVICE_STOPPED;
    status->dwControlsAccepted = 0;
    status->dwCheckPoint = status->dwWaitHint = 0;
  }
  return true;
}

bool ManagerSaysRunning(const ScObject& s) {
  if (UseSystemd(s)) {
    return Run({Systemctl(), "is-active", "--quiet", s.program + ".service"}, 10) == 0;
  }
  return IsFile(ScriptPath(s)) && Run({ScriptPath(s), "status"}, 10) == 0;
}

void Query(const ScObject& s, SERVICE_STATUS* status) {
  *status = SERVICE_STATUS{};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  if (Recorded(s, status)) {
    // A record of running whose manager knows nothing of it is stale only if
    // the process is gone, which Recorded has already checked.
    return;
  }
  const bool running = ManagerSaysRunning(s);
  status->dwCurrentState = running ? SERVICE_RUNNING : SERVICE_STOPPED;
  status->dwControlsAccepted = running ? SERVICE_ACCEPT_STOP : 0;
}

}  // namespace

extern "C" {

SC_HANDLE OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD) {
  if ((lpMachineName != nullptr && lpMachineName[0] != '\0') ||
      (lpDatabaseName != nullptr && strcasecmp(lpDatabaseName, "ServicesActive") != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return reinterpret_cast<SC_HANDLE>(new ScObject{kMagic, true, {}, {}});
}

SC_HANDLE OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD) {
  ScObject* manager = Object(hSCManager);
  if (manager == nullptr || !manager->manager) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (lpServiceName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const size_t length = strnlen(lpServiceName, kMaxServiceName + 1);
  const std::string name(lpServiceName, length);
  if (length == 0 || length > kMaxServiceName || name.find_first_of("/\\") != std::string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  HKEY key = nullptr;
  // "SNMP Service", the SNMP service's name before NT 4.0, is the same
  // service as "SNMP", whose key the SNMP service keeps.
  const std::string keyName = strcasecmp(name.c_str(), "SNMP Service") == 0 ? "SNMP" : name;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(keyName).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  auto* service = new ScObject{kMagic, false, keyName, ProgramOf(key, keyName)};
  RegCloseKey(key);
  if (!UseSystemd(*service) && !IsFile(ScriptPath(*service))) {
    delete service;
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return reinterpret_cast<SC_HANDLE>(service);
}

BOOL QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  ScObject* s = Service(hService);
  if (s == nullptr) return FALSE;
  if (lpServiceStatus == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Query(*s, lpServiceStatus);
  return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  ScObject* s = Service(hService);
  if (s == nullptr) return FALSE;
  if (lpServiceStatus == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dwControl != SERVICE_CONTROL_STOP) {
    SetLastError(ERROR_INVALID_SERVICE_CONTROL);
    return FALSE;
  }
  Query(*s, lpServiceStatus);
  if (lpServiceStatus->dwCurrentState == SERVICE_STOPPED) {
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);
    return FALSE;
  }
  const int result = UseSystemd(*s)
                         ? Run({Systemctl(), "stop", "--no-block", s->program + ".service"}, 10)
                         : Run({ScriptPath(*s), "stop"}, kCommandSeconds);
  if (result != 0) {
    SetLastError(result < 0 ? ERROR_SERVICE_REQUEST_TIMEOUT : ERROR_INVALID_SERVICE_CONTROL);
    return FALSE;
  }
  Query(*s, lpServiceStatus);
  return TRUE;
}

BOOL StartServiceA(SC_HANDLE hService, DWORD, LPCSTR*) {
  ScObject* s = Service(hService);
  if (s == nullptr) return FALSE;
  SERVICE_STATUS status;
  Query(*s, &status);
  if (status.dwCurrentState != SERVICE_STOPPED) {
    SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return FALSE;
  }
  const int result = UseSystemd(*s)
                         ? Run({Systemctl(), "start", s->program + ".service"}, kCommandSeconds)
                         : Run({ScriptPath(*s), "start"}, kCommandSeconds);
  if (result != 0) {
    SetLastError(result < 0 ? ERROR_SERVICE_REQUEST_TIMEOUT : ERROR_SERVICE_NOT_ACTIVE);
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteService(SC_HANDLE hService) {
  ScObject* s = Service(hService);
  if (s == nullptr) return FALSE;
  const bool systemd = UseSystemd(*s);
  // Boot-time links go first, so that none is left pointing at nothing.
  if (systemd) Run({Systemctl(), "disable", s->program + ".service"}, kCommandSeconds);
  unlink(UnitPath(*s).c_str());
  const bool hadScript = IsFile(ScriptPath(*s));
  unlink(ScriptPath(*s).c_str());
  if (hadScript && wl::core::SystemPath("") == "/" && IsFile("/usr/sbin/update-rc.d")) {
    Run({"/usr/sbin/update-rc.d", "-f", s->program, "remove"}, kCommandSeconds);
  }
  if (systemd) Run({Systemctl(), "daemon-reload"}, kCommandSeconds);
  const LONG r = DeleteTree(HKEY_LOCAL_MACHINE, KeyPath(s->name));
  if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) {
    SetLastError(static_cast<DWORD>(r));
    return FALSE;
  }
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
  ScObject* o = Object(hSCObject);
  if (o == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  o->magic = 0;
  delete o;
  return TRUE;
}

}  // extern "C"
