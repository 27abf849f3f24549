#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "win32/sync.h"
#include "win32/timeapi.h"

namespace {

time_t FixedClock() { return 1000000; }

TEST(Clock, OffsetFileMovesTheCalendarAndIsReread) {
  std::string path = testing::TempDir() + "clock-offset-" + std::to_string(getpid());
  setenv("WARDENLINE_CLOCK_OFFSET_FILE", path.c_str(), 1);
  wl_set_calendar_source(FixedClock);
  EXPECT_EQ(wl_time(nullptr), 1000000);  // no file: no offset
  FILE* f = fopen(path.c_str(), "w");
  fputs("-600\n", f);
  fclose(f);
  EXPECT_EQ(wl_time(nullptr), 1000000 - 600);
  f = fopen(path.c_str(), "w");
  fputs("3600", f);
  fclose(f);
  time_t out = 0;
  EXPECT_EQ(wl_time(&out), 1000000 + 3600);
  EXPECT_EQ(out, 1000000 + 3600);
  unlink(path.c_str());
  EXPECT_EQ(wl_time(nullptr), 1000000);
  unsetenv("WARDENLINE_CLOCK_OFFSET_FILE");
  wl_set_calendar_source(nullptr);
  EXPECT_NEAR(static_cast<double>(wl_time(nullptr)), static_cast<double>(time(nullptr)), 2);
}

void WriteText(const std::string& path, const char* text) {
  FILE* f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs(text, f);
  fclose(f);
}

TEST(Clock, ChangeEventFiresWhenTheOffsetFileChangesAndOnlyThen) {
  std::string dirTemplate = testing::TempDir() + "clock-change-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate.data()), nullptr);
  const std::string path = dirTemplate + "/offset";
  setenv("WARDENLINE_CLOCK_OFFSET_FILE", path.c_str(), 1);
  HANDLE moved = wl_clock_change_event();
  unsetenv("WARDENLINE_CLOCK_OFFSET_FILE");
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(wl_clock_change_event(), moved);  // one event per process
  EXPECT_EQ(WaitForSingleObject(moved, 0), WAIT_TIMEOUT);

  WriteText(path, "120");
  EXPECT_EQ(WaitForSingleObject(moved, 5000), WAIT_OBJECT_0);
  Sleep(100);  // the write's several notifications may set it more than once
  WaitForSingleObject(moved, 0);
  WriteText(dirTemplate + "/other", "5");  // a neighbour is not the clock
  EXPECT_EQ(WaitForSingleObject(moved, 300), WAIT_TIMEOUT);
  unlink(path.c_str());
  EXPECT_EQ(WaitForSingleObject(moved, 5000), WAIT_OBJECT_0);

  unlink((dirTemplate + "/other").c_str());
  rmdir(dirTemplate.c_str());
}

TEST(Clock, TickCountAdvancesAndCanBeInjected) {
  DWORD a = GetTickCount();
  usleep(20000);
  DWORD b = GetTickCount();
  EXPECT_GE(static_cast<DWORD>(b - a), 15u);
  wl_set_tick_source([]() -> DWORD { return 0xFFFFFFF0u; });
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
  wl_set_tick_source(nullptr);
}

TEST(Conversions, FileTimeAndSystemTimeRoundTrip) {
  SYSTEMTIME epoch = {1970, 1, 4, 1, 0, 0, 0, 0};
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
  unsigned long long ticks =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  EXPECT_EQ(ticks, 116444736000000000ull);

  SYSTEMTIME leap = {2024, 2, 0, 29, 23, 59, 58, 123};
  ASSERT_TRUE(SystemTimeToFileTime(&leap, &ft));
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(back.wYear, 2024);
  EXPECT_EQ(back.wMonth, 2);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
  EXPECT_EQ(back.wHour, 23);
  EXPECT_EQ(back.wSecond, 58);
  EXPECT_EQ(back.wMilliseconds, 123);

  SYSTEMTIME bad = {2023, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
  SYSTEMTIME early = {1600, 12, 0, 31, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToFileTime(&early, &ft));
}

TEST(Conversions, LocalAndSystemTimeAgreeWithTheTimeZone) {
  setenv("TZ", "UTC", 1);
  tzset();
  SYSTEMTIME local, utc;
  GetLocalTime(&local);
  GetSystemTime(&utc);
  EXPECT_EQ(local.wHour, utc.wHour);
  TIME_ZONE_INFORMATION tzi;
  GetTimeZoneInformation(&tzi);
  EXPECT_EQ(tzi.Bias, 0);
  setenv("TZ", "EST5", 1);
  tzset();
  GetTimeZoneInformation(&tzi);
  EXPECT_EQ(tzi.Bias, 300);
  unsetenv("TZ");
  tzset();
}

}  // namespace
