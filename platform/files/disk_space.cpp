// GetDiskFreeSpaceA: the sizes of the file system that holds the mapped path,
// expressed as Windows does in 32-bit fields: 512-byte sectors and the
// smallest power-of-two cluster that lets the total cluster count fit, so
// that clusters x sectors per cluster x bytes per sector reproduces the sizes
// (rounded down to whole clusters; counts saturate at 0xFFFFFFFF only beyond
// what a 2^31-sector cluster can express). The performance data fixture, when
// in use, supplies the sizes instead (drive letter of the path, C: for a path
// without one).
#include <errno.h>
#include <sys/statvfs.h>

#include <string>

#include "core/perf_seam.h"
#include "file_errors.h"
#include "host_path.h"
#include "win32/files.h"

namespace {

constexpr unsigned long long kBytesPerSector = 512;

void ExpressInClusters(unsigned long long totalBytes, unsigned long long freeBytes,
                       LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
  unsigned long long sectors = 1;
  while (sectors < (1ull << 31) && totalBytes / (kBytesPerSector * sectors) > 0xFFFFFFFFull) {
    sectors <<= 1;
  }
  unsigned long long clusterBytes = kBytesPerSector * sectors;
  unsigned long long total = totalBytes / clusterBytes;
  unsigned long long available = freeBytes / clusterBytes;
  if (total > 0xFFFFFFFFull) total = 0xFFFFFFFFull;
  if (available > 0xFFFFFFFFull) available = 0xFFFFFFFFull;
  if (sectorsPerCluster) *sectorsPerCluster = static_cast<DWORD>(sectors);
  if (bytesPerSector) *bytesPerSector = static_cast<DWORD>(kBytesPerSector);
  if (freeClusters) *freeClusters = static_cast<DWORD>(available);
  if (totalClusters) *totalClusters = static_cast<DWORD>(total);
}

}  // namespace

extern "C" {

WLAPI BOOL GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                             LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                             LPDWORD lpTotalNumberOfClusters) {
  std::string windowsPath = lpRootPathName != nullptr ? lpRootPathName : ".";
  std::string drive = "C:";
  if (windowsPath.size() >= 2 && windowsPath[1] == ':') {
    drive = windowsPath.substr(0, 2);
    if (drive[0] >= 'a' && drive[0] <= 'z') drive[0] = static_cast<char>(drive[0] - 'a' + 'A');
  }
  bool found = false;
  unsigned long long totalBytes = 0;
  unsigned long long freeBytes = 0;
  if (wl::FixtureDiskSpace(drive, &found, &totalBytes, &freeBytes)) {
    if (!found) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return FALSE;
    }
  } else {
    std::string path;
    DWORD error = wl::ResolveWindowsPath(windowsPath.c_str(), &path);
    if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return FALSE;
    }
    struct statvfs info;
    if (statvfs(path.c_str(), &info) != 0) {
      int failure = errno;
      SetLastError(failure == ENOENT || failure == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                           : wl::Win32ErrorFromErrno(failure));
      return FALSE;
    }
    unsigned long long unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    totalBytes = static_cast<unsigned long long>(info.f_blocks) * unit;
    freeBytes = static_cast<unsigned long long>(info.f_bavail) * unit;
  }
  ExpressInClusters(totalBytes, freeBytes, lpSectorsPerCluster, lpBytesPerSector,
                    lpNumberOfFreeClusters, lpTotalNumberOfClusters);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // extern "C"
