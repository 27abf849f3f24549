// The calendar clock and the tick count, with the test seams: an injected
// source, and the offset file named by WARDENLINE_CLOCK_OFFSET_FILE (a signed
// number of seconds added to the calendar clock, re-read when the file changes).
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

#include "win32/timeapi.h"

namespace {

std::atomic<WlCalendarSource> calendar_source{nullptr};
std::atomic<WlTickSource> tick_source{nullptr};

struct OffsetCache {
  std::mutex mutex;
  std::string path;
  struct timespec mtime {};
  off_t size = -1;
  ino_t inode = 0;
  long long offset = 0;
};

OffsetCache& Cache() {
  static auto* cache = new OffsetCache;
  return *cache;
}

long long ClockOffset() {
  const char* path = std::getenv("WARDENLINE_CLOCK_OFFSET_FILE");
  if (!path || !*path) return 0;
  OffsetCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  struct stat st;
  if (stat(path, &st) != 0) {
    c.path.clear();
    c.offset = 0;
    return 0;
  }
  if (c.path == path && st.st_size == c.size && st.st_ino == c.inode &&
      st.st_mtim.tv_sec == c.mtime.tv_sec && st.st_mtim.tv_nsec == c.mtime.tv_nsec) {
    return c.offset;
  }
  long long offset = 0;
  if (FILE* f = std::fopen(path, "r")) {
    char text[64] = {};
    size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = '\0';
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (end != text) offset = value;  // unreadable text counts as no offset
  }
  c.path = path;
  c.size = st.st_size;
  c.inode = st.st_ino;
  c.mtime = st.st_mtim;
  c.offset = offset;
  return offset;
}

}  // namespace

extern "C" {

WLAPI time_t wl_time(time_t* t) {
  WlCalendarSource source = calendar_source.load();
  time_t now = source ? source() : time(nullptr);
  now += static_cast<time_t>(ClockOffset());
  if (t) *t = now;
  return now;
}

WLAPI DWORD GetTickCount(void) {
  if (WlTickSource source = tick_source.load()) return source();
  struct timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  unsigned long long ms = static_cast<unsigned long long>(ts.tv_sec) * 1000ull +
                          static_cast<unsigned long long>(ts.tv_nsec) / 1000000ull;
  return static_cast<DWORD>(ms);
}

WLAPI void wl_set_calendar_source(WlCalendarSource source) { calendar_source.store(source); }

WLAPI void wl_set_tick_source(WlTickSource source) { tick_source.store(source); }

}  // extern "C"
