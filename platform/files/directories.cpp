// Directory and name operations: CreateDirectoryA, RemoveDirectoryA,
// DeleteFileA, MoveFileA, GetFileAttributesA, SetCurrentDirectoryA,
// GetSystemDirectoryA.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/trace.h"
#include "file_attributes.h"
#include "file_errors.h"
#include "host_path.h"
#include "win32/files.h"

namespace {

// Resolves a path argument; on failure sets the last error and returns false.
bool ResolveArgument(const char* windowsPath, std::string* hostPath) {
  DWORD error = wl::ResolveWindowsPath(windowsPath, hostPath);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  return true;
}

bool IsDirectory(const std::string& hostPath) {
  struct stat info;
  return stat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Renames without replacing an existing destination.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // The file system cannot refuse atomically; check, then rename.
  struct stat info;
  if (lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return -1;
  }
  return rename(from.c_str(), to.c_str());
}

}  // namespace

extern "C" {

WLAPI BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  if (lpSecurityAttributes != nullptr) {
    wl::trace::Unsupported("CreateDirectoryA", "lpSecurityAttributes");
  }
  std::string path;
  if (!ResolveArgument(lpPathName, &path)) return FALSE;
  if (mkdir(path.c_str(), 0777) != 0) {
    int error = errno;
    SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : wl::Win32ErrorFromErrno(error));
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

WLAPI BOOL RemoveDirectoryA(LPCSTR lpPathName) {
  std::string path;
  if (!ResolveArgument(lpPathName, &path)) return FALSE;
  if (rmdir(path.c_str()) != 0) {
    int error = errno;
    if (error == ENOTDIR && !IsDirectory(path)) {
      SetLastError(ERROR_DIRECTORY);
    } else {
      wl::SetLastErrorForPath(error, path);
    }
    return FALSE;
  }
  return TRUE;
}

WLAPI BOOL DeleteFileA(LPCSTR lpFileName) {
  std::string path;
  if (!ResolveArgument(lpFileName, &path)) return FALSE;
  if (unlink(path.c_str()) != 0) {
    wl::SetLastErrorForPath(errno, path);
    return FALSE;
  }
  return TRUE;
}

WLAPI BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  std::string from;
  std::string mappedTo;
  if (!ResolveArgument(lpExistingFileName, &from)) return FALSE;
  DWORD error = wl::MapWindowsPath(lpNewFileName, &mappedTo);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  struct stat source;
  if (lstat(from.c_str(), &source) != 0) {
    wl::SetLastErrorForPath(errno, from);
    return FALSE;
  }
  std::string to = wl::ResolveNameCase(mappedTo);
  struct stat target;
  if (lstat(to.c_str(), &target) == 0) {
    bool sameFile = target.st_dev == source.st_dev && target.st_ino == source.st_ino;
    if (!sameFile) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    // A change of case only: rename to the spelling given.
    std::string parent = wl::ResolveNameCase(wl::ParentDirectory(mappedTo));
    std::string literal =
        (parent == "/" ? std::string("/") : parent + "/") + wl::LastComponent(mappedTo);
    if (literal != from && rename(from.c_str(), literal.c_str()) != 0) {
      wl::SetLastErrorForPath(errno, literal);
      return FALSE;
    }
    return TRUE;
  }
  if (RenameNoReplace(from, to) != 0) {
    wl::SetLastErrorForPath(errno, to);
    return FALSE;
  }
  return TRUE;
}

WLAPI DWORD GetFileAttributesA(LPCSTR lpFileName) {
  std::string path;
  if (!ResolveArgument(lpFileName, &path)) return INVALID_FILE_ATTRIBUTES;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    wl::SetLastErrorForPath(errno, path);
    return INVALID_FILE_ATTRIBUTES;
  }
  return wl::AttributesFromStat(info);
}

WLAPI BOOL SetCurrentDirectoryA(LPCSTR lpPathName) {
  std::string path;
  if (!ResolveArgument(lpPathName, &path)) return FALSE;
  if (chdir(path.c_str()) != 0) {
    int error = errno;
    if (error == ENOTDIR && !IsDirectory(path) && access(path.c_str(), F_OK) == 0) {
      SetLastError(ERROR_DIRECTORY);
    } else {
      wl::SetLastErrorForPath(error, path);
    }
    return FALSE;
  }
  return TRUE;
}

// The system directory is "C:\WINNT\system32" when that exists under the C:
// mapping, else the root "C:\", so that it is always a directory one can make
// current. WARDENLINE_SYSTEM_DIRECTORY (a Windows or host path) overrides.
WLAPI UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  std::string directory;
  const char* configured = getenv("WARDENLINE_SYSTEM_DIRECTORY");
  if (configured != nullptr && configured[0] != '\0') {
    directory = configured;
  } else {
    std::string host;
    directory =
        wl::ResolveWindowsPath("C:\\WINNT\\system32", &host) == ERROR_SUCCESS && IsDirectory(host)
            ? "C:\\WINNT\\system32"
            : "C:\\";
  }
  UINT length = static_cast<UINT>(directory.size());
  if (lpBuffer == nullptr || uSize <= length) return length + 1;
  memcpy(lpBuffer, directory.c_str(), length + 1);
  return length;
}

}  // extern "C"
