#include "block_devices.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "text.h"

namespace wl::host {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool DeviceNumbers(const Host& host, const std::string& sysPath, unsigned* major, unsigned* minor) {
  const std::string dev = host.Attribute(sysPath + "/dev");
  const size_t colon = dev.find(':');
  uint64_t a = 0, b = 0;
  if (colon == std::string::npos || !ParseUnsigned(dev.substr(0, colon), &a, 10, 0xFFFFFFFFu) ||
      !ParseUnsigned(dev.substr(colon + 1), &b, 10, 0xFFFFFFFFu)) {
    return false;
  }
  *major = static_cast<unsigned>(a);
  *minor = static_cast<unsigned>(b);
  return true;
}

uint64_t SectorsAsBytes(const Host& host, const std::string& path) {
  uint64_t sectors = 0;
  if (!ParseUnsigned(host.Attribute(path), &sectors, 10, UINT64_MAX / 512)) return 0;
  return sectors * 512;
}

// The udev database's properties ("E:KEY=value") of a block device.
std::map<std::string, std::string> UdevProperties(const Host& host, unsigned major,
                                                  unsigned minor) {
  std::map<std::string, std::string> properties;
  std::string text;
  if (!host.Read("/run/udev/data/b" + std::to_string(major) + ":" + std::to_string(minor), &text,
                 1 << 20)) {
    return properties;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(start, end - start);
    start = end + 1;
    if (!StartsWith(line, "E:")) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    properties.emplace(std::string(line.substr(2, equals - 2)),
                       std::string(line.substr(equals + 1)));
  }
  return properties;
}

bool IsDiskName(std::string_view name) {
  for (const char* skipped : {"loop", "ram", "dm-", "md", "fd"}) {
    if (StartsWith(name, skipped)) return false;
  }
  return true;
}

std::string Joined(std::string a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + " " + b;
}

// The serial number of VPD page 0x80 (unit serial number) as the kernel exposes it.
std::string VpdSerial(const std::string& page) {
  if (page.size() < 4) return {};
  const size_t length = std::min<size_t>(static_cast<unsigned char>(page[3]), page.size() - 4);
  std::string serial;
  for (size_t i = 0; i < length; ++i) {
    const char c = page[4 + i];
    if (c >= 0x20 && c < 0x7F) serial.push_back(c);
  }
  return std::string(Trim(serial));
}

void Describe(const Host& host, Disk* disk) {
  const std::string sys = "/sys/block/" + disk->name;
  const std::string device = sys + "/device";
  const std::string devicePath = host.LinkTarget(device);
  if (StartsWith(disk->name, "sd") || StartsWith(disk->name, "sr")) {
    disk->scsiClass = true;
    disk->driver = disk->name.substr(0, 2);
    disk->model = Joined(host.Attribute(device + "/vendor"), host.Attribute(device + "/model"));
    disk->firmware = host.Attribute(device + "/rev");
    std::string page;
    if (host.Read(device + "/vpd_pg80", &page, 4096)) disk->serial = VpdSerial(page);
    if (devicePath.find("/usb") != std::string::npos) {
      disk->bus = "USB";
    } else if (devicePath.find("/ata") != std::string::npos) {
      disk->bus = "ATA";
    } else if (devicePath.find("/virtio") != std::string::npos) {
      disk->bus = "virtio SCSI";
    } else {
      disk->bus = "SCSI";
    }
  } else if (StartsWith(disk->name, "nvme")) {
    disk->driver = "nvme";
    disk->bus = "NVMe";
    disk->model = host.Attribute(device + "/model");
    disk->firmware = host.Attribute(device + "/firmware_rev");
    disk->serial = host.Attribute(device + "/serial");
  } else if (StartsWith(disk->name, "mmcblk")) {
    disk->driver = "mmcblk";
    disk->bus = "MMC";
    disk->model = host.Attribute(device + "/name");
    disk->firmware = host.Attribute(device + "/fwrev");
    disk->serial = host.Attribute(device + "/serial");
  } else if (StartsWith(disk->name, "vd")) {
    disk->driver = "virtio_blk";
    disk->bus = "virtio";
    disk->model = "Virtio block device";
    disk->serial = host.Attribute(sys + "/serial");
  } else {
    disk->driver = host.LinkName(device + "/driver");
    if (disk->driver.empty()) disk->driver = disk->name;
    disk->bus = StartsWith(disk->name, "zram") ? "memory" : "other";
    disk->model =
        StartsWith(disk->name, "zram") ? "Compressed RAM disk" : host.Attribute(device + "/model");
  }
  if (disk->model.empty()) disk->model = disk->name;
}

void ReadSignature(const Host& host, Disk* disk, const std::map<std::string, std::string>& udev,
                   std::string* sector0) {
  const auto uuid = udev.find("ID_PART_TABLE_UUID");
  const auto type = udev.find("ID_PART_TABLE_TYPE");
  if (uuid != udev.end() && SignatureFromText(uuid->second, &disk->signature)) {
    disk->tableKind = type != udev.end() && type->second == "gpt" ? "GPT" : "MBR";
    return;
  }
  if (disk->media != kMediaHardDisk || disk->sizeBytes == 0) return;
  uint64_t sectorSize = 512;
  ParseUnsigned(host.Attribute("/sys/block/" + disk->name + "/queue/logical_block_size"),
                &sectorSize, 10, 65536);
  if (sectorSize < 512) sectorSize = 512;
  std::string first;
  if (!host.ReadAt("/dev/" + disk->name, 0, 2 * sectorSize, &first)) {
    if (!host.ReadAt("/dev/" + disk->name, 0, sectorSize, &first)) return;
  }
  *sector0 = first.substr(0, sectorSize);
  SignatureFromSectors(*sector0, std::string_view(first).substr(std::min(first.size(), sectorSize)),
                       &disk->tableKind, &disk->signature);
}

}  // namespace

uint32_t FoldGuidBytes(const unsigned char* bytes) {
  return Le32(bytes) ^ Le32(bytes + 4) ^ Le32(bytes + 8) ^ Le32(bytes + 12);
}

bool SignatureFromText(std::string_view text, uint32_t* signature) {
  text = Trim(text);
  uint64_t value = 0;
  if (text.size() <= 10 && ParseUnsigned(text, &value, 16, 0xFFFFFFFFu)) {
    *signature = static_cast<uint32_t>(value);
    return true;
  }
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
      text[23] != '-') {
    return false;
  }
  std::string hex;
  for (const char c : text) {
    if (c != '-') hex.push_back(c);
  }
  unsigned char bytes[16];
  for (size_t i = 0; i < 16; ++i) {
    if (!ParseUnsigned(std::string_view(hex).substr(2 * i, 2), &value, 16, 255)) return false;
    bytes[i] = static_cast<unsigned char>(value);
  }
  // The first three groups are stored little-endian on disk.
  std::reverse(bytes, bytes + 4);
  std::reverse(bytes + 4, bytes + 6);
  std::reverse(bytes + 6, bytes + 8);
  *signature = FoldGuidBytes(bytes);
  return true;
}

void SignatureFromSectors(std::string_view sector0, std::string_view sector1,
                          std::string* tableKind, uint32_t* signature) {
  *tableKind = "NONE";
  *signature = 0;
  if (sector0.size() < 512) return;
  const auto* s = reinterpret_cast<const unsigned char*>(sector0.data());
  if (s[510] != 0x55 || s[511] != 0xAA) return;
  bool protective = false;
  for (int entry = 0; entry < 4; ++entry) {
    if (s[446 + 16 * entry + 4] == 0xEE) protective = true;
  }
  if (protective && sector1.size() >= 72 && sector1.substr(0, 8) == "EFI PART") {
    *tableKind = "GPT";
    *signature = FoldGuidBytes(reinterpret_cast<const unsigned char*>(sector1.data()) + 56);
    return;
  }
  *tableKind = "MBR";
  *signature = Le32(s + 440);
}

std::string DiskIdentifier(const Disk& disk) {
  char signature[16];
  std::snprintf(signature, sizeof(signature), "%08X", disk.signature);
  return disk.name + "-" + signature + "-" + disk.tableKind;
}

std::vector<Disk> ListDisks(const Host& host) {
  std::vector<std::string> names = host.List("/sys/block");
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& name) { return !IsDiskName(name); }),
              names.end());
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
  std::vector<Disk> disks;
  for (const std::string& name : names) {
    const std::string sys = "/sys/block/" + name;
    Disk disk;
    disk.name = name;
    if (!DeviceNumbers(host, sys, &disk.major, &disk.minor)) continue;  // vanished
    disk.sizeBytes = SectorsAsBytes(host, sys + "/size");
    if (StartsWith(name, "nbd") && disk.sizeBytes == 0) continue;
    disk.removable = host.Attribute(sys + "/removable") == "1";
    disk.readOnly = host.Attribute(sys + "/ro") == "1";
    if (StartsWith(name, "sr")) {
      disk.media = kMediaOpticalRom;
      disk.removable = true;
    } else if (StartsWith(name, "zram")) {
      disk.media = kMediaRamDisk;
    }
    Describe(host, &disk);
    const auto udev = UdevProperties(host, disk.major, disk.minor);
    const auto serial = udev.find("ID_SERIAL_SHORT");
    if (disk.serial.empty() && serial != udev.end()) disk.serial = serial->second;
    std::string sector0;
    ReadSignature(host, &disk, udev, &sector0);
    for (const std::string& entry : host.List(sys)) {
      if (!StartsWith(entry, name)) continue;
      Partition partition;
      partition.name = entry;
      uint64_t number = 0;
      if (!ParseUnsigned(host.Attribute(sys + "/" + entry + "/partition"), &number, 10, 1u << 20)) {
        continue;
      }
      partition.number = static_cast<unsigned>(number);
      if (!DeviceNumbers(host, sys + "/" + entry, &partition.major, &partition.minor)) continue;
      partition.sizeBytes = SectorsAsBytes(host, sys + "/" + entry + "/size");
      const auto props = UdevProperties(host, partition.major, partition.minor);
      const auto type = props.find("ID_PART_ENTRY_TYPE");
      uint64_t typeByte = 0;
      if (type != props.end() && ParseUnsigned(type->second, &typeByte, 16, 255)) {
        partition.type = static_cast<uint32_t>(typeByte);
      } else if (disk.tableKind == "MBR" && sector0.size() >= 512 && number >= 1 && number <= 4) {
        partition.type = static_cast<unsigned char>(sector0[446 + 16 * (number - 1) + 4]);
      }
      disk.partitions.push_back(std::move(partition));
    }
    std::sort(disk.partitions.begin(), disk.partitions.end(),
              [](const Partition& a, const Partition& b) { return a.number < b.number; });
    disks.push_back(std::move(disk));
  }
  for (size_t i = 0; i < disks.size(); ++i) disks[i].number = static_cast<int>(i + 1);
  return disks;
}

}  // namespace wl::host
