// Names of the performance counter types ("PERF_COUNTER_COUNTER" and so on) and
// the counter size that a type's size bits imply.
// Thread safety: pure functions over constant tables.
#pragma once

#include <optional>
#include <string_view>

#include "win32/perfdata.h"

namespace wl::perf {

// The type constant named `name` (for example "PERF_100NSEC_TIMER_INV"), or none.
std::optional<DWORD> CounterTypeFromName(std::string_view name);

// The name of `type`, or null for a type without a name of its own.
const char* CounterTypeName(DWORD type);

// The size in bytes that the type's size bits give: 4 for PERF_SIZE_DWORD, 8 for
// PERF_SIZE_LARGE, 0 for PERF_SIZE_ZERO; none for PERF_SIZE_VARIABLE_LEN.
std::optional<DWORD> CounterSizeOfType(DWORD type);

}  // namespace wl::perf
