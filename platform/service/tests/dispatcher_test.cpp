// The dispatcher from a console and under a service manager: the stop signal
// reaches the handler on the dispatcher's thread, systemd hears READY and
// STOPPING, the registry holds the last status, a failed start ends the
// process with its exit code.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "registry_store.h"
#include "win32/registry.h"
#include "win32/winsvc.h"

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
std::thread::id handlerThread;
DWORD startExitCode = 0;

void Report(DWORD state, DWORD exitCode = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32;
  status.dwCurrentState = state;
  status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
  status.dwWin32ExitCode = exitCode;
  SetServiceStatus(statusHandle, &status);
}

void WINAPI Handler(DWORD control) {
  if (control != SERVICE_CONTROL_STOP) return;
  handlerThread = std::this_thread::get_id();
  Report(SERVICE_STOP_PENDING);
  Report(SERVICE_STOPPED);
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  statusHandle = RegisterServiceCtrlHandlerA("testsvc", Handler);
  if (statusHandle == nullptr) return;
  if (startExitCode != 0) {
    Report(SERVICE_STOPPED, startExitCode);
    return;
  }
  Report(SERVICE_RUNNING);
  kill(getpid(), SIGTERM);  // the service manager's stop
}

char serviceName[] = "TESTSVC";
const SERVICE_TABLE_ENTRYA kTable[] = {{serviceName, ServiceMain}, {nullptr, nullptr}};

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wlsvcXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    wl::ResetRegistryForTesting();
    unsetenv("WARDENLINE_SERVICE_CONTROLLER");
    unsetenv("NOTIFY_SOCKET");
    startExitCode = 0;
  }
  void TearDown() override {
    if (notify_ >= 0) close(notify_);
    wl::ResetRegistryForTesting();
    std::filesystem::remove_all(dir_);
  }

  void ListenForNotifications() {
    notify_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir_ + "/notify";
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(notify_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
  }

  std::vector<std::string> Notifications() {
    std::vector<std::string> messages;
    char buffer[256];
    ssize_t n;
    while ((n = recv(notify_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
      messages.emplace_back(buffer, static_cast<size_t>(n));
    }
    return messages;
  }

  DWORD StatusValue(const char* name) {
    DWORD value = 0xDEAD, size = sizeof value;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TESTSVC\\Status", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
      RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
      RegCloseKey(key);
    }
    return value;
  }

  std::string dir_;
  int notify_ = -1;
};

TEST_F(DispatcherTest, FromAConsoleTheDispatcherCannotConnect) {
  EXPECT_FALSE(StartServiceCtrlDispatcherA(kTable));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
  EXPECT_EQ(RegisterServiceCtrlHandlerA("TESTSVC", Handler), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_IN_EXE));
  SERVICE_STATUS status{};
  EXPECT_FALSE(SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(1), &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(DispatcherTest, StopSignalReachesTheHandlerAndEveryStatusIsRecorded) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TESTSVC", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ListenForNotifications();
  setenv("WARDENLINE_SERVICE_CONTROLLER", "test", 1);
  ASSERT_TRUE(StartServiceCtrlDispatcherA(kTable));
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  const std::vector<std::string> messages = Notifications();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].rfind("READY=1", 0), 0u);
  EXPECT_EQ(messages[1], "STOPPING=1");
  EXPECT_EQ(messages[2].rfind("STOPPING=1", 0), 0u);
  EXPECT_EQ(StatusValue("CurrentState"), SERVICE_STOPPED);
  EXPECT_EQ(StatusValue("Win32ExitCode"), 0u);
  EXPECT_EQ(StatusValue("ProcessId"), static_cast<DWORD>(getpid()));
  // The stop restored the signal's default action.
  struct sigaction current = {};
  sigaction(SIGTERM, nullptr, &current);
  EXPECT_EQ(current.sa_handler, SIG_DFL);
}

TEST_F(DispatcherTest, FailedStartEndsTheProcessWithItsExitCode) {
  setenv("WARDENLINE_SERVICE_CONTROLLER", "test", 1);
  startExitCode = 1;
  EXPECT_EXIT(StartServiceCtrlDispatcherA(kTable), ::testing::ExitedWithCode(1), "");
  // In the foreground the dispatcher just returns.
  EXPECT_TRUE(wl_StartServiceCtrlDispatcherForeground(kTable));
}

}  // namespace
