// The machine's disks and their partitions, from /sys/block, the udev
// database (/run/udev/data) and, where udev has no answer, the disk's own
// first sectors (the MBR or the GPT header).
//
// Hard disks are numbered 1, 2, ... in the natural order of their kernel
// names, so the numbers stay the same while the hardware does. Loop, RAM,
// device-mapper and RAID devices are not disks: file systems on them are
// numbered by the storage provider as file systems off any partition.
// Thread safety: pure functions of the Host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host_root.h"

namespace wl::host {

// hrDiskStorageMedia values that the providers use.
enum : uint32_t { kMediaHardDisk = 3, kMediaOpticalRom = 5, kMediaRamDisk = 8 };

struct Partition {
  std::string name;     // "sda1"
  unsigned number = 0;  // the kernel's partition number
  unsigned major = 0;
  unsigned minor = 0;
  uint64_t sizeBytes = 0;
  uint32_t type = 0;  // MBR partition type byte where known
};

struct Disk {
  std::string name;  // "sda", "nvme0n1", "vda"
  int number = 0;    // hard disk number
  unsigned major = 0;
  unsigned minor = 0;
  uint64_t sizeBytes = 0;
  bool removable = false;
  bool readOnly = false;
  uint32_t media = kMediaHardDisk;
  bool scsiClass = false;  // sd or sr: a SCSI disk or CD-ROM
  std::string driver;      // "sd", "sr", "nvme", "virtio_blk", "mmcblk", ...
  std::string model;       // vendor and model
  std::string firmware;
  std::string serial;
  std::string bus;                 // "SCSI", "ATA", "USB", "NVMe", "virtio", "MMC", ...
  std::string tableKind = "NONE";  // "MBR", "GPT" or "NONE"
  uint32_t signature = 0;          // MBR signature or folded GPT disk identifier
  std::vector<Partition> partitions;
};

std::vector<Disk> ListDisks(const Host& host);

// The identifier of a disk: "<name>-<signature, 8 hex digits>-<table kind>".
std::string DiskIdentifier(const Disk& disk);

// A GPT disk identifier (16 bytes as stored on disk) folded to 32 bits: the
// exclusive or of its four little-endian 32-bit words.
uint32_t FoldGuidBytes(const unsigned char* bytes);
// The same from udev's text form "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"; an
// MBR signature ("1a2b3c4d" or "0x1a2b3c4d") reads as itself. False when the
// text is neither.
bool SignatureFromText(std::string_view text, uint32_t* signature);
// The partition table kind and signature from a disk's first bytes: `sector0`
// is its first logical sector, `sector1` the next (may be empty).
void SignatureFromSectors(std::string_view sector0, std::string_view sector1,
                          std::string* tableKind, uint32_t* signature);

}  // namespace wl::host
