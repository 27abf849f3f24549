// The live answers of libwinprob.so, read from the Linux machine under a Host
// root. Each function returns the records the matching W32 call hands out.
// Thread safety: pure functions of the Host (printers ask the CUPS server).
#pragma once

#include <string>
#include <vector>

#include "block_devices.h"
#include "host_root.h"
#include "mountinfo.h"
#include "winprob.h"

namespace wl::winprob {

using host::Host;

// A mounted file system that holds data, with the (hard disk, partition)
// pair by which its storage row and file-system row meet.
struct DataMount {
  host::Mount mount;
  host::FsStats stats;
  int hardDisk = 0;
  int partition = 0;
  bool removable = false;
};

// Mounts of /proc/self/mountinfo that hold data: pseudo file systems, mounts
// under /proc and /sys and file systems without blocks are left out; of
// several mounts on one mount point the one on top counts. A file system on a
// partition carries (disk, partition), one on a whole disk (disk, 0), any
// other (0, n) with n a number derived from its mount point alone.
std::vector<DataMount> DataMounts(const Host& host, const std::vector<host::Disk>& disks);

// Allocation units (a power of two times `blockSize`, at least 1 byte) in
// which `totalBytes` counts at most 2^31 - 1; size and used in those units.
void ChooseUnits(uint64_t totalBytes, uint64_t usedBytes, uint64_t blockSize, DWORD* units,
                 DWORD* size, DWORD* used);

bool Uptime(const Host& host, DWORD* hundredths);
bool UserCount(const Host& host, DWORD* users);
bool MemoryBytes(const Host& host, ULONGLONG* bytes);
// The newest modification time of the package database and the unit directories.
SYSTEMTIME LastSoftwareChange(const Host& host);

std::vector<W32StorageRecord> Storage(const Host& host);
std::vector<W32DeviceRecord> Devices(const Host& host);
std::vector<W32ProcessorRecord> Processors(const Host& host);
std::vector<W32NetworkRecord> Networks(const Host& host);
// From the CUPS server through libcups, when one answers and the Host is the
// machine itself; none otherwise.
std::vector<W32PrinterRecord> Printers(const Host& host);
std::vector<W32DiskStorageRecord> DiskStorage(const Host& host);
std::vector<W32PartitionRecord> Partitions(const Host& host);
std::vector<W32FileSystemRecord> FileSystems(const Host& host);

// hrFSTypes number of a Linux file-system type.
DWORD FileSystemType(const std::string& fsType);

}  // namespace wl::winprob
