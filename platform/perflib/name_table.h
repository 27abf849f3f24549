// The English counter-name table: the built-in names of the objects and
// counters this host knows, plus those a fixture adds, and its text form as
// the value "Counter 009" returns it.
// Thread safety: pure functions; the built-in table is constant.
#pragma once

#include <map>
#include <string>

#include "win32/types.h"

namespace wl::perf {

using NameTable = std::map<DWORD, std::string>;

// The built-in names (index -> English name).
const NameTable& BuiltinNames();

// `base` with every entry of `extra` added; `extra` wins where both name an index.
NameTable MergeNames(const NameTable& base, const NameTable& extra);

// "Counter 009": for each entry in index order the decimal index and the name,
// each NUL-terminated, and one more NUL at the end.
std::string CounterNameText(const NameTable& names);

// The largest index of the table (0 for an empty table).
DWORD LastIndex(const NameTable& names);

}  // namespace wl::perf
