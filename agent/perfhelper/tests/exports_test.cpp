// libperfpeek.so loaded the way its callers load it, against a fixture and the
// test clock: the seven exports, the log, the refresh rules, and the
// semaphore shared with other processes.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent/testing/agent_environment.h"
#include "win32/windows.h"

namespace {

const wltest::AgentEnvironment environment("perfpeek-exports-test");

using nlohmann::json;

time_t fakeNow = 1'500'000'000;
time_t fakeClock() { return fakeNow; }

struct Exports {
  void* library = nullptr;
  int (*getVersion)(int32_t*);
  int (*supportedVersions)(int32_t*);
  int (*objectInstance)(int, int, char*, unsigned);
  int (*counterValue)(const char*, int32_t, int, int64_t*);
  int (*processInstance)(int, char*, unsigned, DWORD*);
  int (*processMemory)(const char*, DWORD, int64_t*);
  int (*processorTime)(const char*, DWORD, int64_t*);
};

std::string libraryPath() {
  const char* build = std::getenv("WL_BUILD_DIR");
  return std::string(build ? build : ".") + "/lib/libperfpeek.so";
}

template <class T>
void bind(void* library, const char* name, T* function) {
  *function = reinterpret_cast<T>(dlsym(library, name));
  ASSERT_NE(nullptr, *function) << name;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

json counter(int index, const char* name, int size) {
  return {{"index", index}, {"name", name}, {"size", size}};
}

// Processes in data order: "System" (4), "svc" (100), "svc" (200), "big" (300).
json fixture(int64_t step) {
  json processes = json::array();
  auto process = [&](const char* name, int id, int64_t virtualBytes, int64_t time) {
    processes.push_back({{"name", name}, {"values", {id, virtualBytes, time, 4100}}});
  };
  process("System", 4, 1 << 20, 10 + step);
  process("svc", 100, 3'000'000, 20 + step);
  process("svc", 200, 4'000'000, 30 + step);
  process("big", 300, 6LL << 30, 40 + step);  // beyond 2 GiB
  return {{"memory", {{"totalPhys", 64 << 20}, {"availPhys", 16 << 20}}},
          {"objects",
           {{{"index", 230},
             {"name", "Process"},
             {"counters",
              {counter(784, "ID Process", 4), counter(174, "Virtual Bytes", 8),
               counter(6, "% Processor Time", 8), counter(5001, "Handle Things", 4)}},
             {"instances", processes}},
            {{"index", 238},
             {"name", "Processor"},
             {"counters", {counter(6, "% Processor Time", 8)}},
             {"instances",
              {{{"name", "0"}, {"values", {1000 + step}}}, {{"name", "1"}, {"values", {2000}}}}}},
            {{"index", 4},
             {"name", "Memory"},
             {"counters", {counter(24, "Available Bytes", 4)}},
             {"values", {-16}}},
            {{"index", 1300},
             {"name", "Server Work Queues"},
             {"counters", {counter(5002, "Queue Length", 4)}},
             {"instances", json::array()}},
            {{"index", 510},
             {"name", "Network Interface"},
             {"counters", {counter(266, "Packets Received/sec", 4)}},
             {"instances", {{{"name", "eth0"}, {"values", {77}}}}}}}}};
}

class PerfPeekTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = environment.directory();
    setenv("WARDENLINE_PERFDATA", (dir_ + "/perfdata.json").c_str(), 1);
    wl_set_calendar_source(&fakeClock);
    std::string root = dir_ + "/root";
    mkdir(root.c_str(), 0755);
    mkdir((root + "/LOGFILES").c_str(), 0755);
    ASSERT_TRUE(wltest::setInstallPathValue(root));
    writeFixture(fixture(0));
    load();
  }
  static void TearDownTestSuite() {
    if (exports_.library) dlclose(exports_.library);
  }
  void SetUp() override {
    fakeNow += 1000;  // names and data are due again
    writeFixture(fixture(0));
  }

  static void load() {
    exports_.library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, exports_.library) << dlerror();
    bind(exports_.library, "PERF_GetVersion", &exports_.getVersion);
    bind(exports_.library, "PERFPEEK_GetSupportedVersions", &exports_.supportedVersions);
    bind(exports_.library, "PERF_GetObjectInstance", &exports_.objectInstance);
    bind(exports_.library, "PERF_GetObjectCounterValue", &exports_.counterValue);
    bind(exports_.library, "PERF_GetProcessInstance", &exports_.processInstance);
    bind(exports_.library, "PERF_GetProcessMemory", &exports_.processMemory);
    bind(exports_.library, "PERF_GetProcessProcessorTime", &exports_.processorTime);
  }
  static void writeFixture(const json& document) {
    std::string path = dir_ + "/perfdata.json";
    std::ofstream(path + ".new") << document.dump();
    std::rename((path + ".new").c_str(), path.c_str());
  }
  static std::string logPath() { return dir_ + "/root/LOGFILES/PERFPEEK.LOG"; }

  // The names of positions 1, 2, ... of an instance type until a non-zero result.
  std::vector<std::string> enumerate(int type) {
    std::vector<std::string> names;
    char name[257];
    for (int position = 1; exports_.objectInstance(position, type, name, sizeof(name)) == 0;
         ++position) {
      names.push_back(name);
    }
    return names;
  }

  static std::string dir_;
  static Exports exports_;
};
std::string PerfPeekTest::dir_;
Exports PerfPeekTest::exports_;

TEST_F(PerfPeekTest, VersionsAndLog) {
  int32_t version = 0;
  EXPECT_EQ(0, exports_.getVersion(&version));
  EXPECT_EQ(2, version);
  EXPECT_EQ(1, exports_.supportedVersions(nullptr));
  int32_t supported = 7;
  EXPECT_EQ(1, exports_.supportedVersions(&supported));
  EXPECT_EQ(0, supported);
  EXPECT_EQ(0u, readFile(logPath()).find("CreateSemaphore() return "));
}

TEST_F(PerfPeekTest, PositionsCountFromTheEndOfTheData) {
  EXPECT_EQ((std::vector<std::string>{"big", "svc", "svc", "System"}), enumerate(6));
  EXPECT_EQ((std::vector<std::string>{"1", "0"}), enumerate(4));
  EXPECT_EQ((std::vector<std::string>{"eth0"}), enumerate(1));
  EXPECT_TRUE(enumerate(5).empty());  // an object without instances
  EXPECT_TRUE(enumerate(2).empty());  // an absent object
  char name[257];
  EXPECT_EQ(-4, exports_.objectInstance(1, 0, name, sizeof(name)));
  EXPECT_EQ(-4, exports_.objectInstance(1, 7, name, sizeof(name)));
  DWORD processId = 0;
  EXPECT_EQ(0, exports_.processInstance(2, name, sizeof(name), &processId));
  EXPECT_STREQ("svc", name);
  EXPECT_EQ(200u, processId);
  EXPECT_EQ(-3, exports_.processInstance(5, name, sizeof(name), &processId));
}

TEST_F(PerfPeekTest, NameMustFitWithItsTerminator) {
  char name[8];
  std::memset(name, 'x', sizeof(name));
  EXPECT_EQ(-2, exports_.objectInstance(4, 6, name, 6));  // "System" is 6 long
  EXPECT_EQ('x', name[0]);
  EXPECT_EQ(0, exports_.objectInstance(4, 6, name, 7));
  EXPECT_STREQ("System", name);
}

TEST_F(PerfPeekTest, PositionBelowOneNeitherRefreshesNorLooks) {
  char name[257];
  EXPECT_EQ(-3, exports_.objectInstance(0, 6, name, sizeof(name)));
  EXPECT_EQ(-3, exports_.objectInstance(-1, 99, name, sizeof(name)));
  DWORD processId = 0;
  EXPECT_EQ(-3, exports_.processInstance(0, name, sizeof(name), &processId));
  // Nothing was refreshed above, so a refresh is still due and sees this data.
  json changed = fixture(0);
  changed["objects"][1]["instances"][1]["name"] = "7";
  writeFixture(changed);
  fakeNow += 1;
  EXPECT_EQ((std::vector<std::string>{"7", "0"}), enumerate(4));
}

TEST_F(PerfPeekTest, CounterValues) {
  int64_t value = 0;
  EXPECT_EQ(0, exports_.counterValue("any name at all", 0, 8, &value));
  EXPECT_EQ(-16, value);  // a 4-byte counter widened with its sign
  EXPECT_EQ(0, exports_.counterValue("1", 0, 1, &value));
  EXPECT_EQ(2000, value);
  EXPECT_EQ(0, exports_.counterValue("System", 0, 25, &value));
  EXPECT_EQ(4, value);
  EXPECT_EQ(-1, exports_.counterValue("SYSTEM", 0, 25, &value));
  EXPECT_EQ(0, exports_.counterValue("eth0", 0, 16, &value));  // from the network block
  EXPECT_EQ(77, value);
  EXPECT_EQ(-1, exports_.counterValue("", 0, 0, &value));
  EXPECT_EQ(-1, exports_.counterValue("", 0, 28, &value));
  EXPECT_EQ(-1, exports_.counterValue("0", 0, 1, nullptr));
  // The first of two same-named processes.
  EXPECT_EQ(0, exports_.counterValue("svc", 0, 26, &value));
  EXPECT_EQ(3'000'000, value);
}

TEST_F(PerfPeekTest, ProcessesResolvedByNameAndId) {
  int64_t value = 0;
  EXPECT_EQ(0, exports_.processMemory("svc", 200, &value));
  EXPECT_EQ(4'000'000, value);
  EXPECT_EQ(0, exports_.processMemory("svc", 100, &value));
  EXPECT_EQ(3'000'000, value);
  EXPECT_EQ(0, exports_.processMemory("big", 300, &value));
  EXPECT_EQ(6LL << 30, value);  // read by its size, not cut to 32 bits
  EXPECT_EQ(0, exports_.processorTime("svc", 200, &value));
  EXPECT_EQ(30, value);
  EXPECT_EQ(-1, exports_.processMemory("svc", 300, &value));
  EXPECT_EQ(-1, exports_.processorTime("nothing", 4, &value));
}

TEST_F(PerfPeekTest, DataIsReadAtMostEveryTenSeconds) {
  int64_t value = 0;
  ASSERT_EQ(0, exports_.counterValue("0", 0, 1, &value));
  EXPECT_EQ(1000, value);
  writeFixture(fixture(5));
  fakeNow += 9;
  ASSERT_EQ(0, exports_.counterValue("0", 0, 1, &value));
  EXPECT_EQ(1000, value);
  fakeNow += 1;
  ASSERT_EQ(0, exports_.counterValue("0", 0, 1, &value));
  EXPECT_EQ(1005, value);
}

TEST_F(PerfPeekTest, DataIsReadAgainWhenTheClockMovedBack) {
  int64_t value = 0;
  ASSERT_EQ(0, exports_.counterValue("0", 0, 1, &value));
  EXPECT_EQ(1000, value);
  writeFixture(fixture(5));
  fakeNow -= 3600;  // the clock was set back an hour
  ASSERT_EQ(0, exports_.counterValue("0", 0, 1, &value));
  EXPECT_EQ(1005, value);
  writeFixture(fixture(7));
  fakeNow += 9;  // from the new time on, the ten-second rule holds again
  ASSERT_EQ(0, exports_.counterValue("0", 0, 1, &value));
  EXPECT_EQ(1005, value);
  fakeNow += 3600;
}

// Enumerating while the data changes under a refresh: a cached list must not
// survive the change.
TEST_F(PerfPeekTest, ListsFollowTheData) {
  EXPECT_EQ(4u, enumerate(6).size());
  json fewer = fixture(0);
  fewer["objects"][0]["instances"].erase(0);
  writeFixture(fewer);
  fakeNow += 10;
  EXPECT_EQ((std::vector<std::string>{"big", "svc", "svc"}), enumerate(6));
}

// A child process holds the semaphore the way a query does.
pid_t holdSemaphoreInChild(int* readyFd) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, "PERF DLL SEMAPHORE");
    if (!semaphore || WaitForSingleObject(semaphore, INFINITE) != WAIT_OBJECT_0) _exit(1);
    char ready = 'r';
    if (write(fds[1], &ready, 1) != 1) _exit(1);
    usleep(1'000'000);
    ReleaseSemaphore(semaphore, 1, nullptr);
    _exit(0);
  }
  close(fds[1]);
  *readyFd = fds[0];
  return child;
}

TEST_F(PerfPeekTest, QueriesOfProcessesAreSerialized) {
  int readyFd = -1;
  pid_t child = holdSemaphoreInChild(&readyFd);
  ASSERT_GT(child, 0);
  char ready = 0;
  ASSERT_EQ(1, read(readyFd, &ready, 1));
  close(readyFd);
  auto start = std::chrono::steady_clock::now();
  char name[257];
  EXPECT_EQ(0, exports_.objectInstance(1, 6, name, sizeof(name)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(700));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(PerfPeekTest, KilledHolderDoesNotBlockOthers) {
  int readyFd = -1;
  pid_t child = holdSemaphoreInChild(&readyFd);
  ASSERT_GT(child, 0);
  char ready = 0;
  ASSERT_EQ(1, read(readyFd, &ready, 1));
  close(readyFd);
  auto query = std::async(std::launch::async, [] {
    char name[257];
    return exports_.objectInstance(1, 4, name, sizeof(name));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  if (query.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "the query is still blocked";
    _exit(1);  // the blocked thread cannot be ended otherwise
  }
  EXPECT_EQ(0, query.get());
}

TEST_F(PerfPeekTest, ReloadEmptiesTheLog) {
  { std::ofstream(logPath(), std::ios::app) << "left over\n"; }
  ASSERT_EQ(0, dlclose(exports_.library));
  exports_.library = nullptr;
  load();
  std::string text = readFile(logPath());
  EXPECT_EQ(std::string::npos, text.find("left over"));
  EXPECT_EQ(0u, text.find("CreateSemaphore() return "));
  EXPECT_EQ((std::vector<std::string>{"1", "0"}), enumerate(4));
}

}  // namespace
