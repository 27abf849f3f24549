// File-system functions on Windows paths. A Windows path ("C:\RIREVUD\INI\X.INI")
// is mapped to a host path: the backslash separates, a drive letter maps through
// the registry key "SYSTEM\CurrentControlSet\Control\Session Manager\DOS Devices"
// (value "X:", a host directory; C: is "/" unless configured), and an absolute
// POSIX path stays as it is. Results and errors are Win32's.
// Thread safety: every function may be called from any thread.
#pragma once

#include <stdio.h>

#include "win32/types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x1u
#define FILE_ATTRIBUTE_HIDDEN 0x2u
#define FILE_ATTRIBUTE_SYSTEM 0x4u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE 0x20u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define FILE_NOTIFY_CHANGE_FILE_NAME 0x1u
#define FILE_NOTIFY_CHANGE_DIR_NAME 0x2u
#define FILE_NOTIFY_CHANGE_ATTRIBUTES 0x4u
#define FILE_NOTIFY_CHANGE_SIZE 0x8u
#define FILE_NOTIFY_CHANGE_LAST_WRITE 0x10u

// Error codes the file functions report beyond those of types.h.
#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206L
#endif
#ifndef ERROR_LOCK_VIOLATION
#define ERROR_LOCK_VIOLATION 33L
#endif

#define OF_READ 0x0u
#define OF_DELETE 0x200u
#define OF_EXIST 0x4000u
#define HFILE_ERROR (-1)
#define OFS_MAXPATHNAME 128
typedef int HFILE;

typedef struct _OFSTRUCT {
  BYTE cBytes;
  BYTE fFixedDisk;
  WORD nErrCode;
  WORD Reserved1;
  WORD Reserved2;
  CHAR szPathName[OFS_MAXPATHNAME];
} OFSTRUCT, *LPOFSTRUCT;

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

typedef struct _BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

WL_EXTERN_C_BEGIN
WLAPI BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
WLAPI BOOL RemoveDirectoryA(LPCSTR lpPathName);
WLAPI BOOL DeleteFileA(LPCSTR lpFileName);
WLAPI BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
WLAPI HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
WLAPI BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
WLAPI BOOL FindClose(HANDLE hFindFile);
WLAPI DWORD GetFileAttributesA(LPCSTR lpFileName);
WLAPI HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                         LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                         DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
WLAPI HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                         LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                         DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
WLAPI BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation);
// Byte-range locks of a file handle, exclusive, never waiting: a range that
// another handle (of this or another process) has locked fails with
// ERROR_LOCK_VIOLATION. A lock goes with its handle's last CloseHandle, or
// with the process. Ranges of one handle are not counted: locking a range
// twice through the same handle succeeds.
WLAPI BOOL LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                    DWORD nNumberOfBytesToLockLow, DWORD nNumberOfBytesToLockHigh);
WLAPI BOOL UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                      DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh);
WLAPI HFILE OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle);
WLAPI BOOL SetCurrentDirectoryA(LPCSTR lpPathName);
WLAPI UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
WLAPI BOOL GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                             LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                             LPDWORD lpTotalNumberOfClusters);
WLAPI HANDLE FindFirstChangeNotificationW(LPCWSTR lpPathName, BOOL bWatchSubtree,
                                          DWORD dwNotifyFilter);
WLAPI BOOL FindNextChangeNotification(HANDLE hChangeHandle);
WLAPI BOOL FindCloseChangeNotification(HANDLE hChangeHandle);

// Not Win32: the system's C stdio calls go through these so that the Windows
// path is mapped. Same modes and results as fopen; errno and GetLastError set.
WLAPI FILE* wl_fopen(const char* windowsPath, const char* mode);
// Not Win32: maps a Windows path to its host path. Returns the number of bytes
// written without the terminator, or the size needed (with terminator) when the
// buffer is too small, or 0 on error (GetLastError).
WLAPI DWORD wl_host_path(const char* windowsPath, char* buffer, DWORD size);
WL_EXTERN_C_END
