#include "agent/uninstall/install_root.h"

#include <vector>

#include "win32/registry.h"

namespace purgewiz {

std::string readInstallRoot(unsigned limit) {
  if (limit == 0 || limit > 4096) return "";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvex\\Wardenline\\CurrentVersion", 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return "";
  }
  std::vector<char> buffer(limit + 1, '\0');
  DWORD size = limit, type = 0;
  const LONG r = RegQueryValueExA(key, "Pathname", nullptr, &type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || type != REG_SZ) return "";
  buffer[size < limit ? size : limit] = '\0';
  return buffer.data();
}

}  // namespace purgewiz
