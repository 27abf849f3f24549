// What a value name of HKEY_PERFORMANCE_DATA asks for: "Counter 009" (the
// English name table), "Global" (every object), "Costly" (the objects that are
// costly to collect: none here), or object title indexes separated by blanks.
// Names are compared without regard to case, as registry value names are.
// Thread safety: pure function.
#pragma once

#include <string_view>
#include <vector>

#include "win32/types.h"

namespace wl::perf {

struct ValueName {
  enum Kind { kUnknown, kCounterNames, kGlobal, kCostly, kList };
  Kind kind = kUnknown;
  std::vector<DWORD> indexes;  // kList: the asked indexes in order, each once
};

// An empty name asks for "Global". A list may hold blanks and tabs around and
// between decimal numbers and nothing else; otherwise the name is unknown.
ValueName ParseValueName(std::string_view name);

}  // namespace wl::perf
