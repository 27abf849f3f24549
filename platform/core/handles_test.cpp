#include <gtest/gtest.h>

#include <thread>

#include "kernel_object.h"

namespace {

class Flag : public wl::KernelObject {
 public:
  bool TryAcquire() override { return set; }
  bool set = false;
};

TEST(HandleTable, RegisterLookupClose) {
  auto flag = std::make_shared<Flag>();
  HANDLE h = wl::RegisterHandle(flag);
  ASSERT_NE(h, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(wl::LookupHandleAs<Flag>(h), flag);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(wl::LookupHandle(h), nullptr);
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(HandleTable, LastErrorIsPerThread) {
  SetLastError(42);
  DWORD other = 7;
  std::thread t([&] { other = GetLastError(); });
  t.join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 42u);
}

TEST(HandleTable, StateChangeWakesWaiter) {
  auto seen = wl::StateGeneration();
  std::thread t([] { wl::NotifyStateChange(); });
  auto now = wl::WaitStateChange(seen, std::chrono::steady_clock::now() + std::chrono::seconds(5));
  t.join();
  EXPECT_NE(now, seen);
}

}  // namespace
