// Named semaphores under attack and under crashes: killed holders and waiters,
// zombies, other users, damaged objects, hundreds of processes.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sync/named_semaphore_layout.h"
#include "win32/sync.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
namespace layout = wl::named_semaphore;

class NamespaceEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string ns = "named-semaphore-test-" + std::to_string(getpid());
    setenv("WARDENLINE_OBJECT_NAMESPACE", ns.c_str(), 1);
  }
  // Objects whose last user was killed stay behind until the name is used
  // again; this namespace is not.
  void TearDown() override;
};
const auto* env = ::testing::AddGlobalTestEnvironment(new NamespaceEnvironment);

std::string ObjectPath(const char* name) { return "/dev/shm" + layout::SharedObjectName(name); }

void NamespaceEnvironment::TearDown() {
  for (const char* name :
       {"STORM SEMAPHORE", "ZOMBIE SEMAPHORE", "OURS SEMAPHORE", "SQUATTED SEMAPHORE",
        "PLANTED SEMAPHORE", "DAMAGED SEMAPHORE", "PERF DLL SEMAPHORE"}) {
    unlink(ObjectPath(name).c_str());
  }
}

// Runs `body` in a child process, which exits with body's result.
template <class F>
pid_t Spawn(F body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int ExitCode(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A fresh process opens `name` and must get a count within a second (it is
// given two before it counts as wedged).
int FreshProcessTakes(const char* name) {
  pid_t fresh = Spawn([&] {
    HANDLE h = CreateSemaphoreA(nullptr, 1, 1, name);
    return h && WaitForSingleObject(h, 1000) == WAIT_OBJECT_0 ? 0 : 1;
  });
  for (int i = 0; i < 200; ++i) {
    int status = 0;
    if (waitpid(fresh, &status, WNOHANG) == fresh)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
    usleep(10000);
  }
  kill(fresh, SIGKILL);
  ExitCode(fresh);
  return 3;
}

// Holders and waiters are killed (SIGKILL or SIGTERM) at random moments,
// while they open, wait, hold, release or close. WARDENLINE_KILL_STORM_ROUNDS
// sets the number of rounds (bench/sync/kill_storm.sh runs 1,000).
TEST(NamedSemaphores, KillStormNeverWedges) {
  const char* text = std::getenv("WARDENLINE_KILL_STORM_ROUNDS");
  const int rounds = text ? std::atoi(text) : 25;
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  auto uniform = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const char* name = "STORM SEMAPHORE";
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    // Every other round no process keeps the object open between rounds.
    HANDLE kept = round % 2 ? CreateSemaphoreA(nullptr, 1, 1, name) : nullptr;
    std::vector<pid_t> children;
    const int count = uniform(2, 5);
    for (int c = 0; c < count; ++c) {
      const unsigned child_seed = random();
      children.push_back(Spawn([&] {
        std::mt19937 mine(child_seed);
        for (;;) {
          HANDLE h = CreateSemaphoreA(nullptr, 1, 1, name);
          for (int i = mine() % 8; i >= 0; --i) {
            DWORD wait = mine() % 4 == 0 ? INFINITE : mine() % 20;
            if (h && WaitForSingleObject(h, wait) == WAIT_OBJECT_0) {
              usleep(mine() % 500);
              ReleaseSemaphore(h, 1, nullptr);
            }
          }
          if (h) CloseHandle(h);
        }
        return 0;
      }));
    }
    usleep(uniform(0, 3000));
    for (pid_t child : children) {
      usleep(uniform(0, 1500));
      kill(child, uniform(0, 1) ? SIGKILL : SIGTERM);
    }
    for (pid_t child : children) ExitCode(child);
    ASSERT_EQ(FreshProcessTakes(name), 0);
    if (kept) {
      // No count was made up: the maximum of one still holds.
      ASSERT_EQ(WaitForSingleObject(kept, 1000), WAIT_OBJECT_0);
      EXPECT_EQ(WaitForSingleObject(kept, 0), WAIT_TIMEOUT);
      CloseHandle(kept);
    }
  }
}

// Process state letter from /proc/PID/stat ('Z' for a zombie).
char ProcessState(pid_t pid) {
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  FILE* f = fopen(path.c_str(), "r");
  if (!f) return '?';
  char text[512] = {};
  size_t n = fread(text, 1, sizeof text - 1, f);
  fclose(f);
  const char* paren = strrchr(text, ')');
  return paren && paren + 2 < text + n ? paren[2] : '?';
}

TEST(NamedSemaphores, ZombieHolderIsNoticedBeforeItIsReaped) {
  const char* name = "ZOMBIE SEMAPHORE";
  HANDLE s = CreateSemaphoreA(nullptr, 1, 1, name);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = Spawn([&] {
    HANDLE h = CreateSemaphoreA(nullptr, 1, 1, name);
    if (WaitForSingleObject(h, 5000) != WAIT_OBJECT_0) return 2;
    char c = 'x';
    if (write(ready[1], &c, 1) != 1) return 3;
    pause();
    return 0;
  });
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(WaitForSingleObject(s, 50), WAIT_TIMEOUT);
  auto killed = steady_clock::now();
  kill(holder, SIGKILL);
  EXPECT_EQ(WaitForSingleObject(s, 1000), WAIT_OBJECT_0);
  auto waited = steady_clock::now() - killed;
  siginfo_t info = {};
  EXPECT_EQ(waitid(P_PID, holder, &info, WEXITED | WNOHANG | WNOWAIT), 0);
  EXPECT_EQ(info.si_pid, holder) << "the holder had not even died";
  EXPECT_EQ(ProcessState(holder), 'Z') << "the holder was reaped: the test proves nothing";
  EXPECT_LT(waited, milliseconds(100));
  RecordProperty(
      "waited_us",
      std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(waited).count()));
  ExitCode(holder);
  close(ready[0]);
  close(ready[1]);
  CloseHandle(s);
}

// Tests run as root in CI; a child becomes user nobody.
TEST(NamedSemaphores, AnotherUserCanNeitherOpenNorTakeNorDamageOurs) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a process as another user";
  int go[2], done[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(done), 0);
  // Forked before we open anything, so it does not inherit our mappings.
  pid_t intruder = Spawn([&] {
    close(go[1]);
    close(done[0]);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return 10;
    // Names we will use later: squatted with no count left, or planted as a
    // writable file full of garbage.
    HANDLE squat = CreateSemaphoreA(nullptr, 0, 1, "SQUATTED SEMAPHORE");
    if (!squat) return 11;
    int planted = open(ObjectPath("PLANTED SEMAPHORE").c_str(), O_RDWR | O_CREAT, 0666);
    if (planted < 0 || fchmod(planted, 0666) != 0) return 12;
    std::vector<char> garbage(1 << 17, '\x5a');
    if (write(planted, garbage.data(), garbage.size()) != static_cast<ssize_t>(garbage.size())) {
      return 13;
    }
    close(planted);
    char c;
    if (write(done[1], "r", 1) != 1 || read(go[0], &c, 1) != 1) return 14;
    // Ours: neither the Win32 call nor the file itself may be opened.
    SetLastError(0);
    if (CreateSemaphoreA(nullptr, 1, 1, "OURS SEMAPHORE") != nullptr) return 20;
    if (GetLastError() != ERROR_ACCESS_DENIED) return 21;
    if (open(ObjectPath("OURS SEMAPHORE").c_str(), O_RDONLY) >= 0 || errno != EACCES) return 22;
    if (write(done[1], "d", 1) != 1) return 23;
    pause();  // keeps the squatted object alive
    return 0;
  });
  close(go[0]);
  close(done[1]);
  char c;
  ASSERT_EQ(read(done[0], &c, 1), 1) << "intruder failed with " << ExitCode(intruder);
  HANDLE ours = CreateSemaphoreA(nullptr, 1, 1, "OURS SEMAPHORE");
  ASSERT_NE(ours, nullptr);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  ASSERT_EQ(read(done[0], &c, 1), 1) << "intruder failed with " << ExitCode(intruder);
  EXPECT_EQ(WaitForSingleObject(ours, 0), WAIT_OBJECT_0);
  // The intruder's objects are replaced, not used.
  for (const char* name : {"SQUATTED SEMAPHORE", "PLANTED SEMAPHORE"}) {
    HANDLE h = CreateSemaphoreA(nullptr, 1, 1, name);
    ASSERT_NE(h, nullptr) << name;
    EXPECT_EQ(GetLastError(), 0u) << name;
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0) << name;
    struct stat st;
    ASSERT_EQ(stat(ObjectPath(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    CloseHandle(h);
  }
  kill(intruder, SIGKILL);
  ExitCode(intruder);
  for (int fd : {go[1], done[0]}) close(fd);
  CloseHandle(ours);
}

TEST(NamedSemaphores, OwnerOnlyModeAndDamagedObjectsAreRebuilt) {
  const char* name = "DAMAGED SEMAPHORE";
  mode_t old_mask = umask(0);
  HANDLE s = CreateSemaphoreA(nullptr, 1, 1, name);
  umask(old_mask);
  ASSERT_NE(s, nullptr);
  struct stat st;
  ASSERT_EQ(stat(ObjectPath(name).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_uid, geteuid());

  int fd = open(ObjectPath(name).c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  void* memory = mmap(nullptr, layout::kHeaderSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(memory, MAP_FAILED);
  auto* header = static_cast<layout::Header*>(memory);
  auto* first = reinterpret_cast<layout::Record*>(
      mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, layout::kHeaderSize));
  ASSERT_NE(first, MAP_FAILED);
  // We are the only process: our record is the first one.
  ASSERT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  ASSERT_EQ(first[0].held.load(), 1);

  struct Damage {
    const char* what;
    std::function<void()> apply;
  };
  const std::vector<Damage> damages = {
      {"count above maximum", [&] { header->count = 1000; }},
      {"negative count", [&] { header->count = -5; }},
      {"huge table", [&] { header->capacity = 0xFFFFFFF0u; }},
      {"bad magic", [&] { header->magic = 0; }},
      {"guard of a dead process", [&] { header->guard = (uint64_t{7} << 32) | 40; }},
      {"bad record", [&] { first[3].held = -7; }},
      {"bad journal",
       [&] {
         header->journal.record = 1u << 30;
         header->journal.valid = 1;
       }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    damage.apply();
    // Rebuilt from the live records: we hold the only count.
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(ReleaseSemaphore(s, 1, nullptr));
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
    EXPECT_EQ(header->count.load(), 0);
    EXPECT_EQ(first[0].held.load(), 1);
  }

  // A change cut short by a death is finished by the next process: a take of
  // the count recorded in the journal but not yet applied.
  ASSERT_TRUE(ReleaseSemaphore(s, 1, nullptr));
  header->journal.record = 0;
  header->journal.count = 0;
  header->journal.in_use = 1;
  header->journal.pid = getpid();
  header->journal.held = 1;
  header->journal.valid = 1;
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseSemaphore(s, 1, nullptr));

  munmap(first, 4096);
  munmap(memory, layout::kHeaderSize);
  close(fd);
  CloseHandle(s);
}

TEST(NamedSemaphores, ThreeHundredProcessesAllGetIt) {
  constexpr int kProcesses = 300;
  const char* name = "PERF DLL SEMAPHORE";
  struct Shared {
    std::atomic<int> inside, most_inside, served;
  };
  auto* shared = static_cast<Shared*>(
      mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(shared, MAP_FAILED);
  int opened[2], go[2];
  ASSERT_EQ(pipe(opened), 0);
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    children.push_back(Spawn([&] {
      close(go[1]);
      HANDLE h = CreateSemaphoreA(nullptr, 1, 1, name);
      if (!h) return 2;
      char c = 'o';
      if (write(opened[1], &c, 1) != 1) return 3;
      close(opened[1]);
      if (read(go[0], &c, 1) != 0) return 4;  // all start together
      if (WaitForSingleObject(h, 120000) != WAIT_OBJECT_0) return 5;
      int now = ++shared->inside;
      int most = shared->most_inside.load();
      while (now > most && !shared->most_inside.compare_exchange_weak(most, now)) {
      }
      usleep(100);
      --shared->inside;
      ++shared->served;
      ReleaseSemaphore(h, 1, nullptr);
      return 0;
    }));
    ASSERT_GT(children.back(), 0);
  }
  // All of them hold it open at once before any takes it.
  close(opened[1]);
  int ready = 0;
  char c;
  while (read(opened[0], &c, 1) == 1) ++ready;
  EXPECT_EQ(ready, kProcesses);
  close(go[1]);
  int failed = 0;
  for (pid_t child : children) failed += ExitCode(child) != 0;
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(shared->served.load(), kProcesses);
  EXPECT_EQ(shared->most_inside.load(), 1);
  for (int fd : {opened[0], go[0]}) close(fd);
  munmap(shared, sizeof(Shared));
}

}  // namespace
