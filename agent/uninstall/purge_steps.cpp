#include "agent/uninstall/purge_steps.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent/common/install_root.h"
#include "agent/uninstall/safe_delete.h"
#include "agent/uninstall/search_path.h"
#include "win32/dde.h"
#include "win32/files.h"
#include "win32/profile.h"
#include "win32/registry.h"
#include "win32/sync.h"
#include "win32/ui.h"
#include "win32/winsvc.h"

namespace purgewiz {

PurgeState purgeState;

namespace {

const char kAgentKey[] = "SOFTWARE\\Tarvex\\Wardenline\\CurrentVersion";
const char kEnvironmentKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// A profile string of the configuration file, cut to limit - 1 bytes.
std::string profile(const char* section, const char* key, DWORD limit = 256) {
  char buffer[256] = "";
  if (limit > sizeof buffer) limit = sizeof buffer;
  GetPrivateProfileStringA(section, key, "", buffer, limit, purgeState.configFile.c_str());
  buffer[limit - 1] = '\0';
  return buffer;
}

void wait(unsigned seconds) { Sleep(seconds * purgeState.secondMs); }

// One command in a conversation of its own; false when none starts.
HDDEDATA CALLBACK noCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, UINT_PTR, UINT_PTR) {
  return nullptr;
}

bool sendProgman(const std::string& command) {
  DWORD instance = 0;
  if (DdeInitializeA(&instance, noCallback, APPCMD_CLIENTONLY | CBF_FAIL_ALLSVRXACTIONS, 0) !=
      DMLERR_NO_ERROR) {
    return false;
  }
  HSZ service = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HSZ topic = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HCONV conversation = DdeConnect(instance, service, topic, nullptr);
  DdeFreeStringHandle(instance, service);
  DdeFreeStringHandle(instance, topic);
  if (conversation == nullptr) {
    DdeUninitialize(instance);
    return false;
  }
  HDDEDATA data =
      DdeCreateDataHandle(instance, reinterpret_cast<LPBYTE>(const_cast<char*>(command.c_str())),
                          static_cast<DWORD>(command.size() + 1), 0, nullptr, CF_TEXT, 0);
  if (data != nullptr) {
    DWORD result = 0;
    DdeClientTransaction(reinterpret_cast<LPBYTE>(data), static_cast<DWORD>(-1), conversation,
                         nullptr, 0, XTYP_EXECUTE, 1000, &result);
  }
  DdeDisconnect(conversation);
  DdeUninitialize(instance);
  return true;
}

bool deleteOneService(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return false;
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    CloseServiceHandle(manager);
    return false;
  }
  SERVICE_STATUS status{};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    QueryServiceStatus(service, &status);
  }
  // Polled once a second, for a bounded time: a service that never reports
  // stopped is a failure, not a hang.
  unsigned waited = 0;
  while (status.dwCurrentState != SERVICE_STOPPED && waited < purgeState.serviceStopSeconds) {
    wait(1);
    ++waited;
    if (!QueryServiceStatus(service, &status)) break;
  }
  const bool deleted = status.dwCurrentState == SERVICE_STOPPED && DeleteService(service);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return deleted;
}

std::string trimKey(std::string key) {
  while (!key.empty() && key.back() == '\\') key.pop_back();
  while (!key.empty() && key.front() == '\\') key.erase(0, 1);
  return key;
}

void deleteKeyAndEmptyParents(std::string key) {
  // A top-level key (SOFTWARE, SYSTEM, ...) is never deleted, neither named
  // nor as an empty parent.
  if (key.empty() || key.find('\\') == std::string::npos) return;
  if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()) != ERROR_SUCCESS) return;
  while (true) {
    const size_t cut = key.rfind('\\');
    if (cut == std::string::npos) return;
    key.resize(cut);
    if (key.find('\\') == std::string::npos) return;
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &parent) != ERROR_SUCCESS)
      return;
    DWORD subkeys = 1, values = 1;
    const LONG r = RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                    &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(parent);
    if (r != ERROR_SUCCESS || subkeys != 0 || values != 0) return;
    if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()) != ERROR_SUCCESS) return;
  }
}

void deleteValueByData(HKEY key, const std::string& data) {
  for (DWORD index = 0;; ++index) {
    char name[64];
    BYTE value[257];
    DWORD nameSize = sizeof name, valueSize = 256, type = 0;
    if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, value, &valueSize) !=
        ERROR_SUCCESS) {
      return;  // the end, or a value beyond the limits
    }
    value[valueSize < 256 ? valueSize : 256] = '\0';
    if (std::strcmp(reinterpret_cast<const char*>(value), data.c_str()) == 0) {
      RegDeleteValueA(key, name);
      return;
    }
  }
}

void message(const std::string& text, const char* caption, UINT type = MB_OK) {
  MessageBoxA(nullptr, text.c_str(), caption, type);
}

}  // namespace

int readCount(const char* section, const char* key) {
  const std::string text = profile(section, key);
  size_t p = 0;
  while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  long long value = 0;
  while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) {
    if (value <= kMaxCount) value = value * 10 + (text[p] - '0');
    ++p;
  }
  if (negative) return 0;
  return value > kMaxCount ? kMaxCount : static_cast<int>(value);
}

bool findAgent() {
  purgeState.ntVersion = 0;
  HKEY version = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_READ, &version) != ERROR_SUCCESS) {
    message("RegOpenKey fail.", "Internal Error", MB_ICONINFORMATION);
  } else {
    char text[257];
    DWORD size = 256, type = 0;
    if (RegQueryValueExA(version, "CurrentVersion", nullptr, &type, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS) {
      message("RegQueryValueEx fail.", "Internal Error", MB_ICONINFORMATION);
    } else {
      text[size < 256 ? size : 256] = '\0';
      purgeState.ntVersion = std::strtod(text, nullptr);
    }
    RegCloseKey(version);
  }
  HKEY agent = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_READ, &agent) != ERROR_SUCCESS) {
    message("No Wardenline Agent found", "Error");
    return false;
  }
  RegCloseKey(agent);
  std::string root;
  purgeState.installRoot =
      wlcommon::readInstallPath(wlcommon::kUninstallerInstallRootBytes, &root) == ERROR_SUCCESS
          ? root
          : "";
  return true;
}

bool deleteProgramGroup() {
  const std::string group = profile("Program Group", "Name", 128);
  if (group.empty()) return false;
  sendProgman("[ShowGroup(" + group + ",1)]");
  const int count = readCount("Program Group", "Count");
  for (int i = 1; i <= count; ++i) {
    const std::string item = profile("Program Group", std::to_string(i).c_str());
    if (item.empty()) continue;
    if (!sendProgman("[DeleteItem(" + item + ")]")) return false;
  }
  return sendProgman("[DeleteGroup(" + group + ")]");
}

int deleteServices() {
  const int count = readCount("Service", "Count");
  int deleted = 0;
  for (int i = 1; i <= count; ++i) {
    if (!deleteOneService(profile("Service", std::to_string(i).c_str()))) break;
    ++deleted;
  }
  return deleted;
}

bool removeBinFromSearchPath() {
  HKEY agent = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_READ, &agent) != ERROR_SUCCESS)
    return false;
  char image[513];
  DWORD size = 512, type = 0;
  const LONG r =
      RegQueryValueExA(agent, "ImagePath", nullptr, &type, reinterpret_cast<BYTE*>(image), &size);
  RegCloseKey(agent);
  if (r != ERROR_SUCCESS || type != REG_SZ) return false;
  image[size < 512 ? size : 512] = '\0';
  const std::string bin = std::string(image) + "\\bin";
  // The bin directory is held in 64 bytes: a longer one is not cut (a cut
  // text would remove the wrong part of the path); the path stays as it is.
  if (bin.size() > 63 || image[0] == '\0') return false;
  HKEY environment = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_READ | KEY_SET_VALUE,
                    &environment) != ERROR_SUCCESS) {
    return false;
  }
  char path[513];
  DWORD pathSize = 512, pathType = 0;
  bool written = false;
  if (RegQueryValueExA(environment, "Path", nullptr, &pathType, reinterpret_cast<BYTE*>(path),
                       &pathSize) == ERROR_SUCCESS &&
      (pathType == REG_SZ || pathType == REG_EXPAND_SZ)) {
    path[pathSize < 512 ? pathSize : 512] = '\0';
    std::string text(path);
    if (cutFromPath(&text, bin)) {
      written = RegSetValueExA(environment, "Path", 0, pathType,
                               reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    }
  }
  RegCloseKey(environment);
  return written;
}

void deleteRegistryEntry(int number) {
  const std::string n = std::to_string(number);
  const std::string key = trimKey(profile("Registry", (n + "_key").c_str()));
  const std::string valueName = profile("Registry", (n + "_valuename").c_str());
  const std::string valueData = profile("Registry", (n + "_valuedata").c_str());
  if (key.empty()) return;
  if (valueName.empty() && valueData.empty()) {
    deleteKeyAndEmptyParents(key);
    return;
  }
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_SET_VALUE, &handle) !=
      ERROR_SUCCESS) {
    return;
  }
  if (!valueName.empty()) {
    RegDeleteValueA(handle, valueName.c_str());
  } else {
    deleteValueByData(handle, valueData);
  }
  RegCloseKey(handle);
}

void deleteRegistry() {
  removeBinFromSearchPath();
  const int count = readCount("Registry", "Count");
  for (int i = count; i >= 1; --i) deleteRegistryEntry(i);
}

bool restartSnmp() {
  const char* name = purgeState.ntVersion >= 4.0 ? "(SNMP)" : "(SNMP Service)";
  auto command = [&](const char* verb) {
    std::string text = std::string("Net ") + verb + " " + name;
    for (char& c : text) {
      if (c == '(' || c == ')') c = '"';
    }
    return text;
  };
  WinExec(command("stop").c_str(), SW_HIDE);
  wait(25);
  const UINT started = WinExec(command("start").c_str(), SW_HIDE);
  wait(3);
  wait(12);
  return started >= 32;
}

void deleteFiles() {
  // The whole list is read before anything is deleted: the configuration
  // file itself may be on it.
  const int count = readCount("Files", "Count");
  std::vector<std::string> files;
  for (int i = 1; i <= count; ++i) files.push_back(profile("Files", std::to_string(i).c_str()));
  for (const std::string& file : files) {
    if (file.empty()) continue;
    char host[4096];
    const DWORD n = wl_host_path(file.c_str(), host, sizeof host);
    // A file of an installed package is never deleted, whatever the list says.
    if (n == 0 || n >= sizeof host || ownedByPackage(host, purgeState.dpkgInfoDir)) continue;
    OFSTRUCT of{};
    OpenFile(file.c_str(), &of, OF_DELETE);
  }
  const std::string& root = purgeState.installRoot;
  if (root.empty()) return;
  char host[4096];
  const DWORD n = wl_host_path(root.c_str(), host, sizeof host);
  if (n == 0 || n >= sizeof host) return;
  const std::string refused = refuseRoot(host, purgeState.dpkgInfoDir);
  if (!refused.empty()) {
    message("The install root " + root + " was not deleted: " + refused + ".", "Warning",
            MB_ICONINFORMATION);
    return;
  }
  deleteTree(host);
  char system[512];
  if (GetSystemDirectoryA(system, sizeof system) > 0) SetCurrentDirectoryA(system);
  RemoveDirectoryA(root.c_str());
  RemoveDirectoryA(root.c_str());
  if (GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES) {
    message(
        "Some files and directory can't be removed from the system. You need to manually "
        "delete " +
            root + ".",
        "Warning", MB_ICONINFORMATION);
  }
}

}  // namespace purgewiz
