// The clock-change event: one watcher thread sleeps in poll() on an inotify
// descriptor watching the offset file's directory and on a CLOCK_REALTIME
// timerfd armed far ahead with TFD_TIMER_CANCEL_ON_SET (its read fails with
// ECANCELED when the system clock is set), and sets the event on either.
#include <poll.h>
#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "win32/sync.h"
#include "win32/timeapi.h"

namespace {

// The timer never fires: it exists to be cancelled by a clock setting.
constexpr time_t kFarAheadSeconds = 10 * 365 * 24 * 3600;
constexpr uint32_t kOffsetFileEvents =
    IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

HANDLE clock_event = nullptr;  // set once, before the watcher starts

bool ArmFarAhead(int fd) {
  struct timespec now {};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  struct itimerspec spec {};
  spec.it_value.tv_sec = now.tv_sec + kFarAheadSeconds;
  return timerfd_settime(fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) == 0;
}

// True when the batch of inotify events names `name` or reports lost events;
// clears *watching when the directory itself went away.
bool OffsetFileTouched(const char* buffer, size_t length, const std::string& name, bool* watching) {
  bool touched = false;
  size_t at = 0;
  while (length - at >= sizeof(struct inotify_event)) {
    struct inotify_event ev;
    std::memcpy(&ev, buffer + at, sizeof ev);
    const size_t whole = sizeof ev + ev.len;
    if (whole > length - at) break;
    if (ev.mask & IN_Q_OVERFLOW) touched = true;
    if (ev.mask & IN_IGNORED) *watching = false;
    if (ev.len > 0) {
      const char* evName = buffer + at + sizeof ev;
      if (strnlen(evName, ev.len) == name.size() &&
          std::memcmp(evName, name.data(), name.size()) == 0)
        touched = true;
    }
    at += whole;
  }
  return touched;
}

void Watch(int timer_fd, int notify_fd, std::string name) {
  struct pollfd fds[2] = {{timer_fd, POLLIN, 0}, {notify_fd, POLLIN, 0}};
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bool moved = false;
    if (fds[0].revents != 0) {
      uint64_t expirations = 0;
      if (read(timer_fd, &expirations, sizeof expirations) < 0 && errno == ECANCELED) moved = true;
      if (!ArmFarAhead(timer_fd)) fds[0].fd = -1;
    }
    if (fds[1].revents != 0) {
      ssize_t n = read(notify_fd, buffer, sizeof buffer);
      bool watching = true;
      if (n > 0 && OffsetFileTouched(buffer, static_cast<size_t>(n), name, &watching)) moved = true;
      if (!watching || (n < 0 && errno != EINTR && errno != EAGAIN)) fds[1].fd = -1;
    }
    if (moved) SetEvent(clock_event);
    if (fds[0].fd < 0 && fds[1].fd < 0) return;
  }
}

HANDLE StartWatcher() {
  const int timer_fd = timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC);
  if (timer_fd < 0) return nullptr;
  if (!ArmFarAhead(timer_fd)) {
    close(timer_fd);
    return nullptr;
  }
  int notify_fd = -1;
  std::string name;
  const char* path = std::getenv("WARDENLINE_CLOCK_OFFSET_FILE");
  if (path && *path) {
    const std::string whole(path);
    const size_t slash = whole.rfind('/');
    const std::string dir =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : whole.substr(0, slash));
    name = slash == std::string::npos ? whole : whole.substr(slash + 1);
    notify_fd = inotify_init1(IN_CLOEXEC);
    if (notify_fd >= 0 &&
        (name.empty() || inotify_add_watch(notify_fd, dir.c_str(), kOffsetFileEvents) < 0)) {
      close(notify_fd);
      notify_fd = -1;
    }
  }
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) {
    close(timer_fd);
    if (notify_fd >= 0) close(notify_fd);
    return nullptr;
  }
  clock_event = event;
  try {
    std::thread(Watch, timer_fd, notify_fd, std::move(name)).detach();
  } catch (...) {
    // No watcher: the event is never set; callers then fall back to polling.
    clock_event = nullptr;
    CloseHandle(event);
    close(timer_fd);
    if (notify_fd >= 0) close(notify_fd);
    return nullptr;
  }
  return event;
}

}  // namespace

extern "C" {

WLAPI HANDLE wl_clock_change_event(void) {
  static HANDLE event = StartWatcher();
  return event;
}

}  // extern "C"
