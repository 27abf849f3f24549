#include "counter_types.h"

#include <iterator>

namespace wl::perf {
namespace {

struct NamedType {
  const char* name;
  DWORD type;
};

// PERF_COUNTER_RAWCOUNT_HEX shares its value with the size bits; it comes
// after the others so that a lookup by value names the counters first.
constexpr NamedType kTypes[] = {
    {"PERF_COUNTER_COUNTER", PERF_COUNTER_COUNTER},
    {"PERF_COUNTER_TIMER", PERF_COUNTER_TIMER},
    {"PERF_COUNTER_QUEUELEN_TYPE", PERF_COUNTER_QUEUELEN_TYPE},
    {"PERF_COUNTER_BULK_COUNT", PERF_COUNTER_BULK_COUNT},
    {"PERF_COUNTER_RAWCOUNT", PERF_COUNTER_RAWCOUNT},
    {"PERF_COUNTER_LARGE_RAWCOUNT", PERF_COUNTER_LARGE_RAWCOUNT},
    {"PERF_SAMPLE_FRACTION", PERF_SAMPLE_FRACTION},
    {"PERF_SAMPLE_COUNTER", PERF_SAMPLE_COUNTER},
    {"PERF_SAMPLE_BASE", PERF_SAMPLE_BASE},
    {"PERF_RAW_FRACTION", PERF_RAW_FRACTION},
    {"PERF_RAW_BASE", PERF_RAW_BASE},
    {"PERF_AVERAGE_TIMER", PERF_AVERAGE_TIMER},
    {"PERF_AVERAGE_BULK", PERF_AVERAGE_BULK},
    {"PERF_AVERAGE_BASE", PERF_AVERAGE_BASE},
    {"PERF_100NSEC_TIMER", PERF_100NSEC_TIMER},
    {"PERF_100NSEC_TIMER_INV", PERF_100NSEC_TIMER_INV},
    {"PERF_ELAPSED_TIME", PERF_ELAPSED_TIME},
    {"PERF_COUNTER_RAWCOUNT_HEX", PERF_COUNTER_RAWCOUNT_HEX},
    {"PERF_COUNTER_LARGE_RAWCOUNT_HEX", PERF_COUNTER_LARGE_RAWCOUNT_HEX},
};

}  // namespace

std::optional<DWORD> CounterTypeFromName(std::string_view name) {
  for (const NamedType& entry : kTypes) {
    if (name == entry.name) return entry.type;
  }
  return std::nullopt;
}

const char* CounterTypeName(DWORD type) {
  for (const NamedType& entry : kTypes) {
    if (type == entry.type) return entry.name;
  }
  return nullptr;
}

std::optional<DWORD> CounterSizeOfType(DWORD type) {
  switch (type & PERF_SIZE_VARIABLE_LEN) {
    case PERF_SIZE_DWORD:
      return 4;
    case PERF_SIZE_LARGE:
      return 8;
    case PERF_SIZE_ZERO:
      return 0;
    default:
      return std::nullopt;
  }
}

}  // namespace wl::perf
