// The drive letters of this host: the values "X:" of the registry key HKLM
// "SYSTEM\CurrentControlSet\Control\Session Manager\DOS Devices", each a host
// directory; C: is "/" unless that key names it. Other mounted file systems get
// no letter of their own.
// Thread safety: may be called from any thread.
#pragma once

#include "live_source.h"

namespace wl::perf {

// The letters in order, upper case ("C:"), each with its host directory.
DriveList DosDeviceDrives();

}  // namespace wl::perf
