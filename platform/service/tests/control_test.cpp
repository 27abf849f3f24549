// The control side of the service manager and WinExec's Net command, on a
// private registry and system prefix with init scripts that keep their state
// in a file.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "registry_store.h"
#include "win32/registry.h"
#include "win32/winsvc.h"

namespace fs = std::filesystem;

namespace {

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/scm-control-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    setenv("WARDENLINE_SYSTEM_PREFIX", (dir_ + "/sys/").c_str(), 1);
    wl::ResetRegistryForTesting();
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    CloseServiceHandle(manager_);
    wl::ResetRegistryForTesting();
    fs::remove_all(dir_);
  }
  void Key(const std::string& path, const char* name, DWORD value) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(k);
  }
  // Service NAME run by the init script "program" (its ImagePath's name).
  void Install(const std::string& name, const std::string& program, bool running) {
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    Key(key, "Type", SERVICE_WIN32_OWN_PROCESS);
    HKEY k = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &k);
    const std::string image = "/opt/x/bin/" + program + " -f";
    RegSetValueExA(k, "ImagePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(image.c_str()),
                   static_cast<DWORD>(image.size() + 1));
    RegCloseKey(k);
    fs::create_directories(dir_ + "/sys/etc/init.d");
    const std::string state = dir_ + "/" + program + ".state";
    std::ofstream(dir_ + "/sys/etc/init.d/" + program)
        << "#!/bin/sh\ncase $1 in start) touch " << state << ";; stop) rm -f " << state
        << ";; status) test -f " << state << ";; esac\n";
    chmod((dir_ + "/sys/etc/init.d/" + program).c_str(), 0755);
    if (running) std::ofstream{state};
  }
  DWORD State(const char* name) {
    SC_HANDLE s = OpenServiceA(manager_, name, SERVICE_ALL_ACCESS);
    if (s == nullptr) return 0;
    SERVICE_STATUS status{};
    QueryServiceStatus(s, &status);
    CloseServiceHandle(s);
    return status.dwCurrentState;
  }
  std::string dir_;
  SC_HANDLE manager_ = nullptr;
};

TEST_F(ControlTest, AServiceNeedsItsKeyAndAUnitOrScript) {
  EXPECT_EQ(OpenServiceA(manager_, "MGRSEEK", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  Key("SYSTEM\\CurrentControlSet\\Services\\MGRSEEK", "Type", 0x10);
  EXPECT_EQ(OpenServiceA(manager_, "MGRSEEK", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(OpenServiceA(manager_, "../etc", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(OpenServiceA(manager_, std::string(300, 'n').c_str(), SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(OpenSCManagerA("otherhost", nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
}

TEST_F(ControlTest, TheStateIsTheReportedOneWhileItsProcessLives) {
  Install("MGRSEEK", "mgrseek", false);
  const std::string status = "SYSTEM\\CurrentControlSet\\Services\\MGRSEEK\\Status";
  Key(status, "CurrentState", SERVICE_STOP_PENDING);
  Key(status, "ProcessId", static_cast<DWORD>(getpid()));
  EXPECT_EQ(State("MGRSEEK"), SERVICE_STOP_PENDING);
  // A process that ended without reporting stopped.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  Key(status, "ProcessId", static_cast<DWORD>(child));
  EXPECT_EQ(State("MGRSEEK"), SERVICE_STOPPED);
  // No record: the init script's status.
  Install("Other", "other", true);
  EXPECT_EQ(State("Other"), SERVICE_RUNNING);
}

TEST_F(ControlTest, StopThroughTheScriptThenDelete) {
  Install("MGRSEEK", "mgrseek", true);
  Key("SYSTEM\\CurrentControlSet\\Services\\MGRSEEK\\Status", "Unrelated", 1);
  SC_HANDLE s = OpenServiceA(manager_, "mgrseek", SERVICE_ALL_ACCESS);  // any case
  ASSERT_NE(s, nullptr);
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  ASSERT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_FALSE(ControlService(s, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  ASSERT_TRUE(DeleteService(s));
  EXPECT_TRUE(CloseServiceHandle(s));
  EXPECT_FALSE(fs::exists(dir_ + "/sys/etc/init.d/mgrseek"));
  HKEY k = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\MGRSEEK", 0,
                          KEY_READ, &k),
            ERROR_SUCCESS);
}

TEST_F(ControlTest, NetStopAndStartTheSnmpService) {
  Install("SNMP", "snmpsvc", true);
  EXPECT_GT(WinExec("Net stop \"SNMP\"", SW_HIDE), 31u);
  EXPECT_FALSE(fs::exists(dir_ + "/snmpsvc.state"));
  EXPECT_GT(WinExec("Net stop \"SNMP\"", SW_HIDE), 31u);  // already stopped
  EXPECT_GT(WinExec("Net start \"SNMP Service\"", SW_HIDE), 31u);
  EXPECT_TRUE(fs::exists(dir_ + "/snmpsvc.state"));
  EXPECT_EQ(WinExec("Net start \"NOSUCH\"", SW_HIDE), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(WinExec("Net frobnicate SNMP", SW_HIDE), 0u);
  EXPECT_EQ(WinExec("/no/such/program", SW_HIDE), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
  EXPECT_GT(WinExec("/bin/true", SW_HIDE), 31u);
}

}  // namespace
