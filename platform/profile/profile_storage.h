// Reading and writing profile files as text. Internal to the platform library.
//
// Encodings: a file starting with the byte-order mark FF FE is UTF-16LE, FE FF
// UTF-16BE, EF BB BF UTF-8; any other file is 8-bit Windows-1252 text, which
// is how the system writes its files. A file is written back in the encoding
// it was read in (new files: 8-bit). Writes are atomic: the new text goes to a
// temporary file in the same directory, which then replaces the file, so a
// reader sees the old file or the new one, never a mix; writers of one
// directory are serialised across processes by a lock on the directory.
// Thread safety: any thread; WithProfileLock serialises writers.
#pragma once

#include <functional>
#include <string>

#include "win32/types.h"

namespace wl {

enum class ProfileEncoding { kAnsi, kUtf16Le, kUtf16Be, kUtf8 };

struct ProfileText {
  bool exists = false;  // false: the file is missing and reads as empty
  ProfileEncoding encoding = ProfileEncoding::kAnsi;
  std::u16string text;
};

// Reads a profile file. Returns ERROR_SUCCESS (also for a missing file) or a
// Win32 error (unreadable file, larger than 16 MiB).
DWORD ReadProfileText(const std::string& hostPath, ProfileText* profile);

// Replaces the file with `text` in `encoding`. ERROR_SUCCESS or a Win32 error.
DWORD WriteProfileText(const std::string& hostPath, ProfileEncoding encoding,
                       const std::u16string& text);

// Runs `update` while holding the process's profile mutex and an exclusive
// lock on the file's directory. ERROR_PATH_NOT_FOUND when the directory is
// missing; otherwise what `update` returns.
DWORD WithProfileLock(const std::string& hostPath, const std::function<DWORD()>& update);

}  // namespace wl
