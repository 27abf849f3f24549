#include "core/descriptor_watch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
  void Put() { ASSERT_EQ(write(fds[1], "x", 1), 1); }
};

TEST(DescriptorWatch, CallsBackOnInputAndNeverAfterItIsDropped) {
  Pipe p;
  std::mutex mutex;
  std::condition_variable called;
  int calls = 0;
  auto watch = wl::DescriptorWatch::Start(p.fds[0], [&] {
    char byte;
    while (read(p.fds[0], &byte, 1) != 1) {
    }
    std::lock_guard<std::mutex> lock(mutex);
    ++calls;
    called.notify_all();
  });
  ASSERT_NE(watch, nullptr);
  for (int expected = 1; expected <= 3; ++expected) {
    p.Put();
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(called.wait_for(lock, std::chrono::seconds(5), [&] { return calls == expected; }));
  }
  watch.reset();
  p.Put();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(calls, 3);
}

// Dropping a watch while its callback keeps being called: once the
// destructor returns, the state the callback uses may go.
TEST(DescriptorWatch, DroppingWhileBusyIsSafe) {
  for (int round = 0; round < 50; ++round) {
    Pipe p;
    fcntl(p.fds[1], F_SETFL, O_NONBLOCK);  // a full pipe must not hold the writer
    auto counter = std::make_unique<std::atomic<int>>(0);
    auto watch = wl::DescriptorWatch::Start(p.fds[0], [&p, c = counter.get()] {
      char buffer[64];
      (void)!read(p.fds[0], buffer, sizeof buffer);
      c->fetch_add(1);
    });
    ASSERT_NE(watch, nullptr);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
      while (!stop) (void)!write(p.fds[1], "x", 1);
    });
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    watch.reset();
    counter.reset();
    stop = true;
    writer.join();
  }
}

}  // namespace
