// LockFile and UnlockFile on open file descriptions (Linux OFD locks), so a
// lock belongs to its handle: two handles on one file conflict even inside
// one process, as they do on Windows.
#include <errno.h>
#include <fcntl.h>

#include <cstdint>

#include "file_errors.h"
#include "file_object.h"
#include "win32/files.h"

namespace {

BOOL SetRangeLock(HANDLE hFile, DWORD offsetLow, DWORD offsetHigh, DWORD bytesLow, DWORD bytesHigh,
                  short type) {
  auto file = wl::LookupHandleAs<wl::FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const uint64_t offset = static_cast<uint64_t>(offsetHigh) << 32 | offsetLow;
  const uint64_t length = static_cast<uint64_t>(bytesHigh) << 32 | bytesLow;
  if (length == 0 || offset > INT64_MAX || length > INT64_MAX - offset) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct flock range = {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(offset);
  range.l_len = static_cast<off_t>(length);
  if (fcntl(file->descriptor(), F_OFD_SETLK, &range) != 0) {
    const int error = errno;
    SetLastError(error == EAGAIN || error == EACCES ? ERROR_LOCK_VIOLATION
                                                    : wl::Win32ErrorFromErrno(error));
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace

extern "C" {

WLAPI BOOL LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                    DWORD nNumberOfBytesToLockLow, DWORD nNumberOfBytesToLockHigh) {
  return SetRangeLock(hFile, dwFileOffsetLow, dwFileOffsetHigh, nNumberOfBytesToLockLow,
                      nNumberOfBytesToLockHigh, F_WRLCK);
}

WLAPI BOOL UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                      DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh) {
  return SetRangeLock(hFile, dwFileOffsetLow, dwFileOffsetHigh, nNumberOfBytesToUnlockLow,
                      nNumberOfBytesToUnlockHigh, F_UNLCK);
}

}  // extern "C"
