// Helpers shared by the platform's SQLite stores (registry, event log).
// Internal to the platform library; no state, any thread.
#pragma once

#include <string>

#include "win32/types.h"

namespace wl::sqlite {

// The Win32 error code for a SQLite result code (ERROR_SUCCESS for OK, ROW
// and DONE; ERROR_ACCESS_DENIED for read-only or permission failures;
// ERROR_BADDB for a damaged file or one that is no database; ERROR_DISK_FULL;
// ERROR_NOT_ENOUGH_MEMORY; ERROR_REGISTRY_IO_FAILED for the rest).
LONG MapError(int sqliteResult);

// Creates every missing directory of `dir` (mode 0755). False with errno set
// when it cannot.
bool MakeDirectories(const std::string& dir);

// The directory part of a path ("" when it has none).
std::string DirectoryOf(const std::string& path);

}  // namespace wl::sqlite
