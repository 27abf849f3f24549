// Win32 error codes for host errno values. Internal to the platform library.
// Thread safety: pure functions (MissingPathError reads the file system).
#pragma once

#include <string>

#include "win32/types.h"

namespace wl {

// The usual translation: ENOENT -> ERROR_FILE_NOT_FOUND, ENOTDIR ->
// ERROR_PATH_NOT_FOUND, EACCES/EPERM/EROFS/EISDIR -> ERROR_ACCESS_DENIED,
// EEXIST -> ERROR_ALREADY_EXISTS, ENOTEMPTY -> ERROR_DIR_NOT_EMPTY,
// ENOSPC/EDQUOT -> ERROR_DISK_FULL, and so on.
DWORD Win32ErrorFromErrno(int error);

// For an operation on `hostPath` that failed with `error`: ENOENT becomes
// ERROR_PATH_NOT_FOUND when the parent directory is missing, else the usual
// translation.
DWORD Win32ErrorForPath(int error, const std::string& hostPath);

// Sets the thread's last error from errno as above and returns it.
DWORD SetLastErrorForPath(int error, const std::string& hostPath);

}  // namespace wl
