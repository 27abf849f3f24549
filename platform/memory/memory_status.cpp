// GlobalMemoryStatus from /proc/meminfo (or the performance data fixture):
// physical memory is MemTotal and MemAvailable (MemFree + Buffers + Cached on
// kernels without it), the page file is the swap space (SwapTotal,
// SwapFree), the memory load is the percentage of physical memory in use, and
// the virtual address space is the x86-64 user space less this process's
// VmSize.
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>

#include "core/perf_seam.h"
#include "win32/memory.h"

namespace {

constexpr unsigned long long kUserAddressSpace = 0x7FFFFFFFF000ull;

// "Name: value kB" lines of a /proc file, in bytes.
std::map<std::string, unsigned long long> ReadKilobyteTable(const char* path) {
  std::map<std::string, unsigned long long> table;
  FILE* file = fopen(path, "re");
  if (file == nullptr) return table;
  char line[256];
  while (fgets(line, sizeof(line), file) != nullptr) {
    char name[64];
    unsigned long long value = 0;
    if (sscanf(line, "%63[^:]: %llu", name, &value) == 2) table[name] = value * 1024;
  }
  fclose(file);
  return table;
}

unsigned long long Lookup(const std::map<std::string, unsigned long long>& table,
                          const char* name) {
  auto it = table.find(name);
  return it == table.end() ? 0 : it->second;
}

}  // namespace

extern "C" {

WLAPI void GlobalMemoryStatus(LPMEMORYSTATUS lpBuffer) {
  if (lpBuffer == nullptr) return;
  MEMORYSTATUS status;
  memset(&status, 0, sizeof(status));
  if (!wl::FixtureMemoryStatus(&status)) {
    auto memory = ReadKilobyteTable("/proc/meminfo");
    status.dwTotalPhys = Lookup(memory, "MemTotal");
    status.dwAvailPhys =
        memory.count("MemAvailable") != 0
            ? Lookup(memory, "MemAvailable")
            : Lookup(memory, "MemFree") + Lookup(memory, "Buffers") + Lookup(memory, "Cached");
    if (status.dwAvailPhys > status.dwTotalPhys) status.dwAvailPhys = status.dwTotalPhys;
    status.dwTotalPageFile = Lookup(memory, "SwapTotal");
    status.dwAvailPageFile = Lookup(memory, "SwapFree");
    auto self = ReadKilobyteTable("/proc/self/status");
    unsigned long long used = Lookup(self, "VmSize");
    status.dwTotalVirtual = kUserAddressSpace;
    status.dwAvailVirtual = used < kUserAddressSpace ? kUserAddressSpace - used : 0;
    if (status.dwTotalPhys != 0) {
      status.dwMemoryLoad =
          static_cast<DWORD>((status.dwTotalPhys - status.dwAvailPhys) * 100 / status.dwTotalPhys);
    }
  }
  status.dwLength = sizeof(MEMORYSTATUS);
  *lpBuffer = status;
}

}  // extern "C"
