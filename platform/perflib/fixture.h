// The performance data fixture: a JSON file (named by WARDENLINE_PERFDATA) that
// stands in for all performance data, the memory status and the disk sizes, so
// that tests and demos are exact and repeatable. docs/perfdata.md gives the
// schema. This file parses and checks one fixture text.
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "name_table.h"
#include "wlperf/block_builder.h"

namespace wl::perf {

// Limits that keep a hostile fixture from making huge blocks or name tables.
inline constexpr size_t kMaxFixtureBytes = 64u << 20;
inline constexpr size_t kMaxFixtureDepth = 32;
inline constexpr DWORD kMaxTitleIndex = 1'000'000;
inline constexpr size_t kMaxBlockBytes = 1u << 30;

struct FixtureMemory {
  uint64_t totalPhys = 0;
  uint64_t availPhys = 0;
  uint64_t totalPageFile = 0;
  uint64_t availPageFile = 0;
  uint64_t totalVirtual = 0;
  uint64_t availVirtual = 0;
};

struct FixtureDrive {
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
};

struct Fixture {
  LONGLONG perfFreq = 10'000'000;
  std::optional<LONGLONG> perfTime;
  std::optional<LONGLONG> perfTime100nSec;
  std::optional<FixtureMemory> memory;
  std::map<std::string, FixtureDrive> drives;  // keys are upper-case "X:"
  std::vector<wlperf::ObjectSpec> objects;     // in file order
  NameTable names;                             // the fixture's own names
};

// Parses `text`. On failure returns false and a reason naming the offending
// element (for example `objects[1].counters[0]: "size" must be ...`).
bool ParseFixture(std::string_view text, Fixture* out, std::string* error);

// "c:", "C", "C:\" -> "C:"; empty when `drive` does not start with a letter.
std::string NormalizeDrive(std::string_view drive);

}  // namespace wl::perf
