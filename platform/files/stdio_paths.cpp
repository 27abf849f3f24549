// wl_fopen and wl_host_path: the system's C stdio calls on Windows paths.
#include <errno.h>
#include <string.h>

#include <string>

#include "file_errors.h"
#include "host_path.h"
#include "win32/files.h"

extern "C" {

WLAPI FILE* wl_fopen(const char* windowsPath, const char* mode) {
  if (mode == nullptr) {
    errno = EINVAL;
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string path;
  DWORD error = wl::MapWindowsPath(windowsPath, &path);
  if (error != ERROR_SUCCESS) {
    errno = error == ERROR_INVALID_PARAMETER ? EINVAL : ENOENT;
    SetLastError(error);
    return nullptr;
  }
  // A mode that only opens an existing file tries the path as written first:
  // when it names a file, the case-insensitive lookup would give it back as
  // it is. A mode that may create a file looks for another spelling of the
  // name first, so that it writes to the file that is there.
  FILE* stream = nullptr;
  if (mode[0] == 'r') {
    stream = fopen(path.c_str(), mode);
    if (stream == nullptr && (errno == ENOENT || errno == ENOTDIR)) {
      const int failure = errno;
      std::string resolved = wl::ResolveNameCase(path);
      if (resolved != path) {
        stream = fopen(resolved.c_str(), mode);
        path = std::move(resolved);
      } else {
        errno = failure;
      }
    }
  } else {
    path = wl::ResolveNameCase(path);
    stream = fopen(path.c_str(), mode);
  }
  if (stream == nullptr) {
    int failure = errno;
    wl::SetLastErrorForPath(failure, path);
    errno = failure;
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return stream;
}

WLAPI DWORD wl_host_path(const char* windowsPath, char* buffer, DWORD size) {
  std::string path;
  DWORD error = wl::ResolveWindowsPath(windowsPath, &path);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  DWORD length = static_cast<DWORD>(path.size());
  if (buffer == nullptr || size <= length) return length + 1;
  memcpy(buffer, path.c_str(), length + 1);
  return length;
}

}  // extern "C"
