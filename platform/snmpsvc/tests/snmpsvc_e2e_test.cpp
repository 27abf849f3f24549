// snmpsvc with real clients: snmpget, snmpwalk, snmpbulkwalk, snmpset and
// snmptrapd on free ports, a temporary registry and the test extension agents.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "e2e_fixture.h"
#include "service_config.h"

namespace snmpsvc::e2e {
namespace {

const std::string kTable = ".1.3.6.1.4.1.64823.99.1";
const std::string kAdjacent = ".1.3.6.1.4.1.64823.99.2";
const std::string kTrigger = kTable + ".2.0";
constexpr int kRows = 10;

std::string Under(const std::string& child) { return std::string(kParametersKey) + "\\" + child; }

std::string Cell(int column, int row) {
  return kTable + ".1.1." + std::to_string(column) + "." + std::to_string(row);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// A trap receiver on a free port, printing one line per trap.
class TrapReceiver {
 public:
  explicit TrapReceiver(const std::string& directory) {
    port_ = FreeUdpPort();
    std::string config = directory + "/snmptrapd" + std::to_string(port_) + ".conf";
    RunCommand({"sh", "-c", "echo 'disableAuthorization yes' > " + config});
    log_ = directory + "/traps" + std::to_string(port_) + ".log";
    // -F formats v1 traps, the format after -F for v2c too (same for both).
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/sbin/snmptrapd", "-f", "-On", "-C", "-c", config, "-Lf",
                                 log_, "-p",
                                 directory + "/snmptrapd" + std::to_string(port_) + ".pid", "-F",
                                 "TRAP %N generic=%w specific=%q community=%P vars=%v\n",
                                 "udp:127.0.0.1:" + std::to_string(port_)},
        directory + "/snmptrapd-stdout.log");
    WaitForText(log_, "NET-SNMP version", std::chrono::seconds(5));
  }
  int port() const { return port_; }
  const std::string& log() const { return log_; }

 private:
  int port_;
  std::string log_;
  std::unique_ptr<ChildProcess> process_;
};

class SnmpsvcTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new TempDir();
    const std::string& dir = directory_->path();
    setenv("WARDENLINE_REGISTRY", (dir + "/registry.db").c_str(), 1);
    setenv("SNMPSVC_TEST_ROWS", std::to_string(kRows).c_str(), 1);
    setenv("SNMPSVC_TEST_UNLOAD_FILE", (dir + "/unloaded").c_str(), 1);
    // net-snmp clients and daemons read nothing of the machine's.
    setenv("SNMPCONFPATH", dir.c_str(), 1);
    setenv("SNMP_PERSISTENT_DIR", dir.c_str(), 1);
    setenv("MIBS", "", 1);
    setenv("HOME", dir.c_str(), 1);

    SetRegistryString(Under("ExtensionAgents"), "1", "SOFTWARE\\SnmpsvcTest\\Table");
    SetRegistryString(Under("ExtensionAgents"), "2", "SOFTWARE\\SnmpsvcTest\\Failing");
    SetRegistryString(Under("ExtensionAgents"), "3", "SOFTWARE\\SnmpsvcTest\\Adjacent");
    SetRegistryString("SOFTWARE\\SnmpsvcTest\\Table", "Pathname",
                      BuildPath("lib/libsnmpsvc_test_table.so"));
    SetRegistryString("SOFTWARE\\SnmpsvcTest\\Failing", "Pathname",
                      BuildPath("lib/libsnmpsvc_test_failing.so"));
    SetRegistryString("SOFTWARE\\SnmpsvcTest\\Adjacent", "Pathname",
                      BuildPath("lib/libsnmpsvc_test_adjacent.so"));
    SetRegistryNumber(Under("ValidCommunities"), "public", 4);
    SetRegistryNumber(Under("ValidCommunities"), "private", 8);
    SetRegistryNumber(Under("ValidCommunities"), "trapsonly", 2);
    SetRegistryString(Under("RFC1156Agent"), "sysContact", "ops@example.net");
    SetRegistryString(Under("RFC1156Agent"), "sysLocation", "rack 7");
    SetRegistryNumber(kParametersKey, "EnableAuthenticationTraps", 1);

    receiver_ = new TrapReceiver(dir);
    SetRegistryString(Under("TrapConfiguration\\public"), "1",
                      "127.0.0.1:" + std::to_string(receiver_->port()));
    SetRegistryString(Under("TrapConfiguration\\public"), "2", "0000ABCD.00A0C9123456");

    port_ = FreeUdpPort();
    service_ = new ChildProcess(
        {BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:127.0.0.1:" + std::to_string(port_)},
        dir + "/snmpsvc.log");
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (Run({"snmpget", "-v2c", "-c", "public", Target(), ".1.3.6.1.2.1.1.3.0"}).exitStatus == 0)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  static void TearDownTestSuite() {
    delete service_;
    delete receiver_;
    delete directory_;
    service_ = nullptr;
    receiver_ = nullptr;
    directory_ = nullptr;
  }

  static std::string Target() { return "127.0.0.1:" + std::to_string(port_); }

  // Runs a client with one retry and a short time-out, numeric OIDs.
  static CommandResult Run(std::vector<std::string> argv) {
    argv.insert(argv.begin() + 1, {"-On", "-t", "1", "-r", "1"});
    return RunCommand(argv);
  }

  static std::string ServiceLog() { return ReadFile(directory_->path() + "/snmpsvc.log"); }

  static TempDir* directory_;
  static TrapReceiver* receiver_;
  static ChildProcess* service_;
  static int port_;
};

TempDir* SnmpsvcTest::directory_ = nullptr;
TrapReceiver* SnmpsvcTest::receiver_ = nullptr;
ChildProcess* SnmpsvcTest::service_ = nullptr;
int SnmpsvcTest::port_ = 0;

TEST_F(SnmpsvcTest, SystemGroupComesFromTheRegistry) {
  CommandResult v1 = Run({"snmpget", "-v1", "-c", "public", Target(), "1.3.6.1.2.1.1.4.0"});
  ASSERT_EQ(v1.exitStatus, 0) << v1.output << ServiceLog();
  EXPECT_NE(v1.output.find("STRING: \"ops@example.net\""), std::string::npos) << v1.output;
  CommandResult all = Run({"snmpwalk", "-v2c", "-c", "public", Target(), "1.3.6.1.2.1.1"});
  ASSERT_EQ(all.exitStatus, 0) << all.output;
  std::vector<std::string> lines = Lines(all.output);
  ASSERT_EQ(lines.size(), 7u) << all.output;
  EXPECT_NE(lines[0].find("Wardenline"), std::string::npos);
  EXPECT_NE(lines[1].find("OID: .1.3.6.1.4.1.64823.1"), std::string::npos);
  EXPECT_NE(lines[2].find("Timeticks"), std::string::npos);
  EXPECT_NE(lines[5].find("rack 7"), std::string::npos);
  EXPECT_NE(lines[6].find("INTEGER: 76"), std::string::npos);
}

TEST_F(SnmpsvcTest, UnknownOrNotifyOnlyCommunityGetsNoAnswerButAnAuthenticationTrap) {
  for (const char* community : {"nosuchcommunity", "trapsonly"}) {
    CommandResult result = Run({"snmpget", "-v1", "-c", community, Target(), "1.3.6.1.2.1.1.4.0"});
    EXPECT_NE(result.exitStatus, 0);
    EXPECT_NE(result.output.find("Timeout"), std::string::npos) << result.output;
  }
  EXPECT_TRUE(WaitForText(receiver_->log(), "generic=4")) << ReadFile(receiver_->log());
}

TEST_F(SnmpsvcTest, SetWithReadOnlyCommunityFailsWithAnAccessError) {
  CommandResult v1 = Run({"snmpset", "-v1", "-c", "public", Target(), Cell(3, 1), "i", "5"});
  EXPECT_NE(v1.exitStatus, 0);
  EXPECT_NE(v1.output.find("noSuchName"), std::string::npos) << v1.output;
  CommandResult v2 = Run({"snmpset", "-v2c", "-c", "public", Target(), Cell(3, 1), "i", "5"});
  EXPECT_NE(v2.exitStatus, 0);
  EXPECT_NE(v2.output.find("noAccess"), std::string::npos) << v2.output;
  CommandResult unchanged = Run({"snmpget", "-v2c", "-c", "public", Target(), Cell(3, 1)});
  EXPECT_NE(unchanged.output.find("INTEGER: 10"), std::string::npos) << unchanged.output;
}

TEST_F(SnmpsvcTest, WalksCrossAdjacentViewsInOrderAndEndCleanly) {
  // Table (4 columns x rows, then the trigger) followed by the adjacent agent's 3 scalars.
  const size_t expected = 4 * kRows + 1 + 3;
  for (const char* tool : {"snmpwalk", "snmpbulkwalk"}) {
    for (const char* version : {"-v1", "-v2c"}) {
      if (std::string(tool) == "snmpbulkwalk" && std::string(version) == "-v1") continue;
      CommandResult walk = Run({tool, version, "-c", "public", Target(), ".1.3.6.1.4.1.64823.99"});
      ASSERT_EQ(walk.exitStatus, 0) << tool << version << walk.output;
      std::vector<std::string> lines = Lines(walk.output);
      // The walk runs into the end of the MIB: v1 closes with "End of MIB",
      // v2c with endOfMibView ("No more variables").
      lines.erase(std::remove_if(lines.begin(), lines.end(),
                                 [](const std::string& line) {
                                   return line[0] != '.' ||
                                          line.find("No more variables") != std::string::npos;
                                 }),
                  lines.end());
      ASSERT_EQ(lines.size(), expected) << tool << version << walk.output;
      EXPECT_EQ(lines.front().rfind(Cell(1, 1) + " = INTEGER: 1", 0), 0u) << lines.front();
      EXPECT_EQ(lines[kRows].rfind(Cell(2, 1) + " = STRING: \"row 1\"", 0), 0u) << lines[kRows];
      EXPECT_EQ(lines[4 * kRows].rfind(kTrigger, 0), 0u);
      EXPECT_EQ(lines.back().rfind(kAdjacent + ".3.0 = INTEGER: 3", 0), 0u) << lines.back();
    }
  }
}

// One GETBULK: a non-repeater, then two repeaters interleaved; the first runs
// out of the table into the adjacent view (which ends with noSuchName) and
// then past the last view, the second moves from column 2 on to column 3.
TEST_F(SnmpsvcTest, GetBulkRepeatsAcrossViewsAsSuccessiveGetNexts) {
  CommandResult bulk = Run({"snmpbulkget", "-v2c", "-c", "public", "-Cn1", "-Cr7", Target(),
                            Cell(1, 3), Cell(4, kRows - 2), Cell(2, 5)});
  ASSERT_EQ(bulk.exitStatus, 0) << bulk.output;
  std::vector<std::string> lines = Lines(bulk.output);
  ASSERT_EQ(lines.size(), 1u + 2 * 7) << bulk.output;
  std::vector<std::string> first = {Cell(4, kRows - 1), Cell(4, kRows),     kTrigger,
                                    kAdjacent + ".1.0", kAdjacent + ".2.0", kAdjacent + ".3.0"};
  std::vector<std::string> second = {Cell(2, 6),  Cell(2, 7), Cell(2, 8), Cell(2, 9),
                                     Cell(2, 10), Cell(3, 1), Cell(3, 2)};
  EXPECT_EQ(lines[0].rfind(Cell(1, 4) + " = INTEGER: 4", 0), 0u) << lines[0];
  for (size_t i = 0; i < 7; ++i) {
    const std::string& a = lines[1 + 2 * i];
    if (i < first.size()) {
      EXPECT_EQ(a.rfind(first[i] + " = ", 0), 0u) << i << ": " << bulk.output;
    } else {
      EXPECT_NE(a.find("No more variables"), std::string::npos) << i << ": " << bulk.output;
    }
    EXPECT_EQ(lines[2 + 2 * i].rfind(second[i] + " = ", 0), 0u) << i << ": " << bulk.output;
  }
}

TEST_F(SnmpsvcTest, EndOfMibAndMissingObjectsPerVersion) {
  std::string last = kAdjacent + ".3.0";
  CommandResult v2 = Run({"snmpgetnext", "-v2c", "-c", "public", Target(), last});
  EXPECT_NE(v2.output.find("No more variables left in this MIB View"), std::string::npos)
      << v2.output;
  CommandResult v1 = Run({"snmpgetnext", "-v1", "-c", "public", Target(), last});
  EXPECT_NE(v1.output.find("noSuchName"), std::string::npos) << v1.output;

  CommandResult missing =
      Run({"snmpget", "-v2c", "-c", "public", Target(), Cell(3, 99), Cell(9, 1), Cell(2, 3)});
  EXPECT_NE(missing.output.find("No Such Instance"), std::string::npos) << missing.output;
  EXPECT_NE(missing.output.find("No Such Object"), std::string::npos) << missing.output;
  EXPECT_NE(missing.output.find("STRING: \"row 3\""), std::string::npos) << missing.output;
  CommandResult v1Missing =
      Run({"snmpget", "-v1", "-c", "public", Target(), Cell(2, 3), Cell(3, 99)});
  EXPECT_NE(v1Missing.output.find("noSuchName"), std::string::npos) << v1Missing.output;
  EXPECT_NE(v1Missing.output.find("Failed object: " + Cell(3, 99)), std::string::npos)
      << v1Missing.output;
}

TEST_F(SnmpsvcTest, SetsApplyOrFailAtTheRightBindingWithMappedErrors) {
  CommandResult good = Run({"snmpset", "-v2c", "-c", "private", Target(), Cell(3, 4), "i", "444",
                            Cell(2, 4), "s", "four"});
  ASSERT_EQ(good.exitStatus, 0) << good.output;
  CommandResult read = Run({"snmpget", "-v1", "-c", "public", Target(), Cell(3, 4), Cell(2, 4)});
  EXPECT_NE(read.output.find("INTEGER: 444"), std::string::npos) << read.output;
  EXPECT_NE(read.output.find("STRING: \"four\""), std::string::npos) << read.output;

  // The second binding has a bad value: v2c wrongValue, v1 badValue, index 2.
  CommandResult v2 = Run({"snmpset", "-v2c", "-c", "private", Target(), Cell(3, 5), "i", "1",
                          Cell(3, 6), "i", "5000"});
  EXPECT_NE(v2.output.find("wrongValue"), std::string::npos) << v2.output;
  EXPECT_NE(v2.output.find("Failed object: " + Cell(3, 6)), std::string::npos) << v2.output;
  CommandResult v1 = Run(
      {"snmpset", "-v1", "-c", "private", Target(), Cell(3, 5), "i", "1", Cell(3, 6), "i", "5000"});
  EXPECT_NE(v1.output.find("badValue"), std::string::npos) << v1.output;
  EXPECT_NE(v1.output.find("Failed object: " + Cell(3, 6)), std::string::npos) << v1.output;

  CommandResult readOnly =
      Run({"snmpset", "-v2c", "-c", "private", Target(), Cell(1, 1), "i", "7"});
  EXPECT_NE(readOnly.output.find("notWritable"), std::string::npos) << readOnly.output;
  CommandResult readOnlyV1 =
      Run({"snmpset", "-v1", "-c", "private", Target(), Cell(1, 1), "i", "7"});
  EXPECT_NE(readOnlyV1.output.find("readOnly"), std::string::npos) << readOnlyV1.output;
  CommandResult absent = Run({"snmpset", "-v2c", "-c", "private", Target(), Cell(3, 77), "i", "7"});
  EXPECT_NE(absent.output.find("noCreation"), std::string::npos) << absent.output;
  CommandResult system =
      Run({"snmpset", "-v2c", "-c", "private", Target(), "1.3.6.1.2.1.1.4.0", "s", "x"});
  EXPECT_NE(system.output.find("notWritable"), std::string::npos) << system.output;
}

TEST_F(SnmpsvcTest, TrapsReachEveryDestinationIncludingOnesAddedWhileRunning) {
  CommandResult raise = Run({"snmpset", "-v2c", "-c", "private", Target(), kTrigger, "i", "1"});
  ASSERT_EQ(raise.exitStatus, 0) << raise.output;
  ASSERT_TRUE(WaitForText(receiver_->log(), "TRAP " + kTable + " generic=6"))
      << ReadFile(receiver_->log()) << ServiceLog();
  std::string first = ReadFile(receiver_->log());
  // The first trap of the agent has specific number 1 (snmptrapd prints ".1").
  EXPECT_NE(first.find("TRAP " + kTable + " generic=6 specific=.1 "), std::string::npos) << first;
  EXPECT_NE(first.find("community public"), std::string::npos) << first;
  EXPECT_NE(first.find(kTable + ".3.0 = STRING: \"trap"), std::string::npos) << first;
  EXPECT_NE(first.find(kTable + ".4.0 = INTEGER:"), std::string::npos) << first;

  // A v2c destination added to the registry while the service runs.
  TrapReceiver second(directory_->path());
  SetRegistryString(Under("TrapConfiguration\\public"), "3",
                    "v2c:127.0.0.1:" + std::to_string(second.port()));
  raise = Run({"snmpset", "-v2c", "-c", "private", Target(), kTrigger, "i", "1"});
  ASSERT_EQ(raise.exitStatus, 0) << raise.output;
  // snmpTrapOID.0 = enterprise.0.specific, as RFC 3584 converts it.
  EXPECT_TRUE(WaitForText(second.log(), ".1.3.6.1.6.3.1.1.4.1.0 = OID: " + kTable + ".0."))
      << ReadFile(second.log()) << ServiceLog();
  EXPECT_TRUE(WaitForText(second.log(), ".1.3.6.1.6.3.1.1.4.3.0 = OID: " + kTable))
      << ReadFile(second.log());
  DeleteRegistryValue(Under("TrapConfiguration\\public"), "3");
  // Sent over IPX in UDP, which reaches only nodes that stand for IPv4 hosts.
  EXPECT_NE(ServiceLog().find("trap to 0000ABCD.00A0C9123456: cannot send over IPX"),
            std::string::npos);
}

TEST_F(SnmpsvcTest, FailingExtensionIsSkippedAndTheRestRuns) {
  std::string log = ServiceLog();
  EXPECT_NE(log.find("libsnmpsvc_test_failing.so: SnmpExtensionInit failed; skipped"),
            std::string::npos)
      << log;
  EXPECT_EQ(Run({"snmpget", "-v2c", "-c", "public", Target(), Cell(1, 1)}).exitStatus, 0);
}

// Last in this suite: stops the shared service.
TEST_F(SnmpsvcTest, ZzStopUnloadsTheExtensionsAndExitsZero) {
  EXPECT_EQ(service_->Stop(), 0) << ServiceLog();
  EXPECT_NE(ReadFile(directory_->path() + "/unloaded").find("unloaded"), std::string::npos);
}

// Services with a registry of their own, written from outside this process.
class SnmpsvcAloneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("WARDENLINE_REGISTRY", registry_.path().c_str(), 1);
    setenv("SNMPCONFPATH", directory_.path().c_str(), 1);
    setenv("SNMP_PERSISTENT_DIR", directory_.path().c_str(), 1);
    setenv("MIBS", "", 1);
  }
  CommandResult Get(const std::string& target, const std::string& oid) {
    return RunCommand(
        {"snmpget", "-v2c", "-c", "public", "-On", "-t", "1", "-r", "0", target, oid});
  }
  // Retries while the service starts, until the answer holds `expected`.
  CommandResult Await(const std::function<CommandResult()>& ask, const std::string& expected) {
    CommandResult result;
    for (int attempt = 0; attempt < 50; ++attempt) {
      result = ask();
      if (result.exitStatus == 0 && result.output.find(expected) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return result;
  }

  TempDir directory_;
  ToolRegistry registry_{directory_.path() + "/registry.db"};
};

TEST_F(SnmpsvcAloneTest, HostOutsidePermittedManagersGetsNoAnswer) {
  ASSERT_TRUE(registry_.Set(Under("ValidCommunities"), "public", "REG_DWORD", "4"));
  ASSERT_TRUE(registry_.Set(Under("PermittedManagers"), "1", "REG_SZ", "192.0.2.1"));
  int port = FreeUdpPort();
  std::string target = "127.0.0.1:" + std::to_string(port);
  ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:" + target},
                       directory_.path() + "/snmpsvc.log");
  ASSERT_TRUE(WaitForText(directory_.path() + "/snmpsvc.log", "running"));
  CommandResult refused = Get(target, "1.3.6.1.2.1.1.5.0");
  EXPECT_NE(refused.output.find("Timeout"), std::string::npos) << refused.output;
  service.Stop();

  // The same service with 127.0.0.1 permitted answers.
  ASSERT_TRUE(registry_.Set(Under("PermittedManagers"), "2", "REG_SZ", "127.0.0.1"));
  ChildProcess admitted({BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:" + target},
                        directory_.path() + "/snmpsvc2.log");
  CommandResult answered = Await([&] { return Get(target, "1.3.6.1.2.1.1.5.0"); }, "STRING");
  EXPECT_EQ(answered.exitStatus, 0)
      << answered.output << ReadFile(directory_.path() + "/snmpsvc2.log");
}

// Sends one datagram to 127.0.0.1:port and waits up to a second for a reply;
// the reply's length, or 0 when none came. The reply goes to *reply.
size_t Exchange(int port, const std::string& datagram, std::string* reply = nullptr) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  pollfd ready{fd, POLLIN, 0};
  char bytes[2048];
  ssize_t length = poll(&ready, 1, 1000) == 1 ? recv(fd, bytes, sizeof bytes, 0) : 0;
  close(fd);
  if (reply != nullptr) reply->assign(bytes, length > 0 ? static_cast<size_t>(length) : 0);
  return length > 0 ? static_cast<size_t>(length) : 0;
}

// BER element with a short or two-byte length.
std::string Element(char tag, const std::string& contents) {
  std::string length = contents.size() < 128
                           ? std::string(1, static_cast<char>(contents.size()))
                           : std::string("\x82") + static_cast<char>(contents.size() >> 8) +
                                 static_cast<char>(contents.size() & 0xFF);
  return std::string(1, tag) + length + contents;
}

std::string EncodedOid(const std::string& dotted) {
  std::vector<uint64_t> arcs;
  std::istringstream in(dotted.substr(dotted[0] == '.' ? 1 : 0));
  std::string arc;
  while (std::getline(in, arc, '.')) arcs.push_back(std::stoull(arc));
  std::string out(1, static_cast<char>(arcs[0] * 40 + arcs[1]));
  for (size_t i = 2; i < arcs.size(); ++i) {
    std::string base128(1, static_cast<char>(arcs[i] & 0x7F));
    for (uint64_t rest = arcs[i] >> 7; rest != 0; rest >>= 7) {
      base128.insert(base128.begin(), static_cast<char>(0x80 | (rest & 0x7F)));
    }
    out += base128;
  }
  return out;
}

// A community message with one binding: `oid` (encoded contents) = `value`.
std::string Request(int version, const std::string& community, char pdu, const std::string& oid,
                    const std::string& value) {
  const std::string binding = Element('\x30', Element('\x06', oid) + value);
  const std::string body = Element('\x02', "\x07") + Element('\x02', std::string(1, '\0')) +
                           Element('\x02', std::string(1, '\0')) + Element('\x30', binding);
  return Element('\x30', Element('\x02', std::string(1, static_cast<char>(version))) +
                             Element('\x04', community) + Element(pdu, body));
}

// The error-status of a response, or -1 when it cannot be read.
int ErrorStatusOf(const std::string& reply) {
  size_t pos = 0;
  auto enter = [&](bool skip) {
    if (pos + 2 > reply.size()) return false;
    size_t length = static_cast<unsigned char>(reply[pos + 1]);
    size_t header = 2;
    if (length == 0x81 || length == 0x82) {
      const size_t bytes = length & 0x7F;
      if (pos + 2 + bytes > reply.size()) return false;
      length = 0;
      for (size_t i = 0; i < bytes; ++i)
        length = (length << 8) | static_cast<unsigned char>(reply[pos + 2 + i]);
      header += bytes;
    }
    pos += header + (skip ? length : 0);
    return pos <= reply.size();
  };
  // message, version, community, PDU, request id, then error-status.
  if (!enter(false) || !enter(true) || !enter(true) || !enter(false) || !enter(true)) return -1;
  if (pos + 3 > reply.size() || reply[pos] != '\x02' || reply[pos + 1] != '\x01') return -1;
  return static_cast<unsigned char>(reply[pos + 2]);
}

// SNMPv1, community "public", PDU `tag` with request id 1, 0, 1 and one
// binding 1.3.6.1.2.1.1 = NULL.
std::string V1Message(char tag) {
  const std::string binding("\x30\x0c\x30\x0a\x06\x06\x2b\x06\x01\x02\x01\x01\x05\x00", 14);
  const std::string pdu = std::string(1, tag) + "\x17" +
                          std::string("\x02\x01\x01\x02\x01\x00\x02\x01\x01", 9) + binding;
  return std::string("\x30\x24\x02\x01\x00\x04\x06public", 13) + pdu;
}

// GetBulkRequest-PDU does not exist in SNMPv1: dropped, while the same message
// as a get-next is answered.
TEST_F(SnmpsvcAloneTest, SnmpV1GetBulkIsDropped) {
  ASSERT_TRUE(registry_.Set(Under("ValidCommunities"), "public", "REG_DWORD", "4"));
  int port = FreeUdpPort();
  std::string target = "127.0.0.1:" + std::to_string(port);
  ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:" + target},
                       directory_.path() + "/snmpsvc.log");
  ASSERT_EQ(Await([&] { return Get(target, "1.3.6.1.2.1.1.5.0"); }, "STRING").exitStatus, 0);
  EXPECT_GT(Exchange(port, V1Message('\xa1')), 0u);
  EXPECT_EQ(Exchange(port, V1Message('\xa5')), 0u);
}

// What net-snmp's parser would wrap or truncate is refused: an INTEGER wider
// than 32 bits in a SET (wrongValue, badValue in SNMPv1) and a sub-identifier
// of 2^64 (the request is dropped).
TEST_F(SnmpsvcAloneTest, OversizedIntegersAndArcsAreRefused) {
  ASSERT_TRUE(registry_.Set(Under("ValidCommunities"), "private", "REG_DWORD", "8"));
  ASSERT_TRUE(
      registry_.Set(Under("ExtensionAgents"), "1", "REG_SZ", "SOFTWARE\\SnmpsvcTest\\Table"));
  ASSERT_TRUE(registry_.Set("SOFTWARE\\SnmpsvcTest\\Table", "Pathname", "REG_SZ",
                            BuildPath("lib/libsnmpsvc_test_table.so")));
  setenv("SNMPSVC_TEST_ROWS", "3", 1);
  int port = FreeUdpPort();
  std::string target = "127.0.0.1:" + std::to_string(port);
  ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:" + target},
                       directory_.path() + "/snmpsvc.log");
  const std::string cell = kTable + ".1.1.3.2";
  auto get = [&] {
    return RunCommand(
        {"snmpget", "-v2c", "-c", "private", "-On", "-t", "1", "-r", "0", target, cell});
  };
  ASSERT_EQ(Await(get, "INTEGER: 20").exitStatus, 0)
      << ReadFile(directory_.path() + "/snmpsvc.log");
  const std::string wide = Element('\x02', std::string("\x01\x00\x00\x00\x5f", 5));  // 2^32 + 95
  std::string reply;
  ASSERT_GT(Exchange(port, Request(1, "private", '\xa3', EncodedOid(cell), wide), &reply), 0u);
  EXPECT_EQ(ErrorStatusOf(reply), 10);  // wrongValue
  ASSERT_GT(Exchange(port, Request(0, "private", '\xa3', EncodedOid(cell), wide), &reply), 0u);
  EXPECT_EQ(ErrorStatusOf(reply), 3);  // badValue
  EXPECT_NE(get().output.find("INTEGER: 20"), std::string::npos);
  // A fitting value in the same encoding is taken.
  ASSERT_GT(Exchange(port,
                     Request(1, "private", '\xa3', EncodedOid(cell),
                             Element('\x02', std::string("\x00\x00\x00\x00\x15", 5))),
                     &reply),
            0u);
  EXPECT_EQ(ErrorStatusOf(reply), 0);

  const std::string name = EncodedOid("1.3.6.1.2.1.1.5");
  const std::string null = Element('\x05', "");
  EXPECT_GT(Exchange(port, Request(1, "private", '\xa0', name + std::string(1, '\0'), null)), 0u);
  EXPECT_EQ(
      Exchange(port,
               Request(1, "private", '\xa0',
                       name + std::string("\x82\x80\x80\x80\x80\x80\x80\x80\x80\x00", 10), null)),
      0u);
}

// A GET whose reply cannot fit in one datagram is answered tooBig, with one
// log line for the cause however often it happens.
TEST_F(SnmpsvcAloneTest, ReplyTooLargeForADatagramIsTooBig) {
  ASSERT_TRUE(registry_.Set(Under("ValidCommunities"), "private", "REG_DWORD", "8"));
  ASSERT_TRUE(
      registry_.Set(Under("ExtensionAgents"), "1", "REG_SZ", "SOFTWARE\\SnmpsvcTest\\Table"));
  ASSERT_TRUE(registry_.Set("SOFTWARE\\SnmpsvcTest\\Table", "Pathname", "REG_SZ",
                            BuildPath("lib/libsnmpsvc_test_table.so")));
  setenv("SNMPSVC_TEST_ROWS", "3", 1);
  int port = FreeUdpPort();
  std::string target = "127.0.0.1:" + std::to_string(port);
  const std::string log = directory_.path() + "/snmpsvc.log";
  ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:" + target}, log);
  const std::string cell = kTable + ".1.1.2.1";
  auto set = [&] {
    return RunCommand({"snmpset", "-v2c", "-c", "private", "-On", "-t", "1", "-r", "0", target,
                       cell, "s", std::string(64, 'x')});
  };
  ASSERT_EQ(Await(set, "xxxx").exitStatus, 0) << ReadFile(log);
  // 1,500 bindings of the 64-byte cell: about 27 KB asked, 126 KB to answer.
  std::string bindings;
  for (int i = 0; i < 1500; ++i) {
    bindings += Element('\x30', Element('\x06', EncodedOid(cell)) + Element('\x05', ""));
  }
  for (int version : {1, 0}) {
    const std::string body = Element('\x02', "\x07") + Element('\x02', std::string(1, '\0')) +
                             Element('\x02', std::string(1, '\0')) + Element('\x30', bindings);
    const std::string request =
        Element('\x30', Element('\x02', std::string(1, static_cast<char>(version))) +
                            Element('\x04', "private") + Element('\xa0', body));
    std::string reply;
    ASSERT_GT(Exchange(port, request, &reply), 0u) << "version " << version;
    EXPECT_EQ(ErrorStatusOf(reply), 1) << "version " << version;  // tooBig
  }
  const std::string text = ReadFile(log);
  const size_t first = text.find("does not fit in one datagram");
  EXPECT_NE(first, std::string::npos) << text;
  EXPECT_EQ(text.find("does not fit in one datagram", first + 1), std::string::npos) << text;
  EXPECT_EQ(text.find("Failure in sendto"), std::string::npos) << text;
}

// An empty PermittedManagers entry admits nobody, and says so once.
TEST_F(SnmpsvcAloneTest, EmptyPermittedManagersEntryAdmitsNobody) {
  ASSERT_TRUE(registry_.Set(Under("ValidCommunities"), "public", "REG_DWORD", "4"));
  ASSERT_TRUE(registry_.Set(Under("PermittedManagers"), "1", "REG_SZ", ""));
  int port = FreeUdpPort();
  std::string target = "127.0.0.1:" + std::to_string(port);
  const std::string log = directory_.path() + "/snmpsvc.log";
  ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:" + target}, log);
  ASSERT_TRUE(WaitForText(log, "running"));
  CommandResult refused = Get(target, "1.3.6.1.2.1.1.5.0");
  EXPECT_NE(refused.output.find("Timeout"), std::string::npos) << refused.output;
  const std::string text = ReadFile(log);
  const size_t first = text.find("PermittedManagers entry is empty");
  EXPECT_NE(first, std::string::npos) << text;
  EXPECT_EQ(text.find("PermittedManagers entry is empty", first + 1), std::string::npos) << text;
}

// A registry that cannot be read stops the start with the reason and a
// non-zero exit; one that is locked for a while is waited for.
TEST_F(SnmpsvcAloneTest, RegistryTroubleAtStartIsExplainedOrWaitedFor) {
  const std::string damaged = directory_.path() + "/damaged.db";
  RunCommand({"sh", "-c", "head -c 8192 /dev/urandom > " + damaged});
  setenv("WARDENLINE_REGISTRY", damaged.c_str(), 1);
  int port = FreeUdpPort();
  std::string target = "127.0.0.1:" + std::to_string(port);
  const std::string log = directory_.path() + "/damaged.log";
  {
    ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:" + target}, log);
    for (int i = 0; i < 100 && service.running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(service.Stop(), 1);
  }
  EXPECT_NE(ReadFile(log).find("damaged or not a registry database"), std::string::npos)
      << ReadFile(log);

  setenv("WARDENLINE_REGISTRY", registry_.path().c_str(), 1);
  ASSERT_TRUE(registry_.Set(Under("ValidCommunities"), "public", "REG_DWORD", "4"));
  int locked[2];
  ASSERT_EQ(pipe(locked), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    // Exclusive locking mode keeps the lock from the first write until close.
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(registry_.path().c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db,
                           "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                           "UPDATE reg_keys SET last_write = last_write WHERE id = 1; COMMIT;",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    const char byte = ok ? 1 : 0;
    ok = write(locked[1], &byte, 1) == 1 && ok;
    usleep(8 * 1000 * 1000);
    sqlite3_close(db);
    _exit(ok ? 0 : 1);
  }
  char byte = 0;
  ASSERT_EQ(read(locked[0], &byte, 1), 1);
  ASSERT_EQ(byte, 1);
  const std::string waitLog = directory_.path() + "/locked.log";
  ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "--agent", "udp:" + target}, waitLog);
  int status = 0;
  waitpid(holder, &status, 0);
  close(locked[0]);
  close(locked[1]);
  EXPECT_TRUE(WaitForText(waitLog, "running", std::chrono::seconds(30))) << ReadFile(waitLog);
  EXPECT_NE(ReadFile(waitLog).find("retrying"), std::string::npos) << ReadFile(waitLog);
  EXPECT_EQ(Await([&] { return Get(target, "1.3.6.1.2.1.1.5.0"); }, "STRING").exitStatus, 0);
}

TEST_F(SnmpsvcAloneTest, SnmpV3UsersFromTheConfigurationFileMustAuthenticate) {
  std::string config = directory_.path() + "/users.conf";
  RunCommand(
      {"sh", "-c",
       "printf '# users\\ncreateUser alice SHA alicepassword AES alicepassword\\n' > " + config});
  int port = FreeUdpPort();
  std::string target = "127.0.0.1:" + std::to_string(port);
  ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "-c", config, "--agent", "udp:" + target},
                       directory_.path() + "/snmpsvc.log");
  auto ask = [&](std::vector<std::string> security) {
    std::vector<std::string> argv{"snmpget", "-v3", "-On", "-t", "1", "-r", "0"};
    argv.insert(argv.end(), security.begin(), security.end());
    argv.insert(argv.end(), {target, "1.3.6.1.2.1.1.5.0"});
    return RunCommand(argv);
  };
  CommandResult good = Await(
      [&] {
        return ask({"-l", "authPriv", "-u", "alice", "-a", "SHA", "-A", "alicepassword", "-x",
                    "AES", "-X", "alicepassword"});
      },
      "STRING");
  EXPECT_NE(good.output.find("STRING"), std::string::npos) << good.output;
  CommandResult nameOnly = ask({"-l", "noAuthNoPriv", "-u", "alice"});
  EXPECT_EQ(nameOnly.output.find("STRING"), std::string::npos) << nameOnly.output;
  CommandResult wrongKey =
      ask({"-l", "authNoPriv", "-u", "alice", "-a", "SHA", "-A", "wrongpassword"});
  EXPECT_EQ(wrongKey.output.find("STRING"), std::string::npos) << wrongKey.output;
}

TEST_F(SnmpsvcAloneTest, AgentxSubagentAddsItsViewsToARunningSnmpd) {
  ASSERT_TRUE(
      registry_.Set(Under("ExtensionAgents"), "1", "REG_SZ", "SOFTWARE\\SnmpsvcTest\\Table"));
  ASSERT_TRUE(registry_.Set("SOFTWARE\\SnmpsvcTest\\Table", "Pathname", "REG_SZ",
                            BuildPath("lib/libsnmpsvc_test_table.so")));
  setenv("SNMPSVC_TEST_ROWS", "3", 1);
  std::string socket = directory_.path() + "/agentx.sock";
  std::string config = directory_.path() + "/snmpd.conf";
  RunCommand({"sh", "-c",
              "printf 'master agentx\\nagentXSocket " + socket +
                  "\\nrocommunity public 127.0.0.1\\nrwcommunity private 127.0.0.1\\n' > " +
                  config});
  int port = FreeUdpPort();
  std::string target = "127.0.0.1:" + std::to_string(port);
  ChildProcess snmpd({"/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", config, "-p",
                      directory_.path() + "/snmpd.pid", "udp:" + target},
                     directory_.path() + "/snmpd.log");
  ASSERT_TRUE(WaitForText(directory_.path() + "/snmpd.log", "NET-SNMP version"))
      << ReadFile(directory_.path() + "/snmpd.log");
  ChildProcess service({BuildPath("bin/snmpsvc"), "-f", "--agentx", socket},
                       directory_.path() + "/snmpsvc.log");
  std::string cell = kTable + ".1.1.3.2";
  CommandResult value = Await([&] { return Get(target, cell); }, "INTEGER: 20");
  EXPECT_NE(value.output.find("INTEGER: 20"), std::string::npos)
      << value.output << ReadFile(directory_.path() + "/snmpsvc.log");

  CommandResult walk = RunCommand({"snmpbulkwalk", "-v2c", "-c", "public", "-On", target, kTable});
  EXPECT_EQ(Lines(walk.output).size(), 4u * 3 + 1) << walk.output;
  // Errors travel through the master: a bad value is wrongValue.
  CommandResult bad =
      RunCommand({"snmpset", "-v2c", "-c", "private", "-On", target, cell, "i", "5000"});
  EXPECT_NE(bad.output.find("wrongValue"), std::string::npos) << bad.output;
  EXPECT_EQ(service.Stop(), 0);
}

}  // namespace
}  // namespace snmpsvc::e2e
