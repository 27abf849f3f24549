// libcurvemib.so inside the SNMP service: its exports, start-up with its
// trace log and events, a threshold crossing that reaches a trap receiver,
// SIGTERM, and a failed start-up that ends the service.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "agent/trend/tests/install_root_fixture.h"

namespace trend {
namespace {

using namespace std::chrono_literals;
using testing_support::readWholeFile;
using testing_support::TempInstallRoot;

const testing_support::IsolatedProcess isolation("trend-service-e2e");

std::string buildDir() {
  const char* dir = std::getenv("WL_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

std::string sourceDir() {
  // ctest names the source tree; __FILE__ may be relative to the build tree.
  if (const char* dir = std::getenv("WL_SOURCE_DIR")) return dir;
  // This file is <source>/agent/trend/tests/service_e2e_test.cpp.
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path();
}

int freeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

// A child process that is always ended: SIGTERM by request, SIGKILL at
// destruction if it is still there.
class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> argv) {
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> args;
      for (std::string& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~ChildProcess() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // Exit status after SIGTERM, or -1 when it did not exit normally in time.
  int terminate(std::chrono::seconds limit) {
    kill(pid_, SIGTERM);
    return waitForExit(limit);
  }
  // Exit status, or -1 when it did not exit normally in time.
  int waitForExit(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) return -1;
      std::this_thread::sleep_for(20ms);
    }
    ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
};

template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return done();
}

int shell(const std::string& command) { return std::system(command.c_str()); }

std::string commandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

bool installAgent(const TempInstallRoot& install) {
  return shell("'" + sourceDir() + "/scripts/install.sh' '" + buildDir() + "' '" + install.root() +
               "' >/dev/null") == 0;
}

std::string agentEvents() {
  return commandOutput("'" + buildDir() + "/bin/wlevent' --source 'VO DEDAZ' 2>&1");
}

TEST(CurvemibInService, ExportsOnlyTheEntryPointsAndResources) {
  EXPECT_EQ(commandOutput("nm -D --defined-only '" + buildDir() +
                          "/lib/libcurvemib.so' | awk '{print $3}' | sort"),
            "SnmpExtensionInit\nSnmpExtensionQuery\nSnmpExtensionQueryEx\nSnmpExtensionTrap\nwl_module_resources\n");
}

TEST(CurvemibInService, ThresholdTrapReachesReceiverAndSigtermUnloads) {
  const std::string trapReceiver = "/usr/sbin/snmptrapd";
  if (access(trapReceiver.c_str(), X_OK) != 0) GTEST_SKIP() << "snmptrapd is not installed";
  const std::string service = buildDir() + "/bin/snmpsvc";
  const std::string wlreg = buildDir() + "/bin/wlreg";
  if (access(service.c_str(), X_OK) != 0) GTEST_SKIP() << "snmpsvc is not built";

  // Available memory is always above a rising threshold of 0: the first
  // sample (every 5 seconds) raises a trap of class 8.
  TempInstallRoot install(
      "pctMemoryAvailableKBytes 1 10 1 0 0 1 rising\n"
      "[TrendFiles]\n");
  ASSERT_TRUE(installAgent(install));
  const int trapPort = freeUdpPort();
  const int agentPort = freeUdpPort();
  ASSERT_NE(trapPort, 0);
  ASSERT_EQ(shell("'" + wlreg +
                  "' set 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\"
                  "TrapConfiguration\\public' 1 REG_SZ 127.0.0.1:" +
                  std::to_string(trapPort)),
            0);

  const std::string trapLog = install.root() + "/traps.txt";
  const std::string trapConfig = install.root() + "/snmptrapd.conf";
  std::ofstream(trapConfig) << "disableAuthorization yes\n";
  ChildProcess receiver({trapReceiver, "-f", "-n", "-C", "-c", trapConfig, "-Lf", trapLog, "-M",
                         "/dev/null", "-m", "", "udp:127.0.0.1:" + std::to_string(trapPort)});
  ASSERT_TRUE(receiver.started());
  ChildProcess agentHost({service, "-f", "--agent", "udp:127.0.0.1:" + std::to_string(agentPort)});
  ASSERT_TRUE(agentHost.started());

  ASSERT_TRUE(waitUntil(
      [&] { return install.logText().find("ntrend init() return\n") != std::string::npos; }, 20s))
      << install.logText();
  const std::string startLog = install.logText();
  EXPECT_NE(startLog.find(" SnmpExtensionInit() return\n"), std::string::npos) << startLog;
  EXPECT_NE(startLog.find("class:8, , index: 1\n\n Control Index List:........\nindex:1, \n"
                          "   Control Record:\n"
                          "class: 8, interval: 1, bucket: 10, rising: 0, falling: 0\n"
                          "   Deprecated Controls:\n"),
            std::string::npos)
      << startLog;
  EXPECT_TRUE(waitUntil(
      [&] { return readWholeFile(trapLog).find("64823.2.45.2.4.0") != std::string::npos; }, 20s))
      << readWholeFile(trapLog);
  const std::string traps = readWholeFile(trapLog);
  EXPECT_NE(traps.find("3.6.1.4.1.64823.2.45.0 Enterprise Specific Trap (8)"), std::string::npos)
      << traps;
  EXPECT_NE(traps.find("3.6.1.4.1.64823.2.45.2.3.0 = INTEGER: 0"), std::string::npos) << traps;
  EXPECT_NE(traps.find("3.6.1.4.1.64823.2.45.2.4.0 = INTEGER: 5"), std::string::npos) << traps;
  EXPECT_NE(install.logText().find("..................TRAP 8............"), std::string::npos);

  EXPECT_EQ(agentHost.terminate(30s), 0);
  EXPECT_NE(install.logText().find("ntrend_Exit() function...\n"), std::string::npos);
  const std::string events = agentEvents();
  EXPECT_NE(events.find("1001 RIREVU001001I: The VO DEDAZ MIB Agent is loaded."), std::string::npos)
      << events;
  EXPECT_NE(events.find("1002 RIREVU001002I: The VO DEDAZ MIB Agent is unloaded."),
            std::string::npos)
      << events;
  receiver.terminate(10s);
}

TEST(CurvemibInService, SecondAgentOverTheSameHistoryRefusesToStart) {
  const std::string service = buildDir() + "/bin/snmpsvc";
  const std::string wlreg = buildDir() + "/bin/wlreg";
  if (access(service.c_str(), X_OK) != 0) GTEST_SKIP() << "snmpsvc is not built";
  if (shell("command -v snmpget >/dev/null") != 0) GTEST_SKIP() << "snmpget is not installed";
  TempInstallRoot install(
      "pctMemoryAvailableKBytes 1 10 1 0 0 2 rising\n"
      "[TrendFiles]\n");
  ASSERT_TRUE(installAgent(install));
  ASSERT_EQ(shell("'" + wlreg +
                  "' set 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\"
                  "ValidCommunities' public REG_DWORD 4"),
            0);
  const std::string firstPort = std::to_string(freeUdpPort());
  ChildProcess first({service, "-f", "--agent", "udp:127.0.0.1:" + firstPort});
  ASSERT_TRUE(first.started());
  // The newest sample's number of control 1, as the first service answers it.
  const std::string lastSample = "snmpget -v1 -c public -Oqv -r 1 -t 3 udp:127.0.0.1:" + firstPort +
                                 " 1.3.6.1.4.1.64823.2.45.1.1.1.14.8.1 2>&1";
  ASSERT_TRUE(waitUntil([&] { return commandOutput(lastSample) == "1\n"; }, 20s))
      << install.logText();

  ChildProcess second({service, "-f", "--agent", "udp:127.0.0.1:" + std::to_string(freeUdpPort())});
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.waitForExit(20s), 1);
  const std::string log = install.logText();
  EXPECT_NE(log.find("ntrend init() return\n"), std::string::npos) << log;  // not emptied
  EXPECT_NE(log.find("is in use by another agent.\n"), std::string::npos) << log;
  const std::string events = agentEvents();
  EXPECT_NE(events.find("1010 RIREVU001010E"), std::string::npos) << events;

  // The first one goes on sampling and answering.
  EXPECT_TRUE(waitUntil([&] { return commandOutput(lastSample) == "2\n"; }, 15s))
      << commandOutput(lastSample) << install.logText();
  EXPECT_EQ(first.terminate(30s), 0);
}

TEST(CurvemibInService, FailedStartupEndsTheServiceWithStatusOne) {
  const std::string service = buildDir() + "/bin/snmpsvc";
  if (access(service.c_str(), X_OK) != 0) GTEST_SKIP() << "snmpsvc is not built";
  TempInstallRoot install;
  ASSERT_TRUE(installAgent(install));
  std::filesystem::remove(install.root() + "/INI/CURVEMIB.INI");
  ChildProcess agentHost(
      {service, "-f", "--agent", "udp:127.0.0.1:" + std::to_string(freeUdpPort())});
  ASSERT_TRUE(agentHost.started());
  EXPECT_EQ(agentHost.waitForExit(20s), 1);

  const std::string log = install.logText();
  EXPECT_NE(log.find("fopen(ntrend.ini) failed.\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("ntrend init() return\n"), std::string::npos) << log;
  EXPECT_NE(log.find("ntrend_Exit() function...\n"), std::string::npos) << log;
  const std::string events = agentEvents();
  EXPECT_NE(events.find("1009 RIREVU001009E"), std::string::npos) << events;
  EXPECT_NE(events.find("1003 RIREVU001003E"), std::string::npos) << events;
}

}  // namespace
}  // namespace trend
