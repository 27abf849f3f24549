// A small machine laid out in a temporary directory: files of /proc, /sys,
// /var and /etc as the providers read them, removed at the end of the test.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class HostTree {
 public:
  HostTree() {
    char pattern[] = "/tmp/wlhost_tree_XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~HostTree() { std::filesystem::remove_all(root_); }
  const std::string& root() const { return root_; }

  void Write(const std::string& path, const std::string& content) const {
    const std::filesystem::path full = root_ + path;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << content;
  }
  void Link(const std::string& path, const std::string& target) const {
    const std::filesystem::path full = root_ + path;
    std::filesystem::create_directories(full.parent_path());
    std::filesystem::create_directory_symlink(target, full);
  }
  void Dir(const std::string& path) const { std::filesystem::create_directories(root_ + path); }
  void SetTime(const std::string& path, time_t seconds) const {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    utimensat(AT_FDCWD, (root_ + path).c_str(), times, 0);
  }

 private:
  std::string root_;
};

// A machine of two disks (sda with an MBR and one partition holding "/", sdb
// of 20 TB without a partition table holding "/data"), an NFS mount, tmpfs
// mounted twice on /tmp, pseudo file systems, a keyboard whose driver is
// unbound, a USB mouse, a network interface, a display adapter without a
// driver, two serial ports of which one has a UART, four packages and a
// service unit.
inline void LayOutMachine(const HostTree& tree) {
  tree.Write("/proc/meminfo",
             "MemTotal:       1073741824 kB\nMemFree: 1 kB\n"
             "MemAvailable:    536870912 kB\n");
  tree.Write("/proc/uptime", "12345.67 100.00\n");
  tree.Write("/proc/cpuinfo",
             "processor\t: 0\nmodel name\t: Test CPU @ 1GHz\n\nprocessor\t: 1\n"
             "model name\t: Test CPU @ 1GHz\n\n");
  tree.Write("/proc/swaps",
             "Filename\tType\tSize\tUsed\tPriority\n/swap\\040file file 1048576 1024 -2\n");
  tree.Write("/proc/self/mountinfo",
             "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
             "2 1 8:16 / /data rw - xfs /dev/sdb rw\n"
             "3 1 0:40 / /srv/nfs rw - nfs4 server:/export rw\n"
             "4 1 0:41 / /tmp rw - tmpfs tmpfs rw\n"
             "5 1 0:5 / /proc rw - proc proc rw\n"
             "6 1 0:6 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
             "7 1 0:42 / /tmp rw - tmpfs tmpfs2 rw\n"
             "8 1 0:43 / /vanished rw - ext4 /dev/x rw\n");
  tree.Write("/sys/block/sda/dev", "8:0\n");
  tree.Write("/sys/block/sda/size", "2097152\n");
  tree.Write("/sys/block/sda/removable", "0\n");
  tree.Write("/sys/block/sda/ro", "0\n");
  tree.Write("/sys/block/sda/device/vendor", "ATA     \n");
  tree.Write("/sys/block/sda/device/model", "Disk One        \n");
  tree.Write("/sys/block/sda/device/rev", "1.0\n");
  tree.Write("/sys/block/sda/sda1/partition", "1\n");
  tree.Write("/sys/block/sda/sda1/dev", "8:1\n");
  tree.Write("/sys/block/sda/sda1/size", "2048\n");
  std::string mbr(1024, '\0');
  mbr[440] = '\x4d', mbr[441] = '\x3c', mbr[442] = '\x2b', mbr[443] = '\x1a';
  mbr[446 + 4] = '\x83';
  mbr[510] = '\x55', mbr[511] = '\xAA';
  tree.Write("/dev/sda", mbr);
  tree.Write("/sys/block/sdb/dev", "8:16\n");
  tree.Write("/sys/block/sdb/size", "39062500000\n");  // 20 TB
  tree.Write("/sys/block/sdb/removable", "0\n");
  tree.Write("/sys/block/sdb/ro", "0\n");
  tree.Write("/sys/block/sdb/device/model", "Big\n");
  tree.Write("/dev/sdb", std::string(1024, '\0'));
  tree.Write("/sys/block/loop0/dev", "7:0\n");
  tree.Write("/sys/class/net/eth0/ifindex", "7\n");
  tree.Write("/sys/class/net/eth0/address", "02:00:00:00:00:07\n");
  tree.Write("/sys/class/net/eth0/type", "1\n");
  tree.Write("/sys/class/net/eth0/operstate", "up\n");
  tree.Write("/sys/class/input/input0/name", "AT Translated Set 2 keyboard\n");
  tree.Write("/sys/class/input/input0/capabilities/ev", "120013\n");
  tree.Write("/sys/class/input/input0/capabilities/key",
             "402000000 3803078f800d001 feffffdfffefffff fffffffffffffffe\n");
  tree.Write("/sys/class/input/input0/id/bustype", "0011\n");
  tree.Dir("/sys/devices/serio0");
  tree.Link("/sys/class/input/input0/device", "../../../devices/serio0");
  tree.Write("/sys/class/input/input1/name", "USB Mouse\n");
  tree.Write("/sys/class/input/input1/capabilities/ev", "17\n");
  tree.Write("/sys/class/input/input1/capabilities/key", "70000 0 0 0 0\n");
  tree.Write("/sys/class/input/input1/capabilities/rel", "103\n");
  tree.Write("/sys/class/input/input1/id/bustype", "0003\n");
  tree.Dir("/sys/devices/usb1");
  tree.Link("/sys/devices/usb1/driver", "../../bus/usb/drivers/usbhid");
  tree.Link("/sys/class/input/input1/device", "../../../devices/usb1");
  tree.Write("/sys/bus/pci/devices/0000:00:02.0/class", "0x030000\n");
  tree.Write("/sys/bus/pci/devices/0000:00:02.0/vendor", "0x1234\n");
  tree.Write("/sys/bus/pci/devices/0000:00:02.0/device", "0x1111\n");
  tree.Write("/sys/bus/pci/devices/0000:00:03.0/class", "0x020000\n");
  tree.Write("/sys/class/tty/ttyS0/type", "4\n");
  tree.Write("/sys/class/tty/ttyS0/port", "0x3F8\n");
  tree.Write("/sys/class/tty/ttyS0/irq", "4\n");
  tree.Dir("/sys/devices/serial0");
  tree.Link("/sys/devices/serial0/driver", "../../bus/platform/drivers/serial8250");
  tree.Link("/sys/class/tty/ttyS0/device", "../../../devices/serial0");
  tree.Write("/sys/class/tty/ttyS1/type", "0\n");
  tree.Link("/sys/class/tty/ttyS1/device", "../../../devices/serial0");
  tree.Write("/sys/class/tty/tty1/dev", "4:1\n");
  tree.Write("/var/lib/dpkg/status",
             "Package: libc6\nStatus: install ok installed\nPriority: required\n"
             "Architecture: amd64\nMulti-Arch: same\nVersion: 2.36-9+deb12u4\n\n"
             "Package: hello\nStatus: install ok installed\nPriority: optional\n"
             "Architecture: amd64\nVersion: 2.10-3\n\n"
             "Package: bind9\nStatus: install ok installed\nPriority: optional\n"
             "Architecture: amd64\nVersion: 1:9.18.19-1~deb12u1\n\n"
             "Package: firmware-linux-free\nStatus: install ok installed\nSection: kernel\n"
             "Architecture: all\nVersion: 20200122-1\n");
  tree.Write("/var/lib/dpkg/info/libc6:amd64.list", "/.\n");
  tree.SetTime("/var/lib/dpkg/info/libc6:amd64.list", 1700000000);
  tree.Write("/var/lib/dpkg/info/bind9.list", "/.\n");
  tree.SetTime("/var/lib/dpkg/info/bind9.list", 1600000000);
  tree.Write("/lib/systemd/system/ssh.service",
             "[Unit]\nDescription=Packaged\n[Service]\nExecStart=/usr/sbin/sshd -D\n");
  tree.Write("/etc/systemd/system/ssh.service",
             "[Unit]\nDescription=OpenBSD Secure Shell server\n[Service]\n"
             "ExecStart=/usr/sbin/sshd -D $SSHD_OPTS\n");
  tree.Write("/lib/systemd/system/ssh.socket", "[Unit]\n");
}
