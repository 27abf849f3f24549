// The install root: the directory every component of the agent lives in,
// named by the registry value "PathName" under HKLM
// "Software\Tarvex\Wardenline\CurrentVersion" (a directory without a trailing
// backslash). Configuration files live in its "INI", log files in its
// "LOGFILES".
//
// Thread safety: none needed; each call opens and closes the key itself.
#pragma once

#include <string>

#include "win32/types.h"

namespace wlcommon {

// The byte limits components read the value with.
constexpr DWORD kInstallRootBytes = 150;             // trend agent, helper library
constexpr DWORD kUninstallerInstallRootBytes = 128;  // uninstaller

// Reads the install root into a buffer of `limitBytes` bytes, terminator
// included (a value stored without its terminator reads as its text). Returns ERROR_SUCCESS and the
// text in *root (when not null); otherwise a Win32 error code and *root untouched: the registry's
// error (ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA for a longer value, ...), or
// ERROR_INVALID_DATA for a value that is not text, is empty, or a limit of 0.
LONG readInstallPath(DWORD limitBytes, std::string* root);

}  // namespace wlcommon
