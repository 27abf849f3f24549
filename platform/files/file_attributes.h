// Win32 file attributes of a host file. Internal to the platform library.
// A directory is FILE_ATTRIBUTE_DIRECTORY; any other file is
// FILE_ATTRIBUTE_ARCHIVE (as freshly written files are on Windows); either
// gains FILE_ATTRIBUTE_READONLY when no write permission bit is set.
// Names starting with "." are not hidden. Thread safety: pure function.
#pragma once

#include <sys/stat.h>

#include "win32/files.h"

namespace wl {

inline DWORD AttributesFromStat(const struct stat& info) {
  DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

}  // namespace wl
