#include "agent/common/install_root.h"

#include <vector>

#include "win32/registry.h"

namespace wlcommon {

namespace {
constexpr const char* kInstallKey = "Software\\Tarvex\\Wardenline\\CurrentVersion";
constexpr const char* kInstallValue = "PathName";
}  // namespace

LONG readInstallPath(DWORD limitBytes, std::string* root) {
  if (limitBytes == 0) return ERROR_INVALID_DATA;
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return status;
  std::vector<char> buffer(static_cast<size_t>(limitBytes) + 1, '\0');
  DWORD type = 0;
  DWORD size = limitBytes;
  status = RegQueryValueExA(key, kInstallValue, nullptr, &type,
                            reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  if (size > limitBytes) size = limitBytes;
  buffer[size] = '\0';  // the value need not carry its terminator
  if (buffer[0] == '\0') return ERROR_INVALID_DATA;
  if (root != nullptr) *root = buffer.data();
  return ERROR_SUCCESS;
}

}  // namespace wlcommon
