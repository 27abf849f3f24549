// HKEY_PERFORMANCE_DATA and the fixture seams: picks the source (the fixture
// named by WARDENLINE_PERFDATA, else the live host), builds the block or the
// name text that a value name asks for, and answers with Win32's size rules.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/perf_seam.h"
#include "drive_map.h"
#include "fixture_source.h"
#include "live_source.h"
#include "title_indexes.h"
#include "value_name.h"
#include "win32/registry.h"

namespace wl {
namespace {

using perf::FixtureState;

// 100 ns units between 1601-01-01 and 1970-01-01.
constexpr LONGLONG kEpochDifference100ns = 116444736000000000LL;

LONGLONG MonotonicIn(LONGLONG frequency) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const __int128 ns = static_cast<__int128>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  return static_cast<LONGLONG>(ns * frequency / 1'000'000'000);
}

// Fills the wall-clock fields of `spec` (UTC time and the 100 ns time).
void StampWallClock(wlperf::BlockSpec* spec) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  spec->perfTime100nSec = kEpochDifference100ns + now.tv_sec * 10'000'000LL + now.tv_nsec / 100;
  tm parts{};
  gmtime_r(&now.tv_sec, &parts);
  spec->systemTime.wYear = static_cast<WORD>(parts.tm_year + 1900);
  spec->systemTime.wMonth = static_cast<WORD>(parts.tm_mon + 1);
  spec->systemTime.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
  spec->systemTime.wDay = static_cast<WORD>(parts.tm_mday);
  spec->systemTime.wHour = static_cast<WORD>(parts.tm_hour);
  spec->systemTime.wMinute = static_cast<WORD>(parts.tm_min);
  spec->systemTime.wSecond = static_cast<WORD>(parts.tm_sec);
  spec->systemTime.wMilliseconds = static_cast<WORD>(now.tv_nsec / 1'000'000);
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return "LOCALHOST";
  std::string text(name);
  text = text.substr(0, text.find('.'));
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<BYTE> FixtureBlock(const FixtureState& state, const perf::ValueName& request) {
  wlperf::BlockSpec spec;
  StampWallClock(&spec);
  spec.systemName = HostName();
  if (state.usable) {
    const perf::Fixture& fixture = state.fixture;
    spec.perfFreq = fixture.perfFreq;
    spec.perfTime = fixture.perfTime ? *fixture.perfTime : MonotonicIn(fixture.perfFreq);
    if (fixture.perfTime100nSec) spec.perfTime100nSec = *fixture.perfTime100nSec;
    if (request.kind == perf::ValueName::kGlobal) {
      spec.objects = fixture.objects;
    } else {
      for (DWORD index : request.indexes) {
        for (const wlperf::ObjectSpec& object : fixture.objects) {
          if (object.index == index) spec.objects.push_back(object);
        }
      }
    }
  }
  return wlperf::BuildBlock(spec);
}

std::vector<BYTE> LiveBlock(const perf::ValueName& request) {
  wlperf::BlockSpec spec;
  StampWallClock(&spec);
  spec.systemName = HostName();
  spec.perfFreq = perf::kLivePerfFreq;
  spec.perfTime = MonotonicIn(perf::kLivePerfFreq);
  const std::vector<DWORD>& wanted =
      request.kind == perf::ValueName::kGlobal ? perf::LiveObjectIndexes() : request.indexes;
  // The drive letters live in the registry: look them up only when asked for.
  const bool wantsDrives =
      std::find(wanted.begin(), wanted.end(), perf::title::kLogicalDisk) != wanted.end();
  spec.objects = perf::CollectLiveObjects(
      wanted, perf::LivePaths{}, wantsDrives ? perf::DosDeviceDrives() : perf::DriveList{});
  return wlperf::BuildBlock(spec);
}

// Win32's answer for `bytes` of `valueType` into the caller's buffer.
LONG Deliver(const void* bytes, size_t length, DWORD valueType, DWORD* type, BYTE* data,
             DWORD* size) {
  if (length > 0xFFFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;
  if (type) *type = valueType;
  if (!size) return ERROR_SUCCESS;
  const auto needed = static_cast<DWORD>(length);
  if (!data) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (length > 0) std::memcpy(data, bytes, length);
  *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace

LONG QueryPerformanceData(const char* valueName, DWORD* type, BYTE* data, DWORD* size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  const perf::ValueName request = perf::ParseValueName(valueName ? valueName : "");
  const std::shared_ptr<const FixtureState> fixture = perf::CurrentFixture();
  switch (request.kind) {
    case perf::ValueName::kUnknown:
      return ERROR_FILE_NOT_FOUND;
    case perf::ValueName::kCounterNames: {
      const std::string text =
          perf::CounterNameText(fixture && fixture->usable ? fixture->names : perf::BuiltinNames());
      return Deliver(text.data(), text.size(), REG_MULTI_SZ, type, data, size);
    }
    case perf::ValueName::kCostly: {
      perf::ValueName none;
      none.kind = perf::ValueName::kList;
      const std::vector<BYTE> block =
          fixture ? FixtureBlock(*fixture, none) : wlperf::BuildBlock(wlperf::BlockSpec{});
      return Deliver(block.data(), block.size(), REG_BINARY, type, data, size);
    }
    case perf::ValueName::kGlobal:
    case perf::ValueName::kList: {
      const std::vector<BYTE> block =
          fixture ? FixtureBlock(*fixture, request) : LiveBlock(request);
      return Deliver(block.data(), block.size(), REG_BINARY, type, data, size);
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

bool FixtureMemoryStatus(MEMORYSTATUS* status) {
  const std::shared_ptr<const FixtureState> fixture = perf::CurrentFixture();
  if (!fixture || !fixture->usable || !fixture->fixture.memory) return false;
  const perf::FixtureMemory& memory = *fixture->fixture.memory;
  *status = MEMORYSTATUS{};
  status->dwLength = sizeof(MEMORYSTATUS);
  if (memory.totalPhys > 0 && memory.availPhys <= memory.totalPhys) {
    const long double used = static_cast<long double>(memory.totalPhys - memory.availPhys);
    status->dwMemoryLoad = static_cast<DWORD>(used * 100 / memory.totalPhys);
  }
  status->dwTotalPhys = memory.totalPhys;
  status->dwAvailPhys = memory.availPhys;
  status->dwTotalPageFile = memory.totalPageFile;
  status->dwAvailPageFile = memory.availPageFile;
  status->dwTotalVirtual = memory.totalVirtual;
  status->dwAvailVirtual = memory.availVirtual;
  return true;
}

bool FixtureDiskSpace(const std::string& drive, bool* found, unsigned long long* totalBytes,
                      unsigned long long* freeBytes) {
  const std::shared_ptr<const FixtureState> fixture = perf::CurrentFixture();
  if (!fixture) return false;
  *found = false;
  if (!fixture->usable) return true;
  const auto entry = fixture->fixture.drives.find(perf::NormalizeDrive(drive));
  if (entry == fixture->fixture.drives.end()) return true;
  *found = true;
  *totalBytes = entry->second.totalBytes;
  *freeBytes = entry->second.freeBytes;
  return true;
}

void PerflibLastIndexes(DWORD* lastCounter, DWORD* lastHelp) {
  const std::shared_ptr<const FixtureState> fixture = perf::CurrentFixture();
  const DWORD last =
      perf::LastIndex(fixture && fixture->usable ? fixture->names : perf::BuiltinNames());
  *lastCounter = last;
  *lastHelp = last + 1;
}

}  // namespace wl
