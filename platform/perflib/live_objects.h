// The objects of the live source, each built from the text of its kernel files
// (passed in, so that tests can hand in their own) or, for processes and
// volumes, from a directory or a list of volumes.
// Thread safety: pure functions, except that the process and volume functions
// read the file system.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wlperf/block_builder.h"

namespace wl::perf {

// Clock ticks per second of /proc/stat and /proc/<pid>/stat (USER_HZ).
long ClockTicksPerSecond();

// Processor (238): one instance per "cpuN" line of /proc/stat, named "N".
wlperf::ObjectSpec ProcessorObject(std::string_view procStat, long ticksPerSecond);

// Memory (4), from /proc/meminfo.
wlperf::ObjectSpec MemoryObject(std::string_view meminfo);

// One whole block device of /proc/diskstats.
struct DiskRecord {
  std::string name;
  uint64_t reads = 0, readSectors = 0, readMs = 0;
  uint64_t writes = 0, writeSectors = 0, writeMs = 0;
  uint64_t inFlight = 0;
};

// The records of /proc/diskstats whose device is whole (see IsWholeDisk).
std::vector<DiskRecord> ParseDiskStats(std::string_view diskstats, const std::string& sysRoot);

// True when `name` (as /proc/diskstats writes it) is a whole block device
// backed by hardware: /sys/block/<name>/device exists, which leaves out
// partitions and the loop, ram, zram, device-mapper and md devices.
bool IsWholeDisk(const std::string& sysRoot, std::string_view name);

// PhysicalDisk (234): one instance per record.
wlperf::ObjectSpec PhysicalDiskObject(const std::vector<DiskRecord>& disks);

// System (2): file operations and bytes summed over the disks, and the context
// switches of /proc/stat.
wlperf::ObjectSpec SystemObject(const std::vector<DiskRecord>& disks, std::string_view procStat);

// Network Interface (510): one instance per interface of /proc/net/dev.
wlperf::ObjectSpec NetworkInterfaceObject(std::string_view netDev);

// One drive letter's file system.
struct VolumeRecord {
  std::string drive;  // "C:"
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;  // available to unprivileged users, as Windows counts it
  uint64_t device = 0;     // st_dev of the directory; _Total counts each device once
};

// statvfs and stat of each drive's directory; drives that fail are left out.
std::vector<VolumeRecord> ReadVolumes(
    const std::vector<std::pair<std::string, std::string>>& drives);

// LogicalDisk (236): one instance per volume, then "_Total".
wlperf::ObjectSpec LogicalDiskObject(const std::vector<VolumeRecord>& volumes);

// The unit of "% Free Space" and its base: 1,024,000 bytes.
inline constexpr uint64_t kFreeSpaceUnit = 1'024'000;

// The fields of one /proc/<pid>/stat that the Process object uses.
struct ProcessRecord {
  std::string name;
  uint32_t pid = 0;
  uint32_t parentPid = 0;
  uint64_t minorFaults = 0, majorFaults = 0;
  uint64_t userTicks = 0, systemTicks = 0;
  int64_t priority = 0, nice = 0;
  uint64_t threads = 0;
  uint64_t virtualBytes = 0;
  uint64_t residentPages = 0;
};

// Parses the text of /proc/<pid>/stat; false when it is malformed.
bool ParseProcessStat(std::string_view text, ProcessRecord* out);

// Process (230): one instance per process directory of `procRoot`, named by its
// command name.
wlperf::ObjectSpec ProcessObject(const std::string& procRoot, long ticksPerSecond, long pageSize);

}  // namespace wl::perf
