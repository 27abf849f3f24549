#include "live_objects.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "proc_text.h"
#include "title_indexes.h"

namespace wl::perf {
namespace {

using wlperf::CounterSpec;
using wlperf::InstanceSpec;
using wlperf::ObjectSpec;

// Values for 32-bit counters that are read widened with their sign: sizes and
// memory amounts saturate below 2^31 so that they never turn negative.
int64_t Saturate31(uint64_t value) {
  return static_cast<int64_t>(std::min<uint64_t>(value, 0x7FFFFFFF));
}

// Values for 64-bit counters: never negative.
int64_t Clamp63(uint64_t value) {
  return static_cast<int64_t>(std::min<uint64_t>(value, 0x7FFFFFFFFFFFFFFFull));
}

// Event counts in 32-bit counters wrap as the readers' 64-bit differences expect.
int64_t Wrap32(uint64_t value) { return static_cast<int64_t>(value & 0xFFFFFFFFu); }

int64_t Ticks100ns(uint64_t ticks, long ticksPerSecond) {
  return static_cast<int64_t>(static_cast<unsigned __int128>(ticks) * 10'000'000 /
                              static_cast<uint64_t>(ticksPerSecond > 0 ? ticksPerSecond : 100));
}

}  // namespace

long ClockTicksPerSecond() {
  const long ticks = sysconf(_SC_CLK_TCK);
  return ticks > 0 ? ticks : 100;
}

ObjectSpec ProcessorObject(std::string_view procStat, long ticksPerSecond) {
  using namespace title;
  ObjectSpec object = wlperf::InstanceObject(kProcessor,
                                             {{kPercentProcessorTime, PERF_100NSEC_TIMER_INV, 8},
                                              {kPercentUserTime, PERF_100NSEC_TIMER, 8},
                                              {kPercentPrivilegedTime, PERF_100NSEC_TIMER, 8}},
                                             {});
  ForEachLine(procStat, [&](std::string_view line) {
    // "cpuN user nice system idle iowait irq softirq steal ..."; "cpu " is the sum.
    if (line.size() < 4 || line.substr(0, 3) != "cpu" || line[3] < '0' || line[3] > '9') return;
    TextCursor cursor(line.substr(3));
    const std::string name(cursor.Word());
    const uint64_t user = cursor.Unsigned(), nice = cursor.Unsigned();
    const uint64_t system = cursor.Unsigned(), idle = cursor.Unsigned();
    const uint64_t iowait = cursor.Unsigned(), irq = cursor.Unsigned();
    const uint64_t softirq = cursor.Unsigned();
    object.instances.push_back(
        {name,
         {Ticks100ns(idle + iowait, ticksPerSecond), Ticks100ns(user + nice, ticksPerSecond),
          Ticks100ns(system + irq + softirq, ticksPerSecond)}});
  });
  return object;
}

ObjectSpec MemoryObject(std::string_view meminfo) {
  using namespace title;
  const auto bytes = [&](std::string_view key) {
    TextCursor cursor(LineStartingWith(meminfo, key));
    return static_cast<int64_t>(cursor.Unsigned() * 1024);  // the file counts kB
  };
  return wlperf::SingleObject(
      kMemory,
      {{kAvailableBytes, PERF_COUNTER_LARGE_RAWCOUNT, 8},
       {kCommittedBytes, PERF_COUNTER_LARGE_RAWCOUNT, 8},
       {kCommitLimit, PERF_COUNTER_LARGE_RAWCOUNT, 8}},
      {bytes("MemAvailable:"), bytes("Committed_AS:"), bytes("CommitLimit:")});
}

bool IsWholeDisk(const std::string& sysRoot, std::string_view name) {
  if (name.empty() || name.find("..") != std::string_view::npos) return false;
  std::string entry(name);
  std::replace(entry.begin(), entry.end(), '/', '!');  // /sys spells "cciss/c0d0" "cciss!c0d0"
  struct stat info;
  return stat((sysRoot + "/block/" + entry + "/device").c_str(), &info) == 0;
}

std::vector<DiskRecord> ParseDiskStats(std::string_view diskstats, const std::string& sysRoot) {
  std::vector<DiskRecord> disks;
  ForEachLine(diskstats, [&](std::string_view line) {
    // "major minor name reads rmerged rsectors rms writes wmerged wsectors wms inflight ..."
    TextCursor cursor(line);
    cursor.Skip(2);
    const std::string_view name = cursor.Word();
    if (name.empty() || !IsWholeDisk(sysRoot, name)) return;
    DiskRecord disk;
    disk.name = std::string(name);
    disk.reads = cursor.Unsigned();
    cursor.Skip(1);
    disk.readSectors = cursor.Unsigned();
    disk.readMs = cursor.Unsigned();
    disk.writes = cursor.Unsigned();
    cursor.Skip(1);
    disk.writeSectors = cursor.Unsigned();
    disk.writeMs = cursor.Unsigned();
    disk.inFlight = cursor.Unsigned();
    disks.push_back(std::move(disk));
  });
  return disks;
}

ObjectSpec PhysicalDiskObject(const std::vector<DiskRecord>& disks) {
  using namespace title;
  ObjectSpec object = wlperf::InstanceObject(kPhysicalDisk,
                                             {{kCurrentDiskQueueLength, PERF_COUNTER_RAWCOUNT, 4},
                                              {kAvgDiskSecPerTransfer, PERF_AVERAGE_TIMER, 4},
                                              {kAvgDiskSecPerTransfer, PERF_AVERAGE_BASE, 4},
                                              {kDiskTransfers, PERF_COUNTER_COUNTER, 4},
                                              {kDiskReads, PERF_COUNTER_COUNTER, 4},
                                              {kDiskWrites, PERF_COUNTER_COUNTER, 4},
                                              {kDiskBytes, PERF_COUNTER_BULK_COUNT, 8},
                                              {kDiskReadBytes, PERF_COUNTER_BULK_COUNT, 8},
                                              {kDiskWriteBytes, PERF_COUNTER_BULK_COUNT, 8}},
                                             {});
  for (const DiskRecord& disk : disks) {
    // The kernel counts sectors of 512 bytes and request time in milliseconds,
    // the live timer unit, so the average timer needs no scaling.
    const uint64_t readBytes = disk.readSectors * 512, writeBytes = disk.writeSectors * 512;
    object.instances.push_back(
        {disk.name,
         {Saturate31(disk.inFlight), Wrap32(disk.readMs + disk.writeMs),
          Wrap32(disk.reads + disk.writes), Wrap32(disk.reads + disk.writes), Wrap32(disk.reads),
          Wrap32(disk.writes), static_cast<int64_t>(readBytes + writeBytes),
          static_cast<int64_t>(readBytes), static_cast<int64_t>(writeBytes)}});
  }
  return object;
}

ObjectSpec SystemObject(const std::vector<DiskRecord>& disks, std::string_view procStat) {
  using namespace title;
  uint64_t reads = 0, writes = 0, readBytes = 0, writeBytes = 0;
  for (const DiskRecord& disk : disks) {
    reads += disk.reads;
    writes += disk.writes;
    readBytes += disk.readSectors * 512;
    writeBytes += disk.writeSectors * 512;
  }
  TextCursor switches(LineStartingWith(procStat, "ctxt "));
  return wlperf::SingleObject(kSystem,
                              {{kFileReadOperations, PERF_COUNTER_COUNTER, 4},
                               {kFileWriteOperations, PERF_COUNTER_COUNTER, 4},
                               {kFileReadBytes, PERF_COUNTER_BULK_COUNT, 8},
                               {kFileWriteBytes, PERF_COUNTER_BULK_COUNT, 8},
                               {kContextSwitches, PERF_COUNTER_COUNTER, 4}},
                              {Wrap32(reads), Wrap32(writes), static_cast<int64_t>(readBytes),
                               static_cast<int64_t>(writeBytes), Wrap32(switches.Unsigned())});
}

ObjectSpec NetworkInterfaceObject(std::string_view netDev) {
  using namespace title;
  ObjectSpec object = wlperf::InstanceObject(kNetworkInterface,
                                             {{kBytesTotal, PERF_COUNTER_BULK_COUNT, 8},
                                              {kPackets, PERF_COUNTER_COUNTER, 4},
                                              {kPacketsReceived, PERF_COUNTER_COUNTER, 4},
                                              {kPacketsSent, PERF_COUNTER_COUNTER, 4},
                                              {kBytesReceived, PERF_COUNTER_BULK_COUNT, 8},
                                              {kBytesSent, PERF_COUNTER_BULK_COUNT, 8},
                                              {kPacketsReceivedDiscarded, PERF_COUNTER_RAWCOUNT, 4},
                                              {kPacketsReceivedErrors, PERF_COUNTER_RAWCOUNT, 4},
                                              {kPacketsOutboundDiscarded, PERF_COUNTER_RAWCOUNT, 4},
                                              {kPacketsOutboundErrors, PERF_COUNTER_RAWCOUNT, 4}},
                                             {});
  ForEachLine(netDev, [&](std::string_view line) {
    // "  name: rxbytes rxpackets rxerrs rxdrop fifo frame compressed multicast
    //          txbytes txpackets txerrs txdrop ..."; the two header lines have no colon
    //          before their first '|'.
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || line.find('|') != std::string_view::npos) return;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    if (name.empty()) return;
    TextCursor cursor(line.substr(colon + 1));
    const uint64_t rxBytes = cursor.Unsigned(), rxPackets = cursor.Unsigned();
    const uint64_t rxErrors = cursor.Unsigned(), rxDropped = cursor.Unsigned();
    cursor.Skip(4);
    const uint64_t txBytes = cursor.Unsigned(), txPackets = cursor.Unsigned();
    const uint64_t txErrors = cursor.Unsigned(), txDropped = cursor.Unsigned();
    object.instances.push_back(
        {std::string(name),
         {static_cast<int64_t>(rxBytes + txBytes), Wrap32(rxPackets + txPackets), Wrap32(rxPackets),
          Wrap32(txPackets), static_cast<int64_t>(rxBytes), static_cast<int64_t>(txBytes),
          Saturate31(rxDropped), Saturate31(rxErrors), Saturate31(txDropped),
          Saturate31(txErrors)}});
  });
  return object;
}

std::vector<VolumeRecord> ReadVolumes(
    const std::vector<std::pair<std::string, std::string>>& drives) {
  std::vector<VolumeRecord> volumes;
  for (const auto& [drive, directory] : drives) {
    struct statvfs figures;
    struct stat info;
    if (statvfs(directory.c_str(), &figures) != 0 || stat(directory.c_str(), &info) != 0) continue;
    VolumeRecord volume;
    volume.drive = drive;
    const uint64_t unit = figures.f_frsize != 0 ? figures.f_frsize : figures.f_bsize;
    volume.totalBytes = static_cast<uint64_t>(figures.f_blocks) * unit;
    volume.freeBytes = static_cast<uint64_t>(figures.f_bavail) * unit;
    volume.device = info.st_dev;
    volumes.push_back(volume);
  }
  return volumes;
}

ObjectSpec LogicalDiskObject(const std::vector<VolumeRecord>& volumes) {
  using namespace title;
  ObjectSpec object = wlperf::InstanceObject(kLogicalDisk,
                                             {{kPercentFreeSpace, PERF_RAW_FRACTION, 4},
                                              {kPercentFreeSpace, PERF_RAW_BASE, 4},
                                              {kFreeMegabytes, PERF_COUNTER_RAWCOUNT, 4}},
                                             {});
  const auto values = [](uint64_t total, uint64_t free) -> std::vector<int64_t> {
    return {Saturate31(free / kFreeSpaceUnit), Saturate31(total / kFreeSpaceUnit),
            Saturate31(free / (1024 * 1024))};
  };
  uint64_t total = 0, free = 0;
  std::vector<uint64_t> counted;
  for (const VolumeRecord& volume : volumes) {
    object.instances.push_back({volume.drive, values(volume.totalBytes, volume.freeBytes)});
    if (std::find(counted.begin(), counted.end(), volume.device) != counted.end()) continue;
    counted.push_back(volume.device);
    total += volume.totalBytes;
    free += volume.freeBytes;
  }
  object.instances.push_back({"_Total", values(total, free)});
  return object;
}

bool ParseProcessStat(std::string_view text, ProcessRecord* out) {
  // "pid (comm) state ppid ..."; the command name may hold blanks and ')'.
  const size_t open = text.find('(');
  const size_t close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return false;
  }
  TextCursor head(text.substr(0, open));
  out->pid = static_cast<uint32_t>(head.Unsigned());
  out->name = std::string(text.substr(open + 1, close - open - 1));
  TextCursor cursor(text.substr(close + 1));
  cursor.Skip(1);  // state
  out->parentPid = static_cast<uint32_t>(cursor.Unsigned());
  cursor.Skip(5);  // pgrp session tty_nr tpgid flags
  out->minorFaults = cursor.Unsigned();
  cursor.Skip(1);
  out->majorFaults = cursor.Unsigned();
  cursor.Skip(1);
  out->userTicks = cursor.Unsigned();
  out->systemTicks = cursor.Unsigned();
  cursor.Skip(2);  // cutime cstime
  out->priority = cursor.Signed();
  out->nice = cursor.Signed();
  out->threads = cursor.Unsigned();
  cursor.Skip(2);  // itrealvalue starttime
  out->virtualBytes = cursor.Unsigned();
  if (cursor.AtEnd()) return false;  // cut short
  out->residentPages = cursor.Unsigned();
  return true;
}

namespace {

// Windows' base priority of the nearest priority class: idle 4, below normal
// 6, normal 8, high 13, real time 24 (the kernel's priority field is negative
// for real-time tasks).
int64_t BasePriority(const ProcessRecord& process) {
  if (process.priority < 0) return 24;
  if (process.nice >= 10) return 4;
  if (process.nice > 0) return 6;
  if (process.nice < 0) return 13;
  return 8;
}

}  // namespace

ObjectSpec ProcessObject(const std::string& procRoot, long ticksPerSecond, long pageSize) {
  using namespace title;
  ObjectSpec object = wlperf::InstanceObject(kProcess,
                                             {{kPercentProcessorTime, PERF_100NSEC_TIMER, 8},
                                              {kPercentUserTime, PERF_100NSEC_TIMER, 8},
                                              {kPercentPrivilegedTime, PERF_100NSEC_TIMER, 8},
                                              {kVirtualBytes, PERF_COUNTER_LARGE_RAWCOUNT, 8},
                                              {kWorkingSet, PERF_COUNTER_LARGE_RAWCOUNT, 8},
                                              {kPageFaults, PERF_COUNTER_COUNTER, 4},
                                              {kThreadCount, PERF_COUNTER_RAWCOUNT, 4},
                                              {kPriorityBase, PERF_COUNTER_RAWCOUNT, 4},
                                              {kIdProcess, PERF_COUNTER_RAWCOUNT, 4},
                                              {kCreatingProcessId, PERF_COUNTER_RAWCOUNT, 4}},
                                             {});
  DIR* directory = opendir(procRoot.c_str());
  if (!directory) return object;
  const int directoryFd = dirfd(directory);
  char path[64];
  char text[4096];
  ProcessRecord process;
  while (const dirent* entry = readdir(directory)) {
    const char* name = entry->d_name;
    if (name[0] < '1' || name[0] > '9' || std::strlen(name) > 20) continue;
    bool numeric = true;
    for (const char* c = name; *c; ++c) numeric = numeric && *c >= '0' && *c <= '9';
    if (!numeric) continue;
    std::snprintf(path, sizeof(path), "%s/stat", name);
    const long length = ReadSmallFileAt(directoryFd, path, text, sizeof(text));
    if (length <= 0 ||
        !ParseProcessStat(std::string_view(text, static_cast<size_t>(length)), &process)) {
      continue;  // the process has gone, or its file is not as expected
    }
    InstanceSpec instance;
    instance.name = process.name;
    instance.values = {Ticks100ns(process.userTicks + process.systemTicks, ticksPerSecond),
                       Ticks100ns(process.userTicks, ticksPerSecond),
                       Ticks100ns(process.systemTicks, ticksPerSecond),
                       Clamp63(process.virtualBytes),
                       Clamp63(process.residentPages * static_cast<uint64_t>(pageSize)),
                       Wrap32(process.minorFaults + process.majorFaults),
                       Saturate31(process.threads),
                       BasePriority(process),
                       process.pid,
                       process.parentPid};
    object.instances.push_back(std::move(instance));
  }
  closedir(directory);
  return object;
}

}  // namespace wl::perf
