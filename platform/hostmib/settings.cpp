#include "settings.h"

#include "win32/registry.h"

namespace hostmib {

const char kAgentKey[] = "SOFTWARE\\Tarvex\\Wardenline\\HostmibAgent\\CurrentVersion";

std::chrono::seconds ReadRefreshAge(std::string* problem) {
  const std::chrono::seconds fallback(kDefaultRefreshSeconds);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return fallback;
  }
  DWORD type = 0;
  BYTE data[8] = {};
  DWORD size = sizeof data;
  const LONG status = RegQueryValueExA(key, "RefreshSeconds", nullptr, &type, data, &size);
  RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) return fallback;
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4) {
    *problem = "RefreshSeconds is not a REG_DWORD; using 5 seconds";
    return fallback;
  }
  const DWORD seconds = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                        static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
  if (seconds > kMaxRefreshSeconds) {
    *problem = "RefreshSeconds " + std::to_string(seconds) + " is above 86400; using 5 seconds";
    return fallback;
  }
  return std::chrono::seconds(seconds);
}

}  // namespace hostmib
