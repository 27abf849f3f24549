// Mapping of Windows paths to host paths. Internal to the platform library.
//
// A path is split at "\" and "/". Its root is one of:
//   "X:..."   the drive's host directory, from the registry value "X:" under
//             HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\DOS Devices"
//             (REG_SZ); C: is "/" unless configured; other drives must be;
//   "/..."    an absolute host path, kept as it is;
//   "\..."    the root of drive C:;
//   other     relative to the current directory (joined to it first).
// "." components are dropped and ".." removes the previous component, never
// climbing above the root (a drive's directory or "/"). ":" inside a
// component is refused, except in an absolute host path. The mapping is read
// from the registry on every call, so a changed mapping takes effect at once.
//
// Names on disk: the exact name is used when it exists; otherwise each
// component is matched without regard to ASCII case among the entries of its
// directory (the first in byte order when several match). Components that do
// not exist keep the spelling given, so new files get the name as written.
//
// Thread safety: any thread. Errors are Win32 codes.
#pragma once

#include <string>

#include "win32/types.h"

namespace wl {

// Maps `windowsPath` lexically (no case resolution). On success returns
// ERROR_SUCCESS, sets *hostPath to an absolute normalised path and, when
// isDriveRoot is not null, whether the path names the root of its drive or of
// the host. Errors: ERROR_INVALID_PARAMETER (null), ERROR_PATH_NOT_FOUND
// (empty, unmapped drive), ERROR_BAD_PATHNAME (UNC paths), ERROR_INVALID_NAME.
DWORD MapWindowsPath(const char* windowsPath, std::string* hostPath, bool* isDriveRoot = nullptr);

// MapWindowsPath followed by ResolveNameCase.
DWORD ResolveWindowsPath(const char* windowsPath, std::string* hostPath,
                         bool* isDriveRoot = nullptr);

// The existing spelling of an absolute host path, component by component, as
// described above. Never fails: unmatched components stay as given.
std::string ResolveNameCase(const std::string& absoluteHostPath);

// The host directory of drive `letter` (A to Z, either case). ERROR_SUCCESS,
// or ERROR_PATH_NOT_FOUND when the drive is not mapped.
DWORD DriveDirectory(char letter, std::string* directory);

// A UTF-16 path in the 8-bit form the A functions take (UTF-8, so that any
// host name can be reached). Null gives an empty string and *ok false.
std::string NarrowPath(const WCHAR* widePath, bool* ok);

// The directory part and the last component of a normalised host path.
std::string ParentDirectory(const std::string& hostPath);
std::string LastComponent(const std::string& hostPath);

}  // namespace wl
