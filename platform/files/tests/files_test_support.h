// Shared set-up of the file tests: a temporary directory and a registry file
// of the test's own.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "win32/registry.h"
#include "wltest/platform_env.h"

namespace files_test {

using TempDirectory = wltest::TempDirectory;

// Points the registry at a file of its own, once per test process.
inline void UsePrivateRegistry() { wltest::ProcessPlatform(); }

// Maps a drive letter ("D:") to a host directory; an empty directory removes
// the mapping.
inline bool MapDrive(const std::string& drive, const std::string& directory) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\DOS Devices", 0,
                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG result;
  if (directory.empty()) {
    result = RegDeleteValueA(key, drive.c_str());
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
  } else {
    result = RegSetValueExA(key, drive.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(directory.c_str()),
                            static_cast<DWORD>(directory.size() + 1));
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

inline std::string LastComponentOf(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace files_test
