// Parser of /proc/self/mountinfo (proc(5)): one mount per line.
// Thread safety: pure function.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wl::host {

struct Mount {
  unsigned major = 0;  // of the device that backs the mount (0 for anonymous)
  unsigned minor = 0;
  std::string mountPoint;  // octal escapes ("\040") decoded
  std::string fsType;
  std::string source;
  bool readOnly = false;  // "ro" in the per-mount options
};

// Malformed lines are skipped.
std::vector<Mount> ParseMountInfo(std::string_view text);

}  // namespace wl::host
