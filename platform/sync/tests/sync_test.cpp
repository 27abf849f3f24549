#include "win32/sync.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "wltest/platform_env.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class SyncEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { wltest::ProcessPlatform(); }
};
const auto* env = ::testing::AddGlobalTestEnvironment(new SyncEnvironment);

TEST(Events, AutoResetReleasesOneWaitManualResetStays) {
  HANDLE autoEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(autoEvent, nullptr);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
  SetEvent(autoEvent);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);

  SetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_TIMEOUT);
  CloseHandle(autoEvent);
  CloseHandle(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Events, SetFromAnotherThreadWakesWaiterPromptly) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  auto start = steady_clock::now();
  std::thread t([&] {
    std::this_thread::sleep_for(milliseconds(30));
    SetEvent(e);
  });
  EXPECT_EQ(WaitForSingleObject(e, 5000), WAIT_OBJECT_0);
  EXPECT_LT(steady_clock::now() - start, milliseconds(1000));
  t.join();
  CloseHandle(e);
}

TEST(Semaphores, CountsAndMaximum) {
  HANDLE s = CreateSemaphoreA(nullptr, 1, 2, nullptr);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(s, 2, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_FALSE(ReleaseSemaphore(s, 1, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  EXPECT_EQ(CreateSemaphoreA(nullptr, 2, 1, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(s);
}

TEST(Semaphores, NamedOpensExistingAndIsRecreatedAfterLastClose) {
  HANDLE a = CreateSemaphoreA(nullptr, 0, 1, "TEST SEMAPHORE");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  HANDLE b = CreateSemaphoreA(nullptr, 1, 1, "TEST SEMAPHORE");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  // One count, shared: the second creation's initial count does not apply.
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseSemaphore(a, 1, nullptr));
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
  CloseHandle(a);
  CloseHandle(b);
  // No handle is left: a new creation starts from its own initial count.
  HANDLE c = CreateSemaphoreA(nullptr, 0, 1, "TEST SEMAPHORE");
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(WaitForSingleObject(c, 0), WAIT_TIMEOUT);
  CloseHandle(c);
}

// Runs `body` in a child process; returns its pid.
template <class F>
pid_t Spawn(F body) {
  pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(0);
  }
  return pid;
}

TEST(Semaphores, KilledHolderGivesItsCountBack) {
  HANDLE s = CreateSemaphoreA(nullptr, 1, 1, "KILL TEST SEMAPHORE");
  ASSERT_NE(s, nullptr);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = Spawn([&] {
    HANDLE mine = CreateSemaphoreA(nullptr, 1, 1, "KILL TEST SEMAPHORE");
    if (WaitForSingleObject(mine, 5000) != WAIT_OBJECT_0) _exit(2);
    char c = 'x';
    if (write(ready[1], &c, 1) != 1) _exit(3);
    pause();
  });
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(WaitForSingleObject(s, 200), WAIT_TIMEOUT);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(WaitForSingleObject(s, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseSemaphore(s, 1, nullptr));
  close(ready[0]);
  close(ready[1]);
  CloseHandle(s);
}

TEST(Semaphores, SerializesTwoProcesses) {
  HANDLE s = CreateSemaphoreA(nullptr, 1, 1, "SERIAL TEST SEMAPHORE");
  std::string path = testing::TempDir() + "serial-" + std::to_string(getpid());
  FILE* f = fopen(path.c_str(), "w");
  fclose(f);
  auto work = [&](char tag) {
    HANDLE mine = CreateSemaphoreA(nullptr, 1, 1, "SERIAL TEST SEMAPHORE");
    for (int i = 0; i < 20; ++i) {
      WaitForSingleObject(mine, INFINITE);
      FILE* out = fopen(path.c_str(), "a");
      fputc(tag, out);
      fflush(out);
      usleep(200);
      fputc(tag, out);
      fclose(out);
      ReleaseSemaphore(mine, 1, nullptr);
    }
    CloseHandle(mine);
  };
  pid_t child = Spawn([&] { work('c'); });
  work('p');
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  f = fopen(path.c_str(), "r");
  char text[200] = {};
  size_t n = fread(text, 1, sizeof text - 1, f);
  fclose(f);
  ASSERT_EQ(n, 80u);
  for (size_t i = 0; i < n; i += 2) EXPECT_EQ(text[i], text[i + 1]) << "interleaved at " << i;
  unlink(path.c_str());
  CloseHandle(s);
}

TEST(Waits, MultipleAnyReturnsIndexAndAllNeedsEvery) {
  HANDLE e1 = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE e2 = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE both[] = {e1, e2};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);
  SetEvent(e2);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
  SetEvent(e1);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
  // The failed wait-all must not have consumed e1.
  SetEvent(e2);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e1, 0), WAIT_TIMEOUT);
  CloseHandle(e1);
  CloseHandle(e2);
}

std::atomic<int> runs{0};
DWORD WINAPI CountOnce(LPVOID) {
  runs++;
  return 7;
}

TEST(Threads, SuspendedThreadRunsOnlyAfterResume) {
  runs = 0;
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, CountOnce, nullptr, CREATE_SUSPENDED, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(id, 0u);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(runs.load(), 0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(ResumeThread(t), 1u);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(t);
}

std::atomic<int> passes{0};
DWORD WINAPI SelfSuspendingLoop(LPVOID) {
  for (;;) {
    SuspendThread(GetCurrentThread());
    passes++;
  }
}

TEST(Threads, SelfSuspensionWakeUpsAndTermination) {
  passes = 0;
  HANDLE t = CreateThread(nullptr, 0, SelfSuspendingLoop, nullptr, 0, nullptr);
  auto wait_suspended = [&] {
    // Resume of a running thread does nothing; wait until it has suspended.
    for (int i = 0; i < 500; ++i) {
      DWORD previous = SuspendThread(t);
      ResumeThread(t);
      if (previous >= 1) return;
      std::this_thread::sleep_for(milliseconds(2));
    }
  };
  wait_suspended();
  EXPECT_EQ(ResumeThread(t), 1u);
  wait_suspended();
  EXPECT_EQ(passes.load(), 1);
  EXPECT_TRUE(TerminateThread(t, 99));
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 99u);
  EXPECT_EQ(passes.load(), 1);
  CloseHandle(t);
}

DWORD WINAPI SleepLong(LPVOID) {
  Sleep(60000);
  return 0;
}

TEST(Threads, TerminateStopsASleepingThreadAndANeverResumedOne) {
  HANDLE sleeping = CreateThread(nullptr, 0, SleepLong, nullptr, 0, nullptr);
  HANDLE never = CreateThread(nullptr, 0, CountOnce, nullptr, CREATE_SUSPENDED, nullptr);
  runs = 0;
  std::this_thread::sleep_for(milliseconds(20));
  auto start = steady_clock::now();
  TerminateThread(sleeping, 1);
  TerminateThread(never, 2);
  EXPECT_EQ(WaitForSingleObject(sleeping, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(never, 5000), WAIT_OBJECT_0);
  EXPECT_LT(steady_clock::now() - start, milliseconds(2000));
  EXPECT_EQ(runs.load(), 0);
  CloseHandle(sleeping);
  CloseHandle(never);
}

TEST(Threads, BeginThreadExAndIds) {
  unsigned id = 0;
  uintptr_t h = _beginthreadex(
      nullptr, 0, [](void*) -> unsigned { return GetCurrentThreadId() != 0 ? 3 : 4; }, nullptr, 0,
      &id);
  ASSERT_NE(h, 0u);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(h), 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(reinterpret_cast<HANDLE>(h), &code);
  EXPECT_EQ(code, 3u);
  EXPECT_NE(GetCurrentThreadId(), id);
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  CloseHandle(reinterpret_cast<HANDLE>(h));
}

}  // namespace
