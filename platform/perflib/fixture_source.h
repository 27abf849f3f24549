// The fixture in use: the file named by WARDENLINE_PERFDATA, re-read whenever
// its content changes (the file is read on every call and parsed again only
// when its bytes differ, so rewrites within the same clock tick are seen).
// A fixture that cannot be read or parsed is reported once per change on
// standard error, naming the file and the reason, and then yields no data.
// Thread safety: every function may be called from any thread.
#pragma once

#include <memory>

#include "fixture.h"

namespace wl::perf {

struct FixtureState {
  bool usable = false;  // false: the file is missing or malformed; no data
  Fixture fixture;
  NameTable names;  // built-in names plus the fixture's own
};

// Null when WARDENLINE_PERFDATA is unset or empty (the live source is in use).
std::shared_ptr<const FixtureState> CurrentFixture();

}  // namespace wl::perf
