#include "drive_map.h"

#include <algorithm>
#include <cstring>

#include "win32/registry.h"

namespace wl::perf {
namespace {

constexpr char kDosDevicesKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\DOS Devices";

// "X:" (either case) -> "X:"; anything else -> empty.
std::string DriveOfValueName(const char* name, DWORD length) {
  if (length != 2 || name[1] != ':') return {};
  const char letter = static_cast<char>(name[0] & ~0x20);
  if (letter < 'A' || letter > 'Z') return {};
  return std::string(1, letter) + ":";
}

}  // namespace

DriveList DosDeviceDrives() {
  DriveList drives;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDosDevicesKey, 0, KEY_QUERY_VALUE, &key) ==
      ERROR_SUCCESS) {
    for (DWORD index = 0; index < 1024; ++index) {
      char name[256];
      char data[4096];
      DWORD nameLength = sizeof(name);
      DWORD dataLength = sizeof(data) - 1;
      DWORD type = 0;
      const LONG result = RegEnumValueA(key, index, name, &nameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataLength);
      if (result == ERROR_NO_MORE_ITEMS) break;
      if (result != ERROR_SUCCESS || nameLength >= sizeof(name)) continue;  // too long: not ours
      if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
      const std::string drive = DriveOfValueName(name, nameLength);
      if (drive.empty() || dataLength >= sizeof(data)) continue;
      data[dataLength] = '\0';
      const std::string directory(data, strnlen(data, dataLength));
      if (directory.empty()) continue;
      if (std::none_of(drives.begin(), drives.end(),
                       [&](const auto& entry) { return entry.first == drive; })) {
        drives.emplace_back(drive, directory);
      }
    }
    RegCloseKey(key);
  }
  if (std::none_of(drives.begin(), drives.end(),
                   [](const auto& entry) { return entry.first == "C:"; })) {
    drives.emplace_back("C:", "/");
  }
  std::sort(drives.begin(), drives.end());
  return drives;
}

}  // namespace wl::perf
