// libregprob.so's answers on a laid-out machine and on this one, and its
// exports: the install root from our registry, handles and ownership.
#include "regprob.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>

#include "providers/hostinfo/tests/host_tree.h"
#include "block_devices.h"
#include "collect.h"
#include "text.h"
#include "win32/registry.h"

namespace wl::regprob {
namespace {

std::string Text(const WCHAR* field, size_t capacity = 257) {
  return host::Utf16ToUtf8(host::WideField(field, capacity));
}

// The signature as the consumer reads it: the middle "-" field in hexadecimal.
uint32_t MiddleField(const std::string& identifier) {
  const size_t dash = identifier.find('-');
  if (dash == std::string::npos) return 0;
  return static_cast<uint32_t>(std::stoul(identifier.substr(dash + 1), nullptr, 16));
}

class RegprobMachine : public ::testing::Test {
 protected:
  RegprobMachine() : host(tree.root()) { LayOutMachine(tree); }
  HostTree tree;
  host::Host host;
};

TEST_F(RegprobMachine, DisksCarryTheirSignatureInTheIdentifier) {
  const std::vector<RegScsiDiskRecord> scsi = ScsiDisks(host);
  ASSERT_EQ(2u, scsi.size());
  EXPECT_EQ("sd", Text(scsi[0].driver));
  EXPECT_EQ("ATA Disk One", Text(scsi[0].name));
  EXPECT_EQ("sda-1A2B3C4D-MBR", Text(scsi[0].identifier));
  EXPECT_EQ(0x1a2b3c4du, MiddleField(Text(scsi[0].identifier)));
  EXPECT_EQ("sdb-00000000-NONE", Text(scsi[1].identifier));  // a disk with no signature
  EXPECT_EQ(0u, MiddleField(Text(scsi[1].identifier)));
  EXPECT_EQ(3u, scsi[1].media);
  EXPECT_TRUE(NonScsiDisks(host).empty());

  // An NVMe disk whose udev record gives its GPT disk identifier.
  tree.Write("/sys/block/nvme0n1/dev", "259:0\n");
  tree.Write("/sys/block/nvme0n1/size", "1000\n");
  tree.Write("/sys/block/nvme0n1/device/model", "Fast\n");
  tree.Write("/sys/block/nvme0n1/device/firmware_rev", "FW1\n");
  tree.Write("/sys/block/nvme0n1/device/serial", "S123\n");
  tree.Write("/run/udev/data/b259:0",
             "S:disk/by-id/x\nE:ID_PART_TABLE_TYPE=gpt\n"
             "E:ID_PART_TABLE_UUID=12345678-9abc-def0-0102-030405060708\n");
  const std::vector<RegNonScsiDiskRecord> nvme = NonScsiDisks(host);
  ASSERT_EQ(1u, nvme.size());
  EXPECT_EQ("Fast", Text(nvme[0].name));
  EXPECT_EQ("FW1", Text(nvme[0].firmware));
  EXPECT_EQ("S123", Text(nvme[0].serial));
  EXPECT_EQ("NVMe", Text(nvme[0].bus));
  EXPECT_EQ(0x12345678u ^ 0xdef09abcu ^ 0x04030201u ^ 0x08070605u,
            MiddleField(Text(nvme[0].identifier)));
}

TEST_F(RegprobMachine, InputVideoAndPorts) {
  const std::vector<RegKeyboardRecord> keyboards = Keyboards(host);
  ASSERT_EQ(1u, keyboards.size());
  EXPECT_EQ(kStartDisabled, keyboards[0].start);  // no driver bound to serio0
  EXPECT_EQ("AT Translated Set 2 keyboard", Text(keyboards[0].name));
  EXPECT_EQ("I8042", Text(keyboards[0].bus));
  const std::vector<RegPointerRecord> pointers = Pointers(host);
  ASSERT_EQ(1u, pointers.size());
  EXPECT_EQ(kStartBound, pointers[0].start);
  EXPECT_EQ("usbhid", Text(pointers[0].driver));
  EXPECT_EQ("USB", Text(pointers[0].bus));

  const std::vector<RegVideoRecord> video = Video(host);
  ASSERT_EQ(1u, video.size());
  EXPECT_EQ("0000:00:02.0", Text(video[0].peripheral));
  EXPECT_EQ(1u, video[0].vgaCompatible);
  EXPECT_EQ(kStartDisabled, video[0].start);
  EXPECT_EQ("VGA compatible controller [1234:1111]", Text(video[0].name));

  const std::vector<RegSerialRecord> serial = SerialPorts(host);
  ASSERT_EQ(1u, serial.size());  // ttyS1 has no UART, tty1 is a console
  EXPECT_EQ("ttyS0", Text(serial[0].port.name));
  EXPECT_EQ("ttyS0 port 0x3F8 irq 4", Text(serial[0].port.controller));
  EXPECT_EQ("serial8250", Text(serial[0].port.driver));
  EXPECT_EQ(kStartBound, serial[0].port.start);
  EXPECT_TRUE(ParallelPorts(host).empty());
}

TEST_F(RegprobMachine, PackagesAndServices) {
  const std::vector<RegSoftwareRecord> software = Software(host);
  ASSERT_EQ(5u, software.size());
  std::vector<std::string> names;
  for (const RegSoftwareRecord& record : software) names.push_back(Text(record.name));
  EXPECT_EQ(
      (std::vector<std::string>{"bind9", "firmware-linux-free", "hello", "libc6", "ssh.service"}),
      names);
  const RegSoftwareRecord& bind = software[0];  // epoch and revision
  EXPECT_EQ(kSoftwarePackage, bind.kind);
  EXPECT_EQ("1:9.18.19-1~deb12u1", Text(bind.version));
  EXPECT_EQ(9u, bind.major);
  EXPECT_EQ(18u, bind.minor);
  EXPECT_EQ(kTypeApplication, bind.type);
  EXPECT_EQ(1600000000u, bind.installTime);
  EXPECT_EQ("amd64", Text(bind.qualifier));
  EXPECT_EQ(kTypeDeviceDriver, software[1].type);
  EXPECT_EQ(0u, software[2].installTime);  // no file list
  EXPECT_EQ(kTypeOperatingSystem, software[3].type);
  EXPECT_EQ(1700000000u, software[3].installTime);  // from "libc6:amd64.list"

  const RegSoftwareRecord& ssh = software[4];  // the local unit overrides the packaged one
  EXPECT_EQ(kSoftwareService, ssh.kind);
  EXPECT_EQ("OpenBSD Secure Shell server", Text(ssh.displayName));
  EXPECT_EQ("/usr/sbin/sshd", Text(ssh.pathName, 517));
  EXPECT_EQ("/usr/sbin/sshd -D $SSHD_OPTS", Text(ssh.command, 514));
  EXPECT_EQ("/etc/systemd/system/ssh.service", Text(ssh.origin));
}

class RegprobExports : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("WARDENLINE_REGISTRY", (tree.root() + "/registry.db").c_str(), 1);
    unsetenv("WARDENLINE_PROVIDERS");
    unsetenv("WARDENLINE_HOST_ROOT");
    ASSERT_EQ(1, REGPROB_GetSupportedVersions(nullptr));
    ASSERT_EQ(0, RegRegister(&handle));
  }
  void TearDown() override { EXPECT_EQ(0, RegDeregister(handle)); }
  HostTree tree;
  WORD handle = 0;
};

TEST_F(RegprobExports, InstallRootAndThisMachine) {
  WCHAR* path = nullptr;
  EXPECT_NE(0, RegGetWardenlinePathName(handle, &path));  // not installed yet
  EXPECT_EQ(nullptr, path);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex\\Wardenline\\CurrentVersion", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const char root[] = "/opt/wardenline";
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "PathName", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(root), sizeof(root)));
  RegCloseKey(key);
  ASSERT_EQ(0, RegGetWardenlinePathName(handle, &path));
  EXPECT_EQ(u"/opt/wardenline", std::u16string(path));
  EXPECT_EQ(0, RegFreeResource(handle, path));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegFreeResource(handle, path));

  // Every installed package of this machine, then its service units. The
  // package database may change under the test (an installation elsewhere):
  // compare only when it read the same before and after the call.
  const auto installedPackages = [](std::string* status) {
    EXPECT_TRUE(host::Host("/").Read("/var/lib/dpkg/status", status));
    int installed = 0;
    for (size_t at = status->find("\nStatus: "); at != std::string::npos;
         at = status->find("\nStatus: ", at + 1)) {
      const size_t end = status->find('\n', at + 1);
      installed += end != std::string::npos && status->compare(end - 10, 10, " installed") == 0;
    }
    return installed;
  };
  RegSoftwareRecord* software = nullptr;
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::string before, after;
    const int installed = installedPackages(&before);
    const int count = RegGetSoftwareInstalled(handle, &software, nullptr);
    installedPackages(&after);
    int packages = 0;
    for (int i = 0; i < count; ++i) packages += software[i].kind == kSoftwarePackage;
    EXPECT_EQ(0, RegFreeResource(handle, software));
    if (before != after) continue;
    EXPECT_EQ(installed, packages);
    break;
  }
}

}  // namespace
}  // namespace wl::regprob
