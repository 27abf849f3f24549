#include "descriptor_watch.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace wl {
namespace {

// One watcher thread with its epoll set and the eventfd that tells it to end.
struct Runner {
  int epoll_fd = -1;
  int stop_fd = -1;
  std::thread thread;
  ~Runner() {
    if (stop_fd >= 0) close(stop_fd);
    if (epoll_fd >= 0) close(epoll_fd);
  }
};

constexpr uint64_t kStopId = 0;

struct Watches {
  // Held while a callback runs, so that dropping a watch waits for it.
  std::mutex mutex;
  std::unordered_map<uint64_t, std::function<void()>> callbacks;
  uint64_t next_id = kStopId + 1;
  // The running watcher; it ends when the last watch is dropped, so that a
  // process (or a library unloaded from it) keeps no thread it does not use.
  Runner* runner = nullptr;
};

Watches& TheWatches() {
  static auto* watches = new Watches;  // never destroyed: used at exit
  return *watches;
}

void Run(Runner* r) {
  Watches& w = TheWatches();
  struct epoll_event events[16];
  for (;;) {
    int ready = epoll_wait(r->epoll_fd, events, 16, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    std::lock_guard<std::mutex> lock(w.mutex);
    for (int i = 0; i < ready; ++i) {
      // Copied out: struct epoll_event is packed, its u64 unaligned.
      const uint64_t id = events[i].data.u64;
      if (id == kStopId) return;
      // A watch dropped after epoll_wait returned is no longer in the map.
      auto it = w.callbacks.find(id);
      if (it != w.callbacks.end()) it->second();
    }
  }
}

// Starts a watcher thread; null (errno set) when the system refuses one.
Runner* StartRunner() {
  auto* r = new Runner;
  r->epoll_fd = epoll_create1(EPOLL_CLOEXEC);
  r->stop_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  struct epoll_event stop {};
  stop.events = EPOLLIN;
  stop.data.u64 = kStopId;
  if (r->epoll_fd < 0 || r->stop_fd < 0 ||
      epoll_ctl(r->epoll_fd, EPOLL_CTL_ADD, r->stop_fd, &stop) != 0) {
    delete r;
    return nullptr;
  }
  try {
    r->thread = std::thread(Run, r);
  } catch (const std::system_error&) {
    delete r;
    errno = EAGAIN;
    return nullptr;
  }
  return r;
}

}  // namespace

std::unique_ptr<DescriptorWatch> DescriptorWatch::Start(int fd, std::function<void()> on_readable) {
  Watches& w = TheWatches();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (w.runner == nullptr && (w.runner = StartRunner()) == nullptr) return nullptr;
  const uint64_t id = w.next_id++;
  struct epoll_event event {};
  event.events = EPOLLIN;
  event.data.u64 = id;
  if (epoll_ctl(w.runner->epoll_fd, EPOLL_CTL_ADD, fd, &event) != 0) return nullptr;
  w.callbacks.emplace(id, std::move(on_readable));
  return std::unique_ptr<DescriptorWatch>(new DescriptorWatch(fd, id));
}

DescriptorWatch::~DescriptorWatch() {
  Watches& w = TheWatches();
  Runner* ending = nullptr;
  {
    std::lock_guard<std::mutex> lock(w.mutex);
    epoll_ctl(w.runner->epoll_fd, EPOLL_CTL_DEL, fd_, nullptr);
    w.callbacks.erase(id_);
    if (w.callbacks.empty()) std::swap(ending, w.runner);
  }
  if (ending == nullptr) return;
  const uint64_t one = 1;
  (void)!write(ending->stop_fd, &one, sizeof one);
  ending->thread.join();
  delete ending;
}

}  // namespace wl
