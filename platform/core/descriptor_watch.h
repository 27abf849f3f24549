// Readiness callbacks for descriptors whose state changes outside this
// process (inotify, timerfd, pipes), so that kernel objects built on them can
// wake their waiters through NotifyStateChange instead of being re-tested on
// a timer. Internal to the platform library.
//
// One watcher thread sleeps in epoll_wait on every watched descriptor; the
// first watch starts it and dropping the last one ends (joins) it. When a
// descriptor is readable the thread calls that watch's callback, which must
// consume what is readable (the watch is level-triggered: a callback that
// leaves data behind is called again).
//
// Ownership: the caller keeps the descriptor open for the life of the watch
// and closes it afterwards. Thread safety: watches may be made and dropped
// from any thread. Callbacks run one at a time on the watcher thread; once a
// DescriptorWatch is destroyed its callback is not running and never runs
// again. A callback must not destroy a DescriptorWatch.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace wl {

class DescriptorWatch {
 public:
  // Starts watching `fd` for input. Null when the watcher cannot be set up
  // (errno tells why); the caller then has to re-test the descriptor itself.
  static std::unique_ptr<DescriptorWatch> Start(int fd, std::function<void()> on_readable);
  ~DescriptorWatch();
  DescriptorWatch(const DescriptorWatch&) = delete;
  DescriptorWatch& operator=(const DescriptorWatch&) = delete;

 private:
  DescriptorWatch(int fd, uint64_t id) : fd_(fd), id_(id) {}
  int fd_;
  uint64_t id_;
};

}  // namespace wl
