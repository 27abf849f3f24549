// The live answers of libregprob.so, read from the Linux machine under a Host
// root (and, for the install root, from our registry).
// Thread safety: pure functions of the Host.
#pragma once

#include <string>
#include <vector>

#include "dpkg_status.h"
#include "host_root.h"
#include "regprob.h"

namespace wl::regprob {

using host::Host;

// HKLM "Software\Tarvex\Wardenline\CurrentVersion" "PathName"; 0 or a Win32 error.
int InstallPath(std::u16string* path);

std::vector<RegScsiDiskRecord> ScsiDisks(const Host& host);
std::vector<RegNonScsiDiskRecord> NonScsiDisks(const Host& host);
std::vector<RegKeyboardRecord> Keyboards(const Host& host);
std::vector<RegVideoRecord> Video(const Host& host);
std::vector<RegPortRecord> ParallelPorts(const Host& host);
std::vector<RegPointerRecord> Pointers(const Host& host);
std::vector<RegSerialRecord> SerialPorts(const Host& host);
// Debian packages sorted by name, then service units sorted by name.
std::vector<RegSoftwareRecord> Software(const Host& host);

// kTypeDeviceDriver for kernel and firmware packages, kTypeOperatingSystem
// for the base system (Priority required, or Essential), else kTypeApplication.
DWORD PackageType(const host::Package& package);

}  // namespace wl::regprob
