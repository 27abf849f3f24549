// The live performance data of this Linux host, read from /proc, /sys and the
// file systems of the drive letters (docs/perfdata.md lists every object and
// counter with its source). Each query reads every file it needs once.
// Thread safety: every function may be called from any thread; calls share no
// mutable state.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "wlperf/block_builder.h"

namespace wl::perf {

// The timer frequency of live blocks: PerfTime and the disk timers count
// milliseconds, the resolution of the kernel's disk statistics.
inline constexpr LONGLONG kLivePerfFreq = 1000;

// Where the kernel's files are; tests and the benchmark point these at copies.
struct LivePaths {
  std::string proc = "/proc";
  std::string sys = "/sys";
};

// A drive letter ("C:") and the host directory it stands for.
using DriveList = std::vector<std::pair<std::string, std::string>>;

// The objects this host produces, in the order "Global" lists them.
const std::vector<DWORD>& LiveObjectIndexes();

// The objects among `wanted` (title indexes, without repeats) that this host
// has, in the order of `wanted`.
std::vector<wlperf::ObjectSpec> CollectLiveObjects(const std::vector<DWORD>& wanted,
                                                   const LivePaths& paths, const DriveList& drives);

}  // namespace wl::perf
