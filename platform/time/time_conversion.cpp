// SYSTEMTIME, FILETIME and time-zone functions. FILETIME counts 100-ns units
// since 1601-01-01 UTC.
#include <sys/time.h>

#include <cstring>
#include <ctime>

#include "win32/timeapi.h"

namespace {

constexpr long long kSecondsFrom1601To1970 = 11644473600LL;
constexpr long long kTicksPerSecond = 10000000LL;

void ToSystemTime(const struct tm& tm, int milliseconds, SYSTEMTIME* st) {
  st->wYear = static_cast<WORD>(tm.tm_year + 1900);
  st->wMonth = static_cast<WORD>(tm.tm_mon + 1);
  st->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  st->wDay = static_cast<WORD>(tm.tm_mday);
  st->wHour = static_cast<WORD>(tm.tm_hour);
  st->wMinute = static_cast<WORD>(tm.tm_min);
  st->wSecond = static_cast<WORD>(tm.tm_sec);
  st->wMilliseconds = static_cast<WORD>(milliseconds);
}

int CurrentMilliseconds() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int>(ts.tv_nsec / 1000000);
}

void CopyName(const char* name, WCHAR* out) {
  size_t i = 0;
  for (; name && name[i] && i < 31; ++i) out[i] = static_cast<unsigned char>(name[i]);
  out[i] = 0;
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

extern "C" {

WLAPI void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  time_t now = wl_time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  ToSystemTime(tm, CurrentMilliseconds(), lpSystemTime);
}

WLAPI void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  time_t now = wl_time(nullptr);
  struct tm tm;
  gmtime_r(&now, &tm);
  ToSystemTime(tm, CurrentMilliseconds(), lpSystemTime);
}

WLAPI DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION tzi) {
  if (!tzi) return TIME_ZONE_ID_INVALID;
  std::memset(tzi, 0, sizeof *tzi);
  tzset();
  time_t now = wl_time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  // Bias: minutes to add to local time to get UTC.
  long gmtoff_minutes = tm.tm_gmtoff / 60;
  if (tm.tm_isdst > 0) {
    // Standard bias from the non-daylight offset; daylight adds the difference.
    long standard = -timezone / 60;
    tzi->Bias = static_cast<LONG>(-standard);
    tzi->DaylightBias = static_cast<LONG>(standard - gmtoff_minutes);
  } else {
    tzi->Bias = static_cast<LONG>(-gmtoff_minutes);
    tzi->DaylightBias = daylight ? -60 : 0;
  }
  CopyName(tzname[0], tzi->StandardName);
  CopyName(tzname[1], tzi->DaylightName);
  if (!daylight) return TIME_ZONE_ID_UNKNOWN;
  return tm.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

WLAPI BOOL FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st) {
  if (!ft || !st) return FALSE;
  unsigned long long ticks =
      (static_cast<unsigned long long>(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
  if (ticks >= 0x8000000000000000ull) return FALSE;
  long long seconds = static_cast<long long>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
  int ms = static_cast<int>((ticks % kTicksPerSecond) / 10000);
  time_t t = static_cast<time_t>(seconds);
  struct tm tm;
  if (!gmtime_r(&t, &tm)) return FALSE;
  ToSystemTime(tm, ms, st);
  return TRUE;
}

WLAPI BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft) {
  if (!st || !ft) return FALSE;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
      st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    return FALSE;
  }
  int month_days = kDays[st->wMonth - 1] + (st->wMonth == 2 && LeapYear(st->wYear) ? 1 : 0);
  if (st->wDay > month_days) return FALSE;
  // Days since 1601-01-01.
  long long y = st->wYear - 1601;
  long long days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < st->wMonth; ++m) {
    days += kDays[m - 1] + (m == 2 && LeapYear(st->wYear) ? 1 : 0);
  }
  days += st->wDay - 1;
  unsigned long long ticks = ((static_cast<unsigned long long>(days) * 86400ull +
                               st->wHour * 3600ull + st->wMinute * 60ull + st->wSecond) *
                                  1000ull +
                              st->wMilliseconds) *
                             10000ull;
  ft->dwLowDateTime = static_cast<DWORD>(ticks);
  ft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return TRUE;
}

WLAPI BOOL FileTimeToLocalFileTime(const FILETIME* ft, LPFILETIME local) {
  if (!ft || !local) return FALSE;
  unsigned long long ticks =
      (static_cast<unsigned long long>(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
  long long seconds = static_cast<long long>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
  time_t t = static_cast<time_t>(seconds);
  struct tm tm;
  localtime_r(&t, &tm);
  long long shifted = static_cast<long long>(ticks) + tm.tm_gmtoff * kTicksPerSecond;
  if (shifted < 0) return FALSE;
  local->dwLowDateTime = static_cast<DWORD>(shifted);
  local->dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(shifted) >> 32);
  return TRUE;
}

}  // extern "C"
