// CreateFileA/W, GetFileInformationByHandle and OpenFile.
//
// Share modes are accepted and not enforced (the host has no mandatory
// locking). Handles are never inherited by child processes. Opening a
// directory fails with ERROR_ACCESS_DENIED, as it does on Windows without
// backup semantics.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

#include "core/trace.h"
#include "file_attributes.h"
#include "file_errors.h"
#include "file_object.h"
#include "file_time.h"
#include "host_path.h"
#include "win32/files.h"

namespace {

HANDLE OpenHostFile(const std::string& path, DWORD access, DWORD disposition) {
  int flags = O_CLOEXEC;
  bool read = (access & GENERIC_READ) != 0;
  bool write = (access & GENERIC_WRITE) != 0;
  flags |= write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      if (!write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  struct stat before;
  bool existed = stat(path.c_str(), &before) == 0;
  if (existed && S_ISDIR(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (existed && (flags & O_TRUNC) != 0 && (flags & O_ACCMODE) == O_RDONLY) {
    flags = (flags & ~O_ACCMODE) | O_WRONLY;  // CREATE_ALWAYS without write access
  }
  int descriptor = open(path.c_str(), flags, 0666);
  if (descriptor < 0) {
    int error = errno;
    if (error == EEXIST) {
      SetLastError(ERROR_FILE_EXISTS);
    } else {
      wl::SetLastErrorForPath(error, path);
    }
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = wl::RegisterHandle(std::make_shared<wl::FileObject>(descriptor));
  // Win32 reports an existing file for the two "always" dispositions.
  bool reportExisting = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE CreateFileOnPath(const char* windowsPath, DWORD access, DWORD disposition) {
  std::string path;
  DWORD error = wl::ResolveWindowsPath(windowsPath, &path);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return OpenHostFile(path, access, disposition);
}

// Files are opened without share locks, security or special flags: say so
// when a caller asks for them.
void NoteUnsupported(const char* function, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                     DWORD flagsAndAttributes, HANDLE templateFile) {
  if ((shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) != (FILE_SHARE_READ | FILE_SHARE_WRITE)) {
    wl::trace::Unsupported(function, "dwShareMode (access is never denied to others)");
  }
  if (security != nullptr) wl::trace::Unsupported(function, "lpSecurityAttributes");
  if ((flagsAndAttributes & ~FILE_ATTRIBUTE_NORMAL) != 0) {
    wl::trace::Unsupported(function, "dwFlagsAndAttributes other than FILE_ATTRIBUTE_NORMAL");
  }
  if (templateFile != nullptr) wl::trace::Unsupported(function, "hTemplateFile");
}

void CopyPathName(const std::string& path, LPOFSTRUCT info) {
  size_t length = std::min(path.size(), sizeof(info->szPathName) - 1);
  memcpy(info->szPathName, path.data(), length);
  info->szPathName[length] = '\0';
}

}  // namespace

extern "C" {

WLAPI HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                         LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                         DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  NoteUnsupported("CreateFileA", dwShareMode, lpSecurityAttributes, dwFlagsAndAttributes,
                  hTemplateFile);
  WL_TRACE(kFiles, "CreateFileA \"%s\" access 0x%x disposition %u",
           lpFileName != nullptr ? lpFileName : "(null)", dwDesiredAccess, dwCreationDisposition);
  return CreateFileOnPath(lpFileName, dwDesiredAccess, dwCreationDisposition);
}

WLAPI HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                         LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                         DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  NoteUnsupported("CreateFileW", dwShareMode, lpSecurityAttributes, dwFlagsAndAttributes,
                  hTemplateFile);
  bool ok = false;
  std::string narrow = wl::NarrowPath(lpFileName, &ok);
  WL_TRACE(kFiles, "CreateFileW \"%s\" access 0x%x disposition %u", narrow.c_str(), dwDesiredAccess,
           dwCreationDisposition);
  return CreateFileOnPath(ok ? narrow.c_str() : nullptr, dwDesiredAccess, dwCreationDisposition);
}

WLAPI BOOL GetFileInformationByHandle(HANDLE hFile,
                                      LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
  auto file = wl::LookupHandleAs<wl::FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpFileInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat info;
  if (fstat(file->descriptor(), &info) != 0) {
    SetLastError(wl::Win32ErrorFromErrno(errno));
    return FALSE;
  }
  BY_HANDLE_FILE_INFORMATION& out = *lpFileInformation;
  memset(&out, 0, sizeof(out));
  out.dwFileAttributes = wl::AttributesFromStat(info);
  out.ftCreationTime = wl::FileTimeFromTimespec(info.st_ctim);
  out.ftLastAccessTime = wl::FileTimeFromTimespec(info.st_atim);
  out.ftLastWriteTime = wl::FileTimeFromTimespec(info.st_mtim);
  out.dwVolumeSerialNumber = static_cast<DWORD>(info.st_dev);
  unsigned long long size = static_cast<unsigned long long>(info.st_size);
  out.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  out.nFileSizeLow = static_cast<DWORD>(size);
  out.nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
  unsigned long long index = static_cast<unsigned long long>(info.st_ino);
  out.nFileIndexHigh = static_cast<DWORD>(index >> 32);
  out.nFileIndexLow = static_cast<DWORD>(index);
  return TRUE;
}

// OF_DELETE deletes the file, OF_EXIST tests that it exists; otherwise the file
// is opened for reading (OF_READ) and the result is a file handle as an HFILE,
// to be closed with CloseHandle. szPathName receives the host path.
WLAPI HFILE OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle) {
  OFSTRUCT scratch;
  LPOFSTRUCT info = lpReOpenBuff != nullptr ? lpReOpenBuff : &scratch;
  memset(info, 0, sizeof(*info));
  info->cBytes = static_cast<BYTE>(sizeof(*info));
  info->fFixedDisk = 1;
  std::string path;
  DWORD error = wl::ResolveWindowsPath(lpFileName, &path);
  if (error != ERROR_SUCCESS) {
    info->nErrCode = static_cast<WORD>(error);
    SetLastError(error);
    return HFILE_ERROR;
  }
  CopyPathName(path, info);
  if (uStyle & OF_DELETE) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
      error = ERROR_ACCESS_DENIED;
    } else if (unlink(path.c_str()) != 0) {
      error = wl::Win32ErrorForPath(errno, path);
    }
  } else if (uStyle & OF_EXIST) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) error = wl::Win32ErrorForPath(errno, path);
  } else {
    HANDLE handle = OpenHostFile(path, GENERIC_READ, OPEN_EXISTING);
    if (handle != INVALID_HANDLE_VALUE) {
      SetLastError(ERROR_SUCCESS);
      return static_cast<HFILE>(reinterpret_cast<intptr_t>(handle));
    }
    error = GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    info->nErrCode = static_cast<WORD>(error);
    SetLastError(error);
    return HFILE_ERROR;
  }
  SetLastError(ERROR_SUCCESS);
  return 1;
}

}  // extern "C"
