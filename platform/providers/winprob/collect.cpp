#include "collect.h"

#include <utmp.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

#include "input_devices.h"
#include "text.h"

namespace wl::winprob {
namespace {

using host::Disk;
using host::InputDevice;
using host::InputKind;

// hrDeviceTypes, hrDeviceStatus.
constexpr DWORD kDeviceOther = 1, kDeviceProcessor = 3, kDeviceNetwork = 4, kDevicePrinter = 5;
constexpr DWORD kDeviceDiskStorage = 6, kDeviceKeyboard = 13;
constexpr DWORD kStatusRunning = 2, kStatusWarning = 3, kStatusTesting = 4, kStatusDown = 5;
constexpr DWORD kMediaUnknown = 2;
constexpr DWORD kMaxKilobytes = 0x7FFFFFFF;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    visit(text.substr(start, end - start));
    start = end + 1;
  }
}

// The number after `key` on its line of /proc/meminfo, in bytes.
bool MeminfoBytes(std::string_view meminfo, std::string_view key, uint64_t* bytes) {
  bool found = false;
  ForEachLine(meminfo, [&](std::string_view line) {
    if (found || !StartsWith(line, key)) return;
    const auto words = host::Words(line.substr(key.size()));
    uint64_t kilobytes = 0;
    if (!words.empty() && host::ParseUnsigned(words[0], &kilobytes, 10, UINT64_MAX / 1024)) {
      *bytes = kilobytes * 1024;
      found = true;
    }
  });
  return found;
}

HROBJECTID NullId() {
  HROBJECTID id{};
  id.length = 2;
  return id;
}

DWORD KilobytesOf(uint64_t bytes) {
  return static_cast<DWORD>(std::min<uint64_t>(bytes / 1024, kMaxKilobytes));
}

bool IsPseudoFileSystem(const std::string& type) {
  static const std::set<std::string> kPseudo = {
      "proc",        "sysfs",       "cgroup",     "cgroup2", "devpts",
      "devtmpfs",    "mqueue",      "debugfs",    "tracefs", "securityfs",
      "pstore",      "bpf",         "configfs",   "fusectl", "hugetlbfs",
      "autofs",      "binfmt_misc", "rpc_pipefs", "nsfs",    "efivarfs",
      "selinuxfs",   "ramfs",       "rootfs",     "none",    "fuse.gvfsd-fuse",
      "fuse.portal", "nfsd"};
  return kPseudo.count(type) == 1;
}

bool IsNetworkFileSystem(const std::string& type) {
  static const std::set<std::string> kNetwork = {
      "nfs",  "nfs4",      "cifs", "smb3",       "smbfs",          "9p",
      "ceph", "glusterfs", "afs",  "fuse.sshfs", "fuse.glusterfs", "ncpfs"};
  return kNetwork.count(type) == 1;
}

bool UnderPseudoTree(const std::string& mountPoint) {
  for (const char* tree : {"/proc", "/sys"}) {
    const size_t n = std::strlen(tree);
    if (mountPoint.compare(0, n, tree) == 0 && (mountPoint.size() == n || mountPoint[n] == '/')) {
      return true;
    }
  }
  return false;
}

// A stable number from a mount point alone (FNV-1a folded to 31 bits).
int MountNumber(const std::string& mountPoint) {
  uint32_t hash = 2166136261u;
  for (const char c : mountPoint) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  hash &= 0x7FFFFFFF;
  return static_cast<int>(hash == 0 ? 1 : hash);
}

DWORD StorageType(const DataMount& data) {
  const std::string& type = data.mount.fsType;
  if (IsNetworkFileSystem(type)) return kStorageNetworkDisk;
  if (type == "tmpfs") return kStorageRamDisk;
  if (type == "iso9660" || type == "udf") return kStorageCompactDisc;
  if (data.removable) return kStorageRemovableDisk;
  return kStorageFixedDisk;
}

struct NetInterface {
  std::string name;
  DWORD ifindex = 0;
  WORD networkIndex = 0;
  BYTE mac[6] = {};
  WORD ifType = 1;
  DWORD status = kStatusRunning;
  DWORD errors = 0;
  std::string driver;
};

WORD IanaIfType(const Host& host, const std::string& sys, uint64_t arphrd) {
  switch (arphrd) {
    case 1:
      return host.Exists(sys + "/wireless") ? 71 : 6;
    case 772:
      return 24;
    case 512:
      return 23;
    case 768:
    case 776:
    case 778:
    case 823:
      return 131;
    case 801:
      return 71;
    default:
      return 1;
  }
}

std::vector<NetInterface> ListInterfaces(const Host& host) {
  std::vector<NetInterface> interfaces;
  for (const std::string& name : host.List("/sys/class/net")) {
    const std::string sys = "/sys/class/net/" + name;
    NetInterface net;
    net.name = name;
    uint64_t value = 0;
    if (!host::ParseUnsigned(host.Attribute(sys + "/ifindex"), &value, 10, 0xFFFFFFFFu)) {
      continue;  // not an interface, or it vanished
    }
    net.ifindex = static_cast<DWORD>(value);
    const std::string address = host.Attribute(sys + "/address");
    for (size_t i = 0; i < 6 && address.size() >= 17; ++i) {
      uint64_t byte = 0;
      if (host::ParseUnsigned(std::string_view(address).substr(3 * i, 2), &byte, 16, 255)) {
        net.mac[i] = static_cast<BYTE>(byte);
      }
    }
    if (host::ParseUnsigned(host.Attribute(sys + "/type"), &value, 10, 0xFFFF)) {
      net.ifType = IanaIfType(host, sys, value);
    }
    const std::string state = host.Attribute(sys + "/operstate");
    if (state == "down" || state == "lowerlayerdown" || state == "notpresent") {
      net.status = kStatusDown;
    } else if (state == "testing") {
      net.status = kStatusTesting;
    } else if (state == "dormant") {
      net.status = kStatusWarning;
    }
    uint64_t errors = 0;
    for (const char* counter : {"/statistics/rx_errors", "/statistics/tx_errors"}) {
      if (host::ParseUnsigned(host.Attribute(sys + counter), &value)) errors += value;
    }
    net.errors = static_cast<DWORD>(std::min<uint64_t>(errors, 0xFFFFFFFFu));
    net.driver = host.LinkName(sys + "/device/driver");
    interfaces.push_back(std::move(net));
  }
  std::sort(interfaces.begin(), interfaces.end(),
            [](const NetInterface& a, const NetInterface& b) { return a.ifindex < b.ifindex; });
  // The network index is the ifindex where it fits 16 bits; the rare larger
  // ones take free numbers from the top down.
  std::set<WORD> taken;
  for (NetInterface& net : interfaces) {
    if (net.ifindex >= 1 && net.ifindex <= 0xFFFF) {
      net.networkIndex = static_cast<WORD>(net.ifindex);
      taken.insert(net.networkIndex);
    }
  }
  WORD next = 0xFFFF;
  for (NetInterface& net : interfaces) {
    if (net.networkIndex != 0) continue;
    while (next > 0 && taken.count(next)) --next;
    net.networkIndex = next;
    taken.insert(next);
  }
  return interfaces;
}

struct Cpu {
  unsigned number = 0;
  std::string model;
};

std::vector<Cpu> ListCpus(const Host& host) {
  std::vector<Cpu> cpus;
  std::string text;
  if (!host.Read("/proc/cpuinfo", &text)) return cpus;
  std::string hardware;
  ForEachLine(text, [&](std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view key = host::Trim(line.substr(0, colon));
    const std::string_view value = host::Trim(line.substr(colon + 1));
    uint64_t number = 0;
    if (key == "processor" && host::ParseUnsigned(value, &number, 10, 0xFFFFFF)) {
      cpus.push_back({static_cast<unsigned>(number), {}});
    } else if (!cpus.empty() && cpus.back().model.empty() &&
               (key == "model name" || key == "cpu model" || key == "cpu")) {
      cpus.back().model = value;
    } else if (key == "Hardware" || key == "uarch") {
      hardware = value;
    }
  });
  for (Cpu& cpu : cpus) {
    if (cpu.model.empty()) cpu.model = hardware.empty() ? "unknown" : hardware;
  }
  return cpus;
}

SYSTEMTIME SystemTimeOf(int64_t seconds) {
  SYSTEMTIME time{};
  const time_t t = static_cast<time_t>(seconds);
  struct tm parts {};
  if (!gmtime_r(&t, &parts)) return time;
  time.wYear = static_cast<WORD>(parts.tm_year + 1900);
  time.wMonth = static_cast<WORD>(parts.tm_mon + 1);
  time.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
  time.wDay = static_cast<WORD>(parts.tm_mday);
  time.wHour = static_cast<WORD>(parts.tm_hour);
  time.wMinute = static_cast<WORD>(parts.tm_min);
  time.wSecond = static_cast<WORD>(parts.tm_sec);
  return time;
}

}  // namespace

void ChooseUnits(uint64_t totalBytes, uint64_t usedBytes, uint64_t blockSize, DWORD* units,
                 DWORD* size, DWORD* used) {
  uint64_t unit = std::clamp<uint64_t>(blockSize, 1, 0x80000000u);
  while (totalBytes / unit > 0x7FFFFFFF && unit < 0x80000000u) unit *= 2;
  *units = static_cast<DWORD>(unit);
  *size = static_cast<DWORD>(std::min<uint64_t>(totalBytes / unit, 0x7FFFFFFF));
  *used = static_cast<DWORD>(std::min<uint64_t>(std::min(usedBytes, totalBytes) / unit, *size));
}

std::vector<DataMount> DataMounts(const Host& host, const std::vector<Disk>& disks) {
  std::vector<DataMount> result;
  std::string text;
  if (!host.Read("/proc/self/mountinfo", &text)) return result;
  std::map<std::string, size_t> byMountPoint;
  for (host::Mount& mount : host::ParseMountInfo(text)) {
    if (IsPseudoFileSystem(mount.fsType) || UnderPseudoTree(mount.mountPoint)) continue;
    DataMount data;
    if (!host.StatFs(mount.mountPoint, &data.stats) || data.stats.blocks == 0) continue;
    data.hardDisk = 0;
    data.partition = MountNumber(mount.mountPoint);
    for (const Disk& disk : disks) {
      if (mount.major == 0) break;
      if (disk.major == mount.major && disk.minor == mount.minor) {
        data.hardDisk = disk.number;
        data.partition = 0;
        data.removable = disk.removable;
      }
      for (const host::Partition& partition : disk.partitions) {
        if (partition.major == mount.major && partition.minor == mount.minor) {
          data.hardDisk = disk.number;
          data.partition = static_cast<int>(partition.number);
          data.removable = disk.removable;
        }
      }
    }
    data.mount = std::move(mount);
    const auto [at, inserted] = byMountPoint.emplace(data.mount.mountPoint, result.size());
    if (inserted) {
      result.push_back(std::move(data));
    } else {
      result[at->second] = std::move(data);  // mounted over: the one on top counts
    }
  }
  return result;
}

bool Uptime(const Host& host, DWORD* hundredths) {
  std::string text;
  if (!host.Read("/proc/uptime", &text, 4096)) return false;
  const auto words = host::Words(text);
  if (words.empty()) return false;
  const std::string_view value = words[0];
  const size_t dot = value.find('.');
  uint64_t seconds = 0, fraction = 0;
  if (!host::ParseUnsigned(value.substr(0, dot), &seconds, 10, UINT64_MAX / 100)) return false;
  if (dot != std::string_view::npos) {
    std::string digits(value.substr(dot + 1, 2));
    digits.resize(2, '0');
    if (!host::ParseUnsigned(digits, &fraction, 10, 99)) return false;
  }
  *hundredths = static_cast<DWORD>(seconds * 100 + fraction);  // wraps as TimeTicks do
  return true;
}

bool UserCount(const Host& host, DWORD* users) {
  std::string bytes;
  *users = 0;
  if (!host.Read("/run/utmp", &bytes) && !host.Read("/var/run/utmp", &bytes)) {
    return true;  // no login records: nobody is logged in
  }
  for (size_t at = 0; at + sizeof(struct utmp) <= bytes.size(); at += sizeof(struct utmp)) {
    struct utmp entry;
    std::memcpy(&entry, bytes.data() + at, sizeof(entry));
    if (entry.ut_type == USER_PROCESS && entry.ut_user[0] != '\0') ++*users;
  }
  return true;
}

bool MemoryBytes(const Host& host, ULONGLONG* bytes) {
  std::string meminfo;
  uint64_t total = 0;
  if (!host.Read("/proc/meminfo", &meminfo, 1 << 20) ||
      !MeminfoBytes(meminfo, "MemTotal:", &total)) {
    return false;
  }
  *bytes = total;
  return true;
}

SYSTEMTIME LastSoftwareChange(const Host& host) {
  int64_t newest = 0;
  for (const char* path : {"/var/lib/dpkg/status", "/etc/systemd/system", "/run/systemd/system",
                           "/lib/systemd/system", "/usr/lib/systemd/system"}) {
    int64_t seconds = 0;
    if (host.ModifiedTime(path, &seconds)) newest = std::max(newest, seconds);
  }
  return SystemTimeOf(newest);
}

std::vector<W32StorageRecord> Storage(const Host& host) {
  std::vector<W32StorageRecord> records;
  std::string meminfo;
  uint64_t total = 0, available = 0;
  if (host.Read("/proc/meminfo", &meminfo, 1 << 20) && MeminfoBytes(meminfo, "MemTotal:", &total)) {
    if (!MeminfoBytes(meminfo, "MemAvailable:", &available)) {
      MeminfoBytes(meminfo, "MemFree:", &available);
    }
    W32StorageRecord memory{};
    memory.type = kStorageRam;
    host::CopyWide(memory.description, "Physical memory");
    host::CopyWide(memory.label, "Physical memory");
    ChooseUnits(total, total - std::min(available, total), 1024, &memory.allocationUnits,
                &memory.size, &memory.used);
    records.push_back(memory);
  }
  std::string swaps;
  if (host.Read("/proc/swaps", &swaps, 1 << 20)) {
    bool header = true;
    ForEachLine(swaps, [&](std::string_view line) {
      if (header) {
        header = false;
        return;
      }
      const auto words = host::Words(line);
      uint64_t size = 0, used = 0;
      if (words.size() < 4 || !host::ParseUnsigned(words[2], &size, 10, UINT64_MAX / 1024) ||
          !host::ParseUnsigned(words[3], &used, 10, UINT64_MAX / 1024)) {
        return;
      }
      const auto parsed =
          host::ParseMountInfo("0 0 0:0 / " + std::string(words[0]) + " rw - swap swap rw");
      const std::string file = parsed.empty() ? std::string(words[0]) : parsed[0].mountPoint;
      W32StorageRecord swap{};
      swap.type = kStorageVirtualMemory;
      host::CopyWide(swap.description, "Swap space " + file);
      host::CopyWide(swap.label, file);
      ChooseUnits(size * 1024, used * 1024, 1024, &swap.allocationUnits, &swap.size, &swap.used);
      records.push_back(swap);
    });
  }
  for (const DataMount& data : DataMounts(host, host::ListDisks(host))) {
    W32StorageRecord fs{};
    fs.type = StorageType(data);
    host::CopyWide(fs.description, data.mount.mountPoint + " (" + data.mount.fsType + " " +
                                       data.mount.source + ")");
    host::CopyWide(fs.label, data.mount.mountPoint);
    const unsigned __int128 total =
        static_cast<unsigned __int128>(data.stats.blocks) * data.stats.blockSize;
    const unsigned __int128 free =
        static_cast<unsigned __int128>(std::min(data.stats.freeBlocks, data.stats.blocks)) *
        data.stats.blockSize;
    const uint64_t totalBytes = total > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(total);
    const uint64_t usedBytes =
        total - free > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(total - free);
    ChooseUnits(totalBytes, usedBytes, data.stats.blockSize, &fs.allocationUnits, &fs.size,
                &fs.used);
    fs.hardDisk = data.hardDisk;
    fs.partition = data.partition;
    records.push_back(fs);
  }
  return records;
}

std::vector<W32ProcessorRecord> Processors(const Host& host) {
  std::vector<W32ProcessorRecord> records;
  for (const Cpu& cpu : ListCpus(host)) {
    W32ProcessorRecord record{};
    record.firmwareId = NullId();
    record.firmwareId.length = 3;
    record.firmwareId.ids[2] = cpu.number;
    records.push_back(record);
  }
  return records;
}

std::vector<W32NetworkRecord> Networks(const Host& host) {
  std::vector<W32NetworkRecord> records;
  for (const NetInterface& net : ListInterfaces(host)) {
    W32NetworkRecord record{};
    std::memcpy(record.mac, net.mac, 6);
    record.interfaceIndex = net.ifindex;
    record.networkIndex = net.networkIndex;
    records.push_back(record);
  }
  return records;
}

std::vector<W32DiskStorageRecord> DiskStorage(const Host& host) {
  std::vector<W32DiskStorageRecord> records;
  for (const Disk& disk : host::ListDisks(host)) {
    W32DiskStorageRecord record{};
    host::CopyWide(record.name, disk.name);
    record.access = disk.readOnly || disk.media == host::kMediaOpticalRom ? 2 : 1;
    record.removable = disk.removable ? 1 : 0;
    record.capacity = KilobytesOf(disk.sizeBytes);
    record.signature = disk.signature;
    record.media = disk.media;
    record.hardDisk = disk.number;
    records.push_back(record);
  }
  return records;
}

std::vector<W32PartitionRecord> Partitions(const Host& host) {
  std::vector<W32PartitionRecord> records;
  for (const Disk& disk : host::ListDisks(host)) {
    for (const host::Partition& partition : disk.partitions) {
      W32PartitionRecord record{};
      record.hardDisk = disk.number;
      record.partition = static_cast<INT>(partition.number);
      host::CopyWide(record.label, "/dev/" + partition.name);
      record.size = KilobytesOf(partition.sizeBytes);
      record.type = partition.type;
      records.push_back(record);
    }
  }
  return records;
}

DWORD FileSystemType(const std::string& fsType) {
  static const std::map<std::string, DWORD> kTypes = {
      {"ext2", 23},     {"ext3", 23}, {"ext4", 23},   {"xfs", 11},     {"jfs", 11},   {"btrfs", 11},
      {"reiserfs", 11}, {"vfat", 22}, {"msdos", 5},   {"fat", 5},      {"exfat", 22}, {"ntfs", 9},
      {"ntfs3", 9},     {"hfs", 7},   {"hfsplus", 7}, {"iso9660", 12}, {"udf", 12},   {"nfs", 14},
      {"nfs4", 14},     {"afs", 16},  {"ufs", 3},     {"sysv", 4},     {"befs", 21}};
  const auto found = kTypes.find(fsType);
  return found == kTypes.end() ? 1 : found->second;
}

std::vector<W32FileSystemRecord> FileSystems(const Host& host) {
  std::vector<W32FileSystemRecord> records;
  const std::vector<DataMount> mounts = DataMounts(host, host::ListDisks(host));
  bool haveBoot = false;
  for (const DataMount& data : mounts) haveBoot |= data.mount.mountPoint == "/boot";
  for (const DataMount& data : mounts) {
    W32FileSystemRecord record{};
    record.hardDisk = data.hardDisk;
    record.partition = data.partition;
    record.type = FileSystemType(data.mount.fsType);
    record.access = data.mount.readOnly ? 2 : 1;
    record.bootable = data.mount.mountPoint == (haveBoot ? "/boot" : "/") ? 1 : 0;
    records.push_back(record);
  }
  return records;
}

std::vector<W32DeviceRecord> Devices(const Host& host) {
  std::vector<W32DeviceRecord> records;
  const auto base = [](DWORD type, const std::string& description, DWORD status) {
    W32DeviceRecord record{};
    record.type = type;
    host::CopyWide(record.description, description);
    record.deviceId = NullId();
    record.status = status;
    record.media = kMediaUnknown;
    return record;
  };
  for (const Cpu& cpu : ListCpus(host)) {
    W32DeviceRecord record =
        base(kDeviceProcessor, "Processor " + std::to_string(cpu.number) + ": " + cpu.model,
             kStatusRunning);
    record.firmwareId = NullId();
    record.firmwareId.length = 3;
    record.firmwareId.ids[2] = cpu.number;
    records.push_back(record);
  }
  for (const NetInterface& net : ListInterfaces(host)) {
    W32DeviceRecord record = base(
        kDeviceNetwork, net.driver.empty() ? net.name : net.name + ": " + net.driver, net.status);
    record.errors = net.errors;
    std::memcpy(record.mac, net.mac, 6);
    record.interfaceType = net.ifType;
    record.networkIndex = net.networkIndex;
    records.push_back(record);
  }
  for (const W32PrinterRecord& printer : Printers(host)) {
    const std::string name = host::Utf16ToUtf8(host::WideField(printer.name, 258));
    W32DeviceRecord record =
        base(kDevicePrinter, "Printer " + name, printer.status == 1 ? kStatusDown : kStatusRunning);
    host::CopyWide(record.printerName, name);
    records.push_back(record);
  }
  for (const Disk& disk : host::ListDisks(host)) {
    W32DeviceRecord record =
        base(kDeviceDiskStorage, disk.model + " (" + disk.name + ")", kStatusRunning);
    record.media = disk.media;
    record.hardDisk = disk.number;
    record.signature = disk.signature;
    records.push_back(record);
  }
  for (const InputDevice& input : host::ListInputDevices(host)) {
    if (input.kind == InputKind::kPointer) continue;  // the registry provider lists those
    records.push_back(base(input.kind == InputKind::kKeyboard ? kDeviceKeyboard : kDeviceOther,
                           input.name + " (" + input.node + ")",
                           input.disabled ? kStatusDown : kStatusRunning));
  }
  return records;
}

}  // namespace wl::winprob
