#include "live_source.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "live_objects.h"
#include "proc_text.h"
#include "title_indexes.h"

namespace wl::perf {
namespace {

// The kernel files of one query, each read at most once however many objects
// need it.
class QueryFiles {
 public:
  explicit QueryFiles(const LivePaths& paths) : paths_(paths) {}
  const std::string& Stat() { return Read(stat_, paths_.proc + "/stat"); }
  const std::string& MemInfo() { return Read(meminfo_, paths_.proc + "/meminfo"); }
  const std::string& NetDev() { return Read(netDev_, paths_.proc + "/net/dev"); }
  const std::vector<DiskRecord>& Disks() {
    if (!disks_) disks_ = ParseDiskStats(Read(diskstats_, paths_.proc + "/diskstats"), paths_.sys);
    return *disks_;
  }

 private:
  static const std::string& Read(std::optional<std::string>& slot, const std::string& path) {
    if (!slot) {
      slot.emplace();
      if (!ReadTextFile(path, &*slot)) slot->clear();
    }
    return *slot;
  }
  const LivePaths& paths_;
  std::optional<std::string> stat_, meminfo_, netDev_, diskstats_;
  std::optional<std::vector<DiskRecord>> disks_;
};

}  // namespace

const std::vector<DWORD>& LiveObjectIndexes() {
  using namespace title;
  static const std::vector<DWORD> indexes = {
      kProcessor, kSystem, kMemory, kLogicalDisk, kPhysicalDisk, kProcess, kNetworkInterface};
  return indexes;
}

std::vector<wlperf::ObjectSpec> CollectLiveObjects(const std::vector<DWORD>& wanted,
                                                   const LivePaths& paths,
                                                   const DriveList& drives) {
  using namespace title;
  QueryFiles files(paths);
  std::vector<wlperf::ObjectSpec> objects;
  std::vector<DWORD> done;
  for (DWORD index : wanted) {
    if (std::find(done.begin(), done.end(), index) != done.end()) continue;
    done.push_back(index);
    switch (index) {
      case kProcessor:
        objects.push_back(ProcessorObject(files.Stat(), ClockTicksPerSecond()));
        break;
      case kSystem:
        objects.push_back(SystemObject(files.Disks(), files.Stat()));
        break;
      case kMemory:
        objects.push_back(MemoryObject(files.MemInfo()));
        break;
      case kLogicalDisk:
        objects.push_back(LogicalDiskObject(ReadVolumes(drives)));
        break;
      case kPhysicalDisk:
        objects.push_back(PhysicalDiskObject(files.Disks()));
        break;
      case kProcess:
        objects.push_back(ProcessObject(paths.proc, ClockTicksPerSecond(), sysconf(_SC_PAGESIZE)));
        break;
      case kNetworkInterface:
        objects.push_back(NetworkInterfaceObject(files.NetDev()));
        break;
      default:
        break;  // Cache, Server, Server Work Queues and the rest: no source here
    }
  }
  return objects;
}

}  // namespace wl::perf
