// Writes performance data in the fixture format (docs/perfdata.md), so that a
// machine can be recorded (`wlperf capture`) and replayed through
// WARDENLINE_PERFDATA. One line per counter and per instance.
// Thread safety: pure function.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "fixture.h"
#include "name_table.h"
#include "wlperf/block_reader.h"

namespace wl::perf {

// The fixture text for `block`, naming objects and counters from `names`
// (indexes without a name are written without one). Values that lie outside
// their counter block are written as 0.
std::string WriteFixture(const wlperf::DecodedBlock& block, const NameTable& names,
                         const std::optional<FixtureMemory>& memory,
                         const std::map<std::string, FixtureDrive>& drives);

}  // namespace wl::perf
