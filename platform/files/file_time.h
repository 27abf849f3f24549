// Host times as Win32 FILETIMEs (100-nanosecond units since 1601-01-01 UTC).
// Internal to the platform library. Thread safety: pure functions.
#pragma once

#include <time.h>

#include "win32/types.h"

namespace wl {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr unsigned long long kFileTimeEpochOffsetSeconds = 11644473600ull;

inline FILETIME FileTimeFromTimespec(const struct timespec& when) {
  long long ticks =
      (static_cast<long long>(when.tv_sec) + static_cast<long long>(kFileTimeEpochOffsetSeconds)) *
          10000000ll +
      when.tv_nsec / 100;
  if (ticks < 0) ticks = 0;
  FILETIME result;
  result.dwLowDateTime = static_cast<DWORD>(static_cast<unsigned long long>(ticks));
  result.dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(ticks) >> 32);
  return result;
}

}  // namespace wl
