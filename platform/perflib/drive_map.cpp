#include "drive_map.h"

namespace wl::perf {

DriveList DosDeviceDrives() { return {{"C:", "/"}}; }

}  // namespace wl::perf
