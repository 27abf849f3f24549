// mgrseek as a program: started from a console, run in the foreground and
// stopped, failing to start under a service manager, and the whole road of a
// console: wlipx advertises it, mgrseek writes it into the trap destinations,
// the SNMP service sends the trend agent's next trap there over IPX, and
// wlipx prints it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent/trend/tests/snmp_e2e_support.h"

namespace {

using namespace std::chrono_literals;
using trend::e2e::buildDir;
using trend::e2e::freeUdpPort;
using trend::e2e::readFile;
using trend::e2e::sourceDir;

const char* const kTrapKey =
    "HKLM\\System\\CurrentControlSet\\Services\\SNMP\\Parameters\\TrapConfiguration\\public";
const char* const kIpxKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\NwlnkIpx\\Parameters";

// A program run with its output in files; killed at destruction if still there.
class Program {
 public:
  Program(const std::vector<std::string>& argv, const std::string& outputPrefix,
          const std::map<std::string, std::string>& environment = {})
      : out_(outputPrefix + ".out"), err_(outputPrefix + ".err") {
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
      const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~Program() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // Exit status, or -1 when it did not end normally within `limit`.
  int wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) return -1;
      std::this_thread::sleep_for(5ms);
    }
    ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Signal(int signal) { kill(pid_, signal); }
  std::string Out() const { return readFile(out_); }
  std::string Err() const { return readFile(err_); }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  std::string out_, err_;
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

class MgrseekTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wl-mgrseek-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    setenv("WARDENLINE_OBJECT_NAMESPACE", dir_.c_str(), 1);
    port_ = freeUdpPort();
    Reg("set '" + std::string(kIpxKey) + "' UdpPort REG_DWORD " + std::to_string(port_));
    Reg("set '" + std::string(kIpxKey) + "' BindAddress REG_SZ 127.0.0.1");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Bin(const std::string& name) const { return buildDir() + "/bin/" + name; }
  std::string Reg(const std::string& arguments) const {
    return trend::e2e::run("'" + Bin("wlreg") + "' " + arguments);
  }
  std::string TrapKey() const { return Reg(std::string("query '") + kTrapKey + "'"); }
  std::string Advertise() const {
    return trend::e2e::run("'" + Bin("wlipx") +
                           "' advertise --bind 127.0.0.2 --to 127.0.0.1 --port " +
                           std::to_string(port_));
  }

  std::string dir_;
  int port_ = 0;
};

TEST_F(MgrseekTest, FromAConsoleItSaysHowToRunItAndEnds) {
  Program console({Bin("mgrseek")}, dir_ + "/console");
  EXPECT_EQ(console.wait(2s), 0);
  EXPECT_EQ(console.Out(), "");
  const std::string err = console.Err();
  EXPECT_NE(err.find("mgrseek -f"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(MgrseekTest, ForegroundServiceHearsConsolesAndStopsWithinASecond) {
  Reg(std::string("set '") + kTrapKey + "' 1 REG_SZ 10.0.0.1");
  Program service({Bin("mgrseek"), "-f", "--period", "1"}, dir_ + "/mgrseek");
  // Until its socket is bound advertisements could go unheard: repeat them.
  ASSERT_TRUE(WaitFor(
      [&] {
        Advertise();
        return TrapKey().find("00000000.00007F000002") != std::string::npos;
      },
      10s))
      << TrapKey() << service.Out();
  const std::string key = TrapKey();
  EXPECT_NE(key.find("REG_SZ    10.0.0.1"), std::string::npos) << key;
  EXPECT_NE(service.Out().find("type = 6a02 name: 00007F00000200000000\n"), std::string::npos);

  std::this_thread::sleep_for(300ms);  // the updater is between passes now
  const auto stop = std::chrono::steady_clock::now();
  service.Signal(SIGTERM);
  EXPECT_EQ(service.wait(2s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stop, 1s);
}

TEST_F(MgrseekTest, FailedStartUnderAServiceManagerEndsWithExitCodeOne) {
  Reg("set 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\MGRSEEK' Type REG_DWORD 16");
  Program holder({Bin("wlipx"), "traps", "--bind", "127.0.0.1", "--port", std::to_string(port_)},
                 dir_ + "/holder");
  ASSERT_TRUE(WaitFor([&] { return holder.Out().find("listening") != std::string::npos; }, 5s));
  Program service({Bin("mgrseek")}, dir_ + "/service", {{"WARDENLINE_SERVICE_CONTROLLER", "test"}});
  EXPECT_EQ(service.wait(5s), 1);
  EXPECT_EQ(service.Out(), "FINDWL Error: bind() failed\nFINDWL Error: initialization failed\n");
  const std::string status =
      Reg("query 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\MGRSEEK\\Status'");
  EXPECT_NE(status.find("CurrentState    REG_DWORD    0x1"), std::string::npos) << status;
  EXPECT_NE(status.find("Win32ExitCode    REG_DWORD    0x1"), std::string::npos) << status;
}

TEST_F(MgrseekTest, InitScriptStartsAndStopsTheService) {
  if (access("/sbin/start-stop-daemon", X_OK) != 0 &&
      access("/usr/sbin/start-stop-daemon", X_OK) != 0) {
    GTEST_SKIP() << "no start-stop-daemon";
  }
  const std::string root = dir_ + "/root";
  ASSERT_EQ(std::system(("'" + sourceDir() + "/scripts/install.sh' '" + buildDir() + "' '" + root +
                         "' >/dev/null")
                            .c_str()),
            0);
  const std::string script =
      "MGRSEEK_PIDFILE='" + dir_ + "/mgrseek.pid' '" + root + "/service/mgrseek.init' ";
  const auto state = [&] {
    return Reg("query 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\MGRSEEK\\Status' CurrentState");
  };
  ASSERT_EQ(std::system((script + "start").c_str()), 0);
  EXPECT_TRUE(WaitFor([&] { return state().find("0x4") != std::string::npos; }, 5s)) << state();
  EXPECT_EQ(std::system((script + "status >/dev/null").c_str()), 0);
  ASSERT_EQ(std::system((script + "stop").c_str()), 0);
  EXPECT_NE(state().find("0x1"), std::string::npos) << state();
  EXPECT_NE(std::system((script + "status >/dev/null").c_str()), 0);
}

TEST_F(MgrseekTest, AnAdvertisedConsoleReceivesTheTrendAgentsTraps) {
  // The trend agent, installed with a control whose first sample (within 5
  // seconds) crosses its rising threshold.
  const std::string root = dir_ + "/root";
  ASSERT_EQ(std::system(("'" + sourceDir() + "/scripts/install.sh' '" + buildDir() + "' '" + root +
                         "' >/dev/null")
                            .c_str()),
            0);
  std::ofstream(root + "/INI/CURVEMIB.INI") << "pctMemoryAvailableKBytes 1 10 1 0 0 1 rising\n"
                                               "[TrendFiles]\n";
  Program console({Bin("wlipx"), "traps", "--bind", "127.0.0.2", "--port", std::to_string(port_),
                   "--count", "1"},
                  dir_ + "/console");
  ASSERT_TRUE(WaitFor([&] { return console.Out().find("listening") != std::string::npos; }, 5s))
      << console.Err();
  Program service({Bin("mgrseek"), "-f", "--period", "1"}, dir_ + "/mgrseek");
  ASSERT_TRUE(WaitFor(
      [&] {
        Advertise();
        return TrapKey().find("00000000.00007F000002") != std::string::npos;
      },
      10s))
      << TrapKey();
  Program snmp({Bin("snmpsvc"), "-f", "--agent", "udp:127.0.0.1:" + std::to_string(freeUdpPort())},
               dir_ + "/snmpsvc");
  EXPECT_EQ(console.wait(30s), 0) << snmp.Err();
  const std::string trap = console.Out();
  EXPECT_NE(trap.find("from 00000000.00007F000001:"), std::string::npos) << trap;
  EXPECT_NE(trap.find("SNMPv1 trap, community \"public\", enterprise 1.3.6.1.4.1.64823.2.45.0, "
                      "agent-addr 0.0.0.0, generic 6, specific 8"),
            std::string::npos)
      << trap;
  EXPECT_NE(trap.find("1.3.6.1.4.1.64823.2.45.2.4.0 = INTEGER 5"), std::string::npos) << trap;
  snmp.Signal(SIGTERM);
  EXPECT_EQ(snmp.wait(30s), 0);
  service.Signal(SIGTERM);
  EXPECT_EQ(service.wait(2s), 0);
}

}  // namespace
