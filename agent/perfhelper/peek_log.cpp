#include "agent/perfhelper/peek_log.h"

#include <cstdarg>
#include <cstdio>

#include "win32/files.h"
#include "win32/registry.h"

namespace perfpeek {
namespace {

constexpr DWORD kInstallRootBytes = 150;
constexpr char kLogFileTail[] = "\\LOGFILES\\PERFPEEK.LOG";

// Install root, "\LOGFILES\" and "PERFPEEK.LOG"; empty when there is no log
// file. Plain storage, so that nothing is left to free when the library is
// unloaded.
char logPath[kInstallRootBytes + sizeof(kLogFileTail)] = {};

}  // namespace

bool readInstallRoot(std::string* root) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex\\Wardenline\\CurrentVersion", 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  char text[kInstallRootBytes + 1] = {};
  DWORD size = kInstallRootBytes;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key, "PathName", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  text[size < kInstallRootBytes ? size : kInstallRootBytes] = '\0';
  *root = text;
  return !root->empty();
}

void openPeekLog(const std::string& installRoot) {
  logPath[0] = '\0';
  if (installRoot.empty() || installRoot.size() >= kInstallRootBytes) return;
  std::snprintf(logPath, sizeof(logPath), "%s%s", installRoot.c_str(), kLogFileTail);
  if (FILE* file = wl_fopen(logPath, "w")) std::fclose(file);
}

const char* peekLogPath() { return logPath; }

void peekLog(const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  std::fputs(message, stdout);
  std::fflush(stdout);
  if (!logPath[0]) return;
  if (FILE* file = wl_fopen(logPath, "a+")) {
    std::fputs(message, file);
    std::fclose(file);
  }
}

}  // namespace perfpeek
