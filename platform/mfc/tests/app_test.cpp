// The application object of a regular DLL: InitInstance and ExitInstance at
// load and unload, its own module state, and a failed InitInstance that
// keeps the library from loading.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "mfc/afxwin.h"

namespace {

const WlMessageEntry kMessages[] = {{1, "APPTEST%0\r\n"}};
const WlMessageEntry kStrings[] = {{101, "program string %s"}};

std::vector<std::string> g_events;
int g_eventFd = -1;  // also written here, one line per event, when set

}  // namespace

WL_DEFINE_MODULE_RESOURCES(kMessages, kStrings);

extern "C" __attribute__((visibility("default"))) void wlmfc_test_event(const char* what) {
  g_events.push_back(what);
  if (g_eventFd >= 0) {
    const std::string line = std::string(what) + "\n";
    if (write(g_eventFd, line.data(), line.size()) < 0) g_eventFd = -1;
  }
}

namespace {

int ThreadCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

bool Loaded() {
  void* handle = dlopen(WL_TEST_APP_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_events.clear();
    unsetenv("WLMFC_TEST_INIT");
  }
  void TearDown() override { unsetenv("WLMFC_TEST_INIT"); }
};

TEST_F(AppTest, InitInstanceAtLoadExitInstanceAtUnloadInTheLibrarysState) {
  const int threadsBefore = ThreadCount();
  HMODULE module = LoadLibraryA(WL_TEST_APP_PATH);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(g_events, (std::vector<std::string>{"init:own-state"}));
  EXPECT_EQ(ThreadCount(), threadsBefore + 1);  // the library's worker runs

  // A second reference runs nothing more.
  HMODULE again = LoadLibraryA(WL_TEST_APP_PATH);
  EXPECT_EQ(again, module);
  EXPECT_EQ(g_events.size(), 1u);

  // Inside the library's exports its own tables answer; here the program's.
  using FormatFn = void (*)(CString*);
  using InstanceFn = HINSTANCE (*)();
  auto format = reinterpret_cast<FormatFn>(GetProcAddress(module, "TestAppFormat"));
  auto instance = reinterpret_cast<InstanceFn>(GetProcAddress(module, "TestAppInstance"));
  ASSERT_NE(format, nullptr);
  ASSERT_NE(instance, nullptr);
  CString text;
  format(&text);
  EXPECT_EQ(std::u16string(static_cast<LPCWSTR>(text)), u"library string x");
  EXPECT_EQ(instance(), module);
  text.Format(101u, u"y");
  EXPECT_EQ(std::u16string(static_cast<LPCWSTR>(text)), u"program string y");
  EXPECT_EQ(AfxGetInstanceHandle(), nullptr);
  EXPECT_EQ(AfxGetApp(), nullptr);  // the program holds no application object

  EXPECT_TRUE(FreeLibrary(again));
  EXPECT_EQ(g_events.size(), 1u);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(g_events, (std::vector<std::string>{"init:own-state", "exit"}));
  EXPECT_FALSE(Loaded());
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(AppTest, ExitInstanceRunsAtProcessExitWithoutFreeLibrary) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    g_eventFd = fds[1];
    std::exit(LoadLibraryA(WL_TEST_APP_PATH) == nullptr ? 2 : 0);
  }
  close(fds[1]);
  std::string events;
  char buffer[256];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) events.append(buffer, n);
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(events, "init:own-state\nexit\n");
}

TEST_F(AppTest, FailedInitInstanceKeepsTheLibraryOut) {
  const int threadsBefore = ThreadCount();
  setenv("WLMFC_TEST_INIT", "fail", 1);
  testing::internal::CaptureStderr();
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(WL_TEST_APP_PATH), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  const std::string log = testing::internal::GetCapturedStderr();
  // ExitInstance ran once, the worker it started is gone, nothing is mapped.
  EXPECT_EQ(g_events, (std::vector<std::string>{"init:own-state", "exit"}));
  EXPECT_EQ(ThreadCount(), threadsBefore);
  EXPECT_FALSE(Loaded());
  EXPECT_NE(log.find("InitInstance of the application failed"), std::string::npos) << log;
  EXPECT_NE(log.find("did not initialise"), std::string::npos) << log;

  // Once the cause is gone, the library loads.
  unsetenv("WLMFC_TEST_INIT");
  HMODULE module = LoadLibraryA(WL_TEST_APP_PATH);
  ASSERT_NE(module, nullptr);
  EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(AppTest, DataFileLoadsRunNoEntryPointAndDeferTheDetach) {
  HMODULE data = LoadLibraryExA(WL_TEST_APP_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(g_events.empty());
  HMODULE module = LoadLibraryA(WL_TEST_APP_PATH);
  ASSERT_EQ(module, data);
  EXPECT_EQ(g_events.size(), 1u);
  // The full reference goes first: the data-file one still holds the library.
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(g_events.size(), 1u);
  EXPECT_TRUE(FreeLibrary(data));
  EXPECT_EQ(g_events, (std::vector<std::string>{"init:own-state", "exit"}));
  EXPECT_FALSE(Loaded());
}

}  // namespace
