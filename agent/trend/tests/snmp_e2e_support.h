// Test support for end-to-end runs of the trend agent inside the SNMP service:
// a private installation (registry, install root, configuration, performance
// data fixture, clock offset file), the service as a child process on a free
// port, and the net-snmp command-line clients.
//
// Every installation lives in its own temporary directory and every service
// in its own named-object namespace; the service is ended by the destructor.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace trend::e2e {

using namespace std::chrono_literals;

// The build directory: WL_BUILD_DIR, else the parent of this program's
// "bin" directory.
inline std::string buildDir() {
  const char* dir = std::getenv("WL_BUILD_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().parent_path().string();
}

// The source tree: WL_SOURCE_DIR, else the tree this header lies in.
inline std::string sourceDir() {
  const char* dir = std::getenv("WL_SOURCE_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  const std::string header = __FILE__;
  const std::string tail = "/agent/trend/tests/snmp_e2e_support.h";
  if (header.size() > tail.size() &&
      header.compare(header.size() - tail.size(), tail.size(), tail) == 0) {
    return header.substr(0, header.size() - tail.size());
  }
  return ".";
}

inline std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Standard output (and, with stderr, standard error) of a shell command.
inline std::string run(const std::string& command, bool withStderr = true) {
  std::string output;
  FILE* pipe = popen((command + (withStderr ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) result.push_back(line);
  }
  return result;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  // Written beside and renamed, so that a reader never sees half a file.
  const std::string temporary = path + ".new";
  std::ofstream(temporary, std::ios::binary) << text;
  std::filesystem::rename(temporary, path);
}

// A UDP port nobody listens on at the moment.
inline int freeUdpPort() {
  int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  close(s);
  return ntohs(address.sin_port);
}

// Waits until `done` holds or the limit passes; returns the last result.
template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return done();
}

// One installation of the trend agent for the SNMP service.
class Installation {
 public:
  Installation() {
    char pattern[] = "/tmp/wl-trend-e2e-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr) std::abort();
    dir_ = dir;
    registry_ = dir_ + "/registry.db";
    root_ = dir_ + "/root";
    perfData_ = dir_ + "/perfdata.json";
    clockFile_ = dir_ + "/clock-offset";
    setClockOffset(0);
  }
  ~Installation() {
    if (std::getenv("WL_KEEP_E2E") == nullptr) std::filesystem::remove_all(dir_);
  }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  // Installs the agent with this configuration file and the trap destination
  // udp:127.0.0.1:trapPort for community "public". Returns install.sh's
  // complaints, empty on success.
  std::string install(const std::string& configuration, int trapPort) {
    std::string failure = run(
        environment() + " " + shellQuote(sourceDir() + "/scripts/install.sh") + " " +
        shellQuote(buildDir()) + " " + shellQuote(root_) + " >/dev/null || echo install-failed");
    if (failure.find("install-failed") != std::string::npos) return failure;
    writeFile(root_ + "/INI/CURVEMIB.INI", configuration);
    const std::string parameters = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
    for (const std::string& command :
         {wlreg("set", parameters + "\\ValidCommunities", "public REG_DWORD 4"),
          wlreg("set", parameters + "\\ValidCommunities", "private REG_DWORD 8"),
          wlreg("set", parameters + "\\TrapConfiguration\\public",
                "1 REG_SZ " + shellQuote("127.0.0.1:" + std::to_string(trapPort)))}) {
      std::string output = run(command + " || echo wlreg-failed");
      if (output.find("wlreg-failed") != std::string::npos) return output;
    }
    return "";
  }

  void setPerfData(const std::string& json) { writeFile(perfData_, json); }
  // Seconds added to the calendar clock of the service.
  void setClockOffset(long long seconds) { writeFile(clockFile_, std::to_string(seconds) + "\n"); }

  // The environment a process of this installation runs with.
  std::string environment() const {
    return "WARDENLINE_REGISTRY=" + shellQuote(registry_) +
           " WARDENLINE_PERFDATA=" + shellQuote(perfData_) +
           " WARDENLINE_CLOCK_OFFSET_FILE=" + shellQuote(clockFile_) +
           " WARDENLINE_OBJECT_NAMESPACE=" +
           shellQuote("trend-e2e-" + dir_.substr(dir_.rfind('/') + 1));
  }

  std::string historyDirectory() const { return root_ + "/TrenFile"; }
  std::string traceLog() const { return readFile(root_ + "/LOGFILES/CURVEMIB.LOG"); }
  const std::string& dir() const { return dir_; }
  const std::string& perfDataPath() const { return perfData_; }
  const std::string& registryPath() const { return registry_; }
  const std::string& clockFile() const { return clockFile_; }

 private:
  std::string wlreg(const std::string& verb, const std::string& key, const std::string& rest) {
    return environment() + " " + shellQuote(buildDir() + "/bin/wlreg") + " " + verb + " " +
           shellQuote(key) + " " + rest;
  }

  std::string dir_;
  std::string registry_;
  std::string root_;
  std::string perfData_;
  std::string clockFile_;
};

// The SNMP service with the installation's agents, as a child process.
class Service {
 public:
  Service(const Installation& installation, int port) : installation_(installation), port_(port) {}
  ~Service() { stop(); }
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Starts the service and waits until the trend agent answers.
  bool start() {
    stop();
    const std::string log = installation_.dir() + "/snmpsvc.log";
    const std::string command =
        "exec env " + installation_.environment() + " " + shellQuote(buildDir() + "/bin/snmpsvc") +
        " -f --agent udp:127.0.0.1:" + std::to_string(port_) + " >>" + shellQuote(log) + " 2>&1";
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) return false;
    return waitUntil(
        [&] {
          return run(client("snmpget") + " 1.3.6.1.4.1.64823.2.45.1.1.1.1.0.0").find("Timeout") ==
                     std::string::npos &&
                 alive();
        },
        20s);
  }

  bool alive() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  // SIGTERM (the agent writes its histories back), SIGKILL after 10 s.
  void stop() { end(SIGTERM); }
  void kill() { end(SIGKILL); }

  // A net-snmp client command line aimed at the service (SNMPv1, community
  // public unless given), printing numeric names.
  std::string client(const std::string& tool, const std::string& options = "-v1 -c public") const {
    return tool + " " + options + " -Oen -Ir -r 1 -t 3 -M " +
           shellQuote(sourceDir() + "/mibs:" + sourceDir() + "/mibs/base") +
           " -m WARDENLINE-TREND-MIB udp:127.0.0.1:" + std::to_string(port_);
  }

  int port() const { return port_; }

 private:
  void end(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    bool ended = waitUntil([&] { return waitpid(pid_, nullptr, WNOHANG) != 0; }, 10s);
    if (!ended) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

  const Installation& installation_;
  int port_;
  pid_t pid_ = -1;
};

// snmptrapd writing every trap it receives to a file.
class TrapReceiver {
 public:
  TrapReceiver(const std::string& dir, int port) : file_(dir + "/traps.log"), port_(port) {}
  ~TrapReceiver() { stop(); }
  TrapReceiver(const TrapReceiver&) = delete;
  TrapReceiver& operator=(const TrapReceiver&) = delete;

  bool start() {
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      const std::string port = "udp:127.0.0.1:" + std::to_string(port_);
      execlp("snmptrapd", "snmptrapd", "-f", "-C", "-n", "-On", "--disableAuthorization=yes", "-m",
             "", "-Lf", file_.c_str(), "-F", "TRAP enterprise=%N specific=%q generic=%w vars=%v\n",
             port.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) return false;
    return waitUntil([&] { return readFile(file_).find("NET-SNMP version") != std::string::npos; },
                     10s);
  }

  // The lines of the received traps, in arrival order.
  std::vector<std::string> traps() const {
    std::vector<std::string> result;
    for (const std::string& line : lines(readFile(file_))) {
      if (line.rfind("TRAP ", 0) == 0) result.push_back(line);
    }
    return result;
  }

  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string file_;
  int port_;
  pid_t pid_ = -1;
};

}  // namespace trend::e2e
