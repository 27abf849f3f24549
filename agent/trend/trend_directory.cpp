// The trend directory's usability check and its lock.
#include "agent/trend/trend_directory.h"

#include <string>

#include "agent/common/install_root.h"
#include "agent/trend/agent_state.h"
#include "agent/trend/history_file.h"
#include "agent/trend/output.h"
#include "win32/windows.h"

namespace trend {

namespace {

constexpr const char* kLockFileName = "CURVEMIB.LCK";
HANDLE lockHandle = nullptr;

}  // namespace

bool trendDirectoryIsDirectory() {
  const DWORD attributes = GetFileAttributesA(trendDirectory.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void reportUnusableTrendDirectory(DWORD error) {
  traceLog("ntrend Error: unable to use the trend directory %s, error %lu.\n",
           trendDirectory.c_str(), static_cast<unsigned long>(error));
  reportEvent(kEventNoTrendDirectory, kEventTypeError);
  consoleMessage("Unable to create the TREND directory on %s, check your disk space.\r\n",
                 trendDirectory.c_str());
}

int lockTrendDirectory() {
  if (lockHandle != nullptr) return 0;
  const std::string path = trendDirectory + "\\" + kLockFileName;
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reportUnusableTrendDirectory(GetLastError());
    return 1;
  }
  if (!LockFile(file, 0, 0, 1, 0)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (error != ERROR_LOCK_VIOLATION) {
      reportUnusableTrendDirectory(error);
      return 1;
    }
    traceLog("ntrend Error: the trend directory %s is in use by another agent.\n",
             trendDirectory.c_str());
    consoleMessage("The TREND directory %s is in use by another agent.\r\n",
                   trendDirectory.c_str());
    reportEvent(kEventTrendDirectoryInUse, kEventTypeError);
    return 2;
  }
  lockHandle = file;
  return 0;
}

bool trendDirectoryHeldElsewhere() {
  if (lockHandle != nullptr ||
      wlcommon::readInstallPath(wlcommon::kInstallRootBytes, &installPath) != ERROR_SUCCESS) {
    return false;
  }
  readTrendDirectory();
  const std::string path = trendDirectory + "\\" + kLockFileName;
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool held = !LockFile(file, 0, 0, 1, 0) && GetLastError() == ERROR_LOCK_VIOLATION;
  CloseHandle(file);  // a lock taken here goes with the handle
  return held;
}

void unlockTrendDirectory() {
  if (lockHandle == nullptr) return;
  CloseHandle(lockHandle);
  lockHandle = nullptr;
}

}  // namespace trend
