#include "collect.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "block_devices.h"
#include "input_devices.h"
#include "text.h"
#include "unit_file.h"
#include "win32/registry.h"

namespace wl::regprob {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}
bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

DWORD StartOf(bool disabled) { return disabled ? kStartDisabled : kStartBound; }

const char* PciClassName(uint64_t classCode) {
  switch (classCode >> 8) {
    case 0x0300:
      return "VGA compatible controller";
    case 0x0301:
      return "XGA compatible controller";
    case 0x0302:
      return "3D controller";
    default:
      return "Display controller";
  }
}

}  // namespace

int InstallPath(std::u16string* path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex\\Wardenline\\CurrentVersion", 0,
                              KEY_READ, &key);
  if (status != ERROR_SUCCESS) return static_cast<int>(status);
  WCHAR buffer[MAX_PATH * 2 + 1] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer) - sizeof(WCHAR);
  status =
      RegQueryValueExW(key, u"PathName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return static_cast<int>(status);
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  *path = std::u16string(host::WideField(buffer, std::min<size_t>(size / 2, MAX_PATH * 2)));
  if (path->empty()) return ERROR_INVALID_DATA;
  return 0;
}

std::vector<RegScsiDiskRecord> ScsiDisks(const Host& host) {
  std::vector<RegScsiDiskRecord> records;
  for (const host::Disk& disk : host::ListDisks(host)) {
    if (!disk.scsiClass) continue;
    RegScsiDiskRecord record{};
    host::CopyWide(record.driver, disk.driver);
    host::CopyWide(record.name, disk.model);
    host::CopyWide(record.identifier, host::DiskIdentifier(disk));
    host::CopyWide(record.bus, disk.bus);
    record.media = disk.media;
    records.push_back(record);
  }
  return records;
}

std::vector<RegNonScsiDiskRecord> NonScsiDisks(const Host& host) {
  std::vector<RegNonScsiDiskRecord> records;
  for (const host::Disk& disk : host::ListDisks(host)) {
    if (disk.scsiClass || disk.media == host::kMediaRamDisk) continue;
    RegNonScsiDiskRecord record{};
    host::CopyWide(record.serial, disk.serial);
    host::CopyWide(record.firmware, disk.firmware);
    host::CopyWide(record.name, disk.model);
    host::CopyWide(record.identifier, host::DiskIdentifier(disk));
    host::CopyWide(record.bus, disk.bus);
    record.media = disk.media;
    records.push_back(record);
  }
  return records;
}

std::vector<RegKeyboardRecord> Keyboards(const Host& host) {
  std::vector<RegKeyboardRecord> records;
  for (const host::InputDevice& input : host::ListInputDevices(host)) {
    if (input.kind != host::InputKind::kKeyboard) continue;
    RegKeyboardRecord record{};
    host::CopyWide(record.driver, input.driver);
    host::CopyWide(record.deviceClass, "Keyboard");
    host::CopyWide(record.device, input.node);
    host::CopyWide(record.name, input.name);
    host::CopyWide(record.bus, input.bus);
    record.start = StartOf(input.disabled);
    records.push_back(record);
  }
  return records;
}

std::vector<RegPointerRecord> Pointers(const Host& host) {
  std::vector<RegPointerRecord> records;
  for (const host::InputDevice& input : host::ListInputDevices(host)) {
    if (input.kind != host::InputKind::kPointer) continue;
    RegPointerRecord record{};
    host::CopyWide(record.driver, input.driver);
    host::CopyWide(record.deviceClass, "Mouse");
    host::CopyWide(record.device, input.node);
    host::CopyWide(record.name, input.name);
    host::CopyWide(record.bus, input.bus);
    record.start = StartOf(input.disabled);
    host::CopyWide(record.description, input.name + " (" + input.node + ")");
    records.push_back(record);
  }
  return records;
}

std::vector<RegVideoRecord> Video(const Host& host) {
  std::vector<RegVideoRecord> records;
  for (const std::string& address : host.List("/sys/bus/pci/devices")) {
    const std::string sys = "/sys/bus/pci/devices/" + address;
    uint64_t classCode = 0;
    if (!host::ParseUnsigned(host.Attribute(sys + "/class"), &classCode, 16, 0xFFFFFF) ||
        (classCode >> 16) != 0x03) {
      continue;
    }
    uint64_t vendor = 0, device = 0;
    host::ParseUnsigned(host.Attribute(sys + "/vendor"), &vendor, 16, 0xFFFF);
    host::ParseUnsigned(host.Attribute(sys + "/device"), &device, 16, 0xFFFF);
    char ids[32];
    std::snprintf(ids, sizeof(ids), " [%04x:%04x]", static_cast<unsigned>(vendor),
                  static_cast<unsigned>(device));
    const std::string driver = host.LinkName(sys + "/driver");
    RegVideoRecord record{};
    host::CopyWide(record.driver, driver);
    host::CopyWide(record.name, PciClassName(classCode) + std::string(ids));
    record.vgaCompatible = (classCode >> 8) == 0x0300 && (classCode & 0xFF) == 0 ? 1 : 0;
    host::CopyWide(record.controller, driver.empty() ? "(no driver)" : driver);
    host::CopyWide(record.peripheral, address);
    host::CopyWide(record.bus, "PCI");
    record.start = StartOf(driver.empty());
    records.push_back(record);
  }
  return records;
}

std::vector<RegPortRecord> ParallelPorts(const Host& host) {
  std::vector<RegPortRecord> records;
  std::vector<std::string> ports = host.List("/proc/sys/dev/parport");
  std::sort(ports.begin(), ports.end(),
            [](const std::string& a, const std::string& b) { return host::NaturalLess(a, b); });
  for (const std::string& port : ports) {
    if (!StartsWith(port, "parport")) continue;
    const std::string base = "/proc/sys/dev/parport/" + port;
    const auto words = host::Words(host.Attribute(base + "/base-addr"));
    uint64_t address = 0;
    std::string controller = port;
    if (!words.empty() && host::ParseUnsigned(words[0], &address, 10, 0xFFFFFFFFu)) {
      char text[32];
      std::snprintf(text, sizeof(text), " at 0x%llX", static_cast<unsigned long long>(address));
      controller += text;
    }
    RegPortRecord record{};
    host::CopyWide(record.name, port);
    host::CopyWide(record.controller, controller);
    host::CopyWide(record.driver, "parport");
    host::CopyWide(record.bus, "ISA");
    record.start = kStartBound;
    records.push_back(record);
  }
  return records;
}

std::vector<RegSerialRecord> SerialPorts(const Host& host) {
  std::vector<RegSerialRecord> records;
  std::vector<std::string> names = host.List("/sys/class/tty");
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return host::NaturalLess(a, b); });
  for (const std::string& name : names) {
    const std::string sys = "/sys/class/tty/" + name;
    // Virtual terminals and pseudo terminals have no device behind them.
    if (!StartsWith(name, "tty") || host.LinkTarget(sys + "/device").empty()) continue;
    if (StartsWith(name, "ttyS")) {
      uint64_t type = 0;  // 0 is PORT_UNKNOWN: no UART answers at that address
      if (!host::ParseUnsigned(host.Attribute(sys + "/type"), &type) || type == 0) continue;
    }
    std::string controller = name;
    const std::string port = host.Attribute(sys + "/port");
    const std::string irq = host.Attribute(sys + "/irq");
    if (!port.empty() && port != "0x0") controller += " port " + port;
    if (!irq.empty() && irq != "0") controller += " irq " + irq;
    const std::string driver = host.LinkName(sys + "/device/driver");
    std::string bus = host.LinkName(sys + "/device/subsystem");
    RegSerialRecord record{};
    host::CopyWide(record.port.name, name);
    host::CopyWide(record.port.controller, controller);
    host::CopyWide(record.port.driver, driver);
    host::CopyWide(record.port.bus, bus.empty() ? "unknown" : bus);
    record.port.start = StartOf(driver.empty());
    records.push_back(record);
  }
  return records;
}

DWORD PackageType(const host::Package& package) {
  const std::string& name = package.name;
  const std::string& section = package.section;
  if (EndsWith(section, "kernel") || section.find("firmware") != std::string::npos ||
      StartsWith(name, "linux-image-") || StartsWith(name, "linux-modules-") ||
      StartsWith(name, "firmware-") || EndsWith(name, "-firmware")) {
    return kTypeDeviceDriver;
  }
  if (package.priority == "required" || package.essential) return kTypeOperatingSystem;
  return kTypeApplication;
}

std::vector<RegSoftwareRecord> Software(const Host& host) {
  std::vector<RegSoftwareRecord> records;
  std::string status;
  if (host.Read("/var/lib/dpkg/status", &status)) {
    std::vector<host::Package> packages = host::ParseDpkgStatus(status);
    std::stable_sort(packages.begin(), packages.end(),
                     [](const host::Package& a, const host::Package& b) {
                       return a.name != b.name ? a.name < b.name : a.architecture < b.architecture;
                     });
    records.reserve(packages.size());
    for (const host::Package& package : packages) {
      RegSoftwareRecord record{};
      record.kind = kSoftwarePackage;
      host::CopyWide(record.origin, "dpkg");
      host::CopyWide(record.name, package.name);
      uint32_t major = 0, minor = 0;
      host::VersionNumbers(package.version, &major, &minor);
      record.major = major;
      record.minor = minor;
      host::CopyWide(record.version, package.version);
      host::CopyWide(record.qualifier, package.architecture);
      record.type = PackageType(package);
      int64_t seconds = 0;
      const std::string info = "/var/lib/dpkg/info/" + package.name;
      if (host.ModifiedTime(info + ":" + package.architecture + ".list", &seconds) ||
          host.ModifiedTime(info + ".list", &seconds)) {
        record.installTime = static_cast<DWORD>(std::clamp<int64_t>(seconds, 0, 0xFFFFFFFF));
      }
      records.push_back(record);
    }
  }
  std::set<std::string> seen;
  std::vector<std::pair<std::string, std::string>> units;  // name, path
  for (const char* directory :
       {"/etc/systemd/system", "/run/systemd/system", "/usr/local/lib/systemd/system",
        "/lib/systemd/system", "/usr/lib/systemd/system"}) {
    for (const std::string& name : host.List(directory)) {
      if (!EndsWith(name, ".service") || !seen.insert(name).second) continue;
      units.emplace_back(name, std::string(directory) + "/" + name);
    }
  }
  std::sort(units.begin(), units.end());
  for (const auto& [name, path] : units) {
    std::string text;
    const bool masked = host.LinkTarget(path) == "/dev/null";
    if (!masked && !host.Read(path, &text, 1 << 20)) continue;  // vanished or unreadable
    const host::UnitInfo unit = host::ParseUnitFile(text);
    RegSoftwareRecord record{};
    record.kind = kSoftwareService;
    host::CopyWide(record.origin, path);
    host::CopyWide(record.name, name);
    host::CopyWide(record.displayName, unit.description);
    host::CopyWide(record.pathName, host::CommandProgram(unit.execStart));
    host::CopyWide(record.qualifier, "systemd");
    host::CopyWide(record.command, unit.execStart);
    record.type = kTypeApplication;
    int64_t seconds = 0;
    if (host.ModifiedTime(path, &seconds)) {
      record.installTime = static_cast<DWORD>(std::clamp<int64_t>(seconds, 0, 0xFFFFFFFF));
    }
    records.push_back(record);
  }
  return records;
}

}  // namespace wl::regprob
