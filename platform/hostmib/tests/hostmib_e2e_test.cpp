// libhostmib.so inside snmpsvc, asked by net-snmp's clients: a walk of
// 1.3.6.1.2.1.25 on fixture providers and processes, GETBULK and get-next
// against the refresh policy, sets, and a failing provider.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "agent/trend/tests/snmp_e2e_support.h"

namespace {

using namespace trend::e2e;
using nlohmann::json;

json Time(int year, int month, int day, int hour, int minute, int second) {
  return {{"year", year}, {"month", month},   {"dayOfWeek", 0},   {"day", day},
          {"hour", hour}, {"minute", minute}, {"second", second}, {"milliseconds", 0}};
}

class HostMibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    providers_ = installation_.dir() + "/providers.json";
    setenv("WARDENLINE_PROVIDERS", providers_.c_str(), 1);
    setenv("TZ", "UTC0", 1);
    WriteProviders(Providers());
    // Three processes: IDs 7, 42 and 1; 10 s and 2.5 s of processor time.
    json instances = json::array({{{"name", "init"}, {"values", {1, 4194304, 1000}}},
                                  {{"name", "sshd"}, {"values", {42, 10485760, 25000000}}},
                                  {{"name", "cron"}, {"values", {7, 2097152, 100000000}}}});
    json counters = {{{"index", 784}, {"name", "ID Process"}, {"size", 4}},
                     {{"index", 174}, {"name", "Virtual Bytes"}, {"size", 8}},
                     {{"index", 6}, {"name", "% Processor Time"}, {"size", 8}}};
    json process = {
        {"index", 230}, {"name", "Process"}, {"counters", counters}, {"instances", instances}};
    json perf = {{"objects", json::array({process})}};
    installation_.setPerfData(perf.dump());
    ASSERT_EQ(installation_.install("", freeUdpPort()), "");
  }
  void TearDown() override { unsetenv("WARDENLINE_PROVIDERS"); }

  static json Providers() {
    return {
        {"W32GetSystemUptime", {{"uptime", 123456}}},
        {"W32GetSystemTime", {{"time", Time(2026, 12, 7, 14, 3, 11)}}},
        {"W32GetSystemTimeZone", {{"bias", -60}, {"kind", 1}}},
        {"W32GetUserCount", {{"users", 3}}},
        {"W32GetMemorySize", {{"bytes", 8589934592}}},
        {"W32GetSWInstalledLastChange", {{"time", Time(2026, 12, 7, 8, 0, 0)}}},
        {"W32GetStorage",
         {{{"type", 2},
           {"description", "Physical memory"},
           {"allocationUnits", 1024},
           {"size", 8388608},
           {"used", 4194304},
           {"label", "Physical memory"}},
          {{"type", 4},
           {"description", "/ (ext4 /dev/sda1)"},
           {"allocationUnits", 4096},
           {"size", 1000},
           {"used", 500},
           {"label", "/"},
           {"hardDisk", 1},
           {"partition", 1}}}},
        {"W32GetFileSystem",
         {{{"hardDisk", 1}, {"partition", 1}, {"type", 23}, {"access", 1}, {"bootable", 1}}}},
        {"W32GetDevice",
         {{{"type", 3},
           {"description", "Processor 0: Test CPU"},
           {"status", 2},
           {"firmwareId", "0.0.0"}},
          {{"type", 4}, {"description", "eth0: virtio_net"}, {"status", 2}, {"networkIndex", 2}},
          {{"type", 6}, {"description", "sda"}, {"media", 3}, {"hardDisk", 1}}}},
        {"W32GetProcessor", {{{"firmwareId", "0.0.0"}}}},
        {"W32GetNetwork", {{{"interfaceIndex", 2}, {"networkIndex", 2}}}},
        {"W32GetPrinter", json::array()},
        {"W32GetDiskStorage",
         {{{"access", 1}, {"removable", 0}, {"capacity", 1048576}, {"media", 3}, {"hardDisk", 1}}}},
        {"W32GetPartition",
         {{{"hardDisk", 1}, {"partition", 1}, {"label", "/dev/sda1"}, {"size", 4000}}}},
        {"RegGetScsiDiskStorage", json::array()},
        {"RegGetNonScsiDiskStorage", json::array()},
        {"RegGetKeyboard", json::array()},
        {"RegGetDeviceVideo", json::array()},
        {"RegGetParallelPort", json::array()},
        {"RegGetPointerPort", json::array()},
        {"RegGetSerialComm", json::array()},
        {"RegGetSoftwareInstalled",
         {{{"kind", 2},
           {"name", "openssh-server"},
           {"qualifier", "amd64"},
           {"major", 9},
           {"minor", 2},
           {"type", 3},
           {"installTime", 1710504000}},
          {{"kind", 1},
           {"name", "cron.service"},
           {"qualifier", "systemd"},
           {"command", "/usr/sbin/cron -f"},
           {"type", 3}}}},
    };
  }
  void WriteProviders(const json& providers) { writeFile(providers_, providers.dump()); }

  // name -> value of every line a client printed ("-On -Oe" form).
  static std::map<std::string, std::string> Parse(const std::string& output,
                                                  std::vector<std::string>* order = nullptr) {
    std::map<std::string, std::string> values;
    for (const std::string& line : lines(output)) {
      const size_t equals = line.find(" = ");
      if (line.empty() || line[0] != '.' || equals == std::string::npos ||
          line.find("No more variables", equals) != std::string::npos) {
        continue;
      }
      values[line.substr(0, equals)] = line.substr(equals + 3);
      if (order != nullptr) order->push_back(line.substr(0, equals));
    }
    return values;
  }

  std::string Client(const std::string& tool, const std::string& options = "-v2c -c public") {
    return service_.client(tool, options + " -Ob");
  }

  Installation installation_;
  Service service_{installation_, freeUdpPort()};
  std::string providers_;
};

// A strictly increasing sequence of object identifiers.
bool Increasing(const std::vector<std::string>& names) {
  auto arcs = [](const std::string& name) {
    std::vector<unsigned long> out;
    std::istringstream in(name.substr(1));
    std::string arc;
    while (std::getline(in, arc, '.')) out.push_back(std::stoul(arc));
    return out;
  };
  for (size_t i = 1; i < names.size(); ++i) {
    if (!(arcs(names[i - 1]) < arcs(names[i]))) return false;
  }
  return true;
}

TEST_F(HostMibTest, WalkOfTheSubtreeHoldsTheFixtureInOrder) {
  ASSERT_TRUE(service_.start());
  std::vector<std::string> order;
  const std::string walk = run(Client("snmpwalk") + " 1.3.6.1.2.1.25");
  const auto values = Parse(walk, &order);
  EXPECT_TRUE(Increasing(order)) << walk;
  const std::map<std::string, std::string> expected = {
      {".1.3.6.1.2.1.25.1.1.0", "Timeticks: (123456) 0:20:34.56"},
      {".1.3.6.1.2.1.25.1.2.0", "Hex-STRING: 07 EA 0C 07 0E 03 0B 00 2B 01 00 "},
      {".1.3.6.1.2.1.25.1.5.0", "Gauge32: 3"},
      {".1.3.6.1.2.1.25.1.6.0", "Gauge32: 3"},
      {".1.3.6.1.2.1.25.2.2.0", "INTEGER: 8388608"},
      {".1.3.6.1.2.1.25.1.3.0", "INTEGER: 3"},  // the disk that holds "/"
      {".1.3.6.1.2.1.25.2.3.1.2.1", "OID: .1.3.6.1.2.1.25.2.1.2"},
      {".1.3.6.1.2.1.25.2.3.1.3.2", "STRING: \"/ (ext4 /dev/sda1)\""},
      {".1.3.6.1.2.1.25.2.3.1.4.2", "INTEGER: 4096"},
      {".1.3.6.1.2.1.25.2.3.1.6.2", "INTEGER: 500"},
      {".1.3.6.1.2.1.25.3.2.1.2.1", "OID: .1.3.6.1.2.1.25.3.1.3"},
      {".1.3.6.1.2.1.25.3.2.1.2.3", "OID: .1.3.6.1.2.1.25.3.1.6"},
      {".1.3.6.1.2.1.25.3.2.1.4.1", "OID: .0.0"},
      {".1.3.6.1.2.1.25.3.3.1.1.1", "OID: .0.0.0"},
      {".1.3.6.1.2.1.25.3.4.1.1.2", "INTEGER: 2"},
      {".1.3.6.1.2.1.25.3.6.1.3.3", "INTEGER: 2"},
      {".1.3.6.1.2.1.25.3.6.1.4.3", "INTEGER: 1048576"},
      {".1.3.6.1.2.1.25.3.7.1.2.3.1", "STRING: \"/dev/sda1\""},
      {".1.3.6.1.2.1.25.3.7.1.4.3.1", "INTEGER: 4000"},
      {".1.3.6.1.2.1.25.3.7.1.5.3.1", "INTEGER: 1"},
      {".1.3.6.1.2.1.25.3.8.1.2.1", "STRING: \"/\""},
      {".1.3.6.1.2.1.25.3.8.1.4.1", "OID: .1.3.6.1.2.1.25.3.9.23"},
      {".1.3.6.1.2.1.25.3.8.1.6.1", "INTEGER: 1"},
      {".1.3.6.1.2.1.25.3.8.1.7.1", "INTEGER: 2"},
      {".1.3.6.1.2.1.25.3.8.1.8.1", "Hex-STRING: 00 00 01 01 00 00 00 00 "},
      {".1.3.6.1.2.1.25.4.1.0", "INTEGER: 1"},  // process 1 stands for the system
      {".1.3.6.1.2.1.25.4.2.1.2.42", "STRING: \"sshd\""},
      {".1.3.6.1.2.1.25.4.2.1.4.7", "STRING: \"/usr/sbin/cron\""},
      {".1.3.6.1.2.1.25.4.2.1.5.7", "STRING: \" -f\""},
      {".1.3.6.1.2.1.25.4.2.1.6.7", "INTEGER: 4"},   // found among the installed rows
      {".1.3.6.1.2.1.25.4.2.1.6.42", "INTEGER: 1"},  // not found
      {".1.3.6.1.2.1.25.5.1.1.1.7", "INTEGER: 1000"},
      {".1.3.6.1.2.1.25.5.1.1.1.42", "INTEGER: 250"},
      {".1.3.6.1.2.1.25.5.1.1.2.42", "INTEGER: 10240"},
      {".1.3.6.1.2.1.25.6.1.0", "Timeticks: (0) 0:00:00.00"},
      {".1.3.6.1.2.1.25.6.3.1.2.1", "STRING: \"Software-amd64: openssh-server, v9.2\""},
      {".1.3.6.1.2.1.25.6.3.1.4.2", "INTEGER: 4"},
      {".1.3.6.1.2.1.25.6.3.1.5.1", "Hex-STRING: 07 E8 03 0F 0C 00 00 00 2B 01 00 "},
  };
  for (const auto& [name, value] : expected) {
    auto found = values.find(name);
    ASSERT_NE(found, values.end()) << name << "\n" << walk;
    EXPECT_EQ(found->second, value) << name;
  }
  EXPECT_NE(walk.find(".1.3.6.1.2.1.25.6.3.1.5.2"), std::string::npos) << "the last object";

  // GETBULK, and SNMPv1 get-next, walk the same objects.
  const auto bulk = Parse(run(Client("snmpbulkwalk") + " -Cr25 1.3.6.1.2.1.25"));
  const auto v1 = Parse(run(Client("snmpwalk", "-v1 -c public") + " 1.3.6.1.2.1.25"));
  auto without = [](std::map<std::string, std::string> all) {
    all.erase(".1.3.6.1.2.1.25.1.1.0");  // the clock moves on between walks
    all.erase(".1.3.6.1.2.1.25.1.2.0");
    return all;
  };
  EXPECT_EQ(without(bulk), without(values));
  auto all = without(values);
  for (const auto& [name, value] : without(v1)) {
    EXPECT_EQ(all[name], value) << name;
    all.erase(name);
  }
  EXPECT_TRUE(all.empty()) << all.begin()->first;
}

TEST_F(HostMibTest, OneRebuildPerRequestAndSetsRefused) {
  // Rows may be 0 seconds old: every request rebuilds, but only once. The
  // library traces every hrRefresh of the software tables.
  const std::string agentKey = "HKLM\\SOFTWARE\\Tarvex\\Wardenline\\HostmibAgent\\CurrentVersion";
  ASSERT_EQ(run("env " + installation_.environment() + " " + shellQuote(buildDir() + "/bin/wlreg") +
                " set " + shellQuote(agentKey) + " RefreshSeconds REG_DWORD 0"),
            "");
  writeFile(installation_.dir() + "/root/INI/RIDOVO.INI", "[Error Settings]\nDebug=2\n");
  ASSERT_TRUE(service_.start());
  const std::string log = installation_.dir() + "/root/LOGFILES/HOSTSCAN.LOG";
  auto refreshes = [&] {
    const std::string text = readFile(log);
    size_t n = 0;
    for (size_t at = text.find("CSWRunTable::hrRefresh: Completed"); at != std::string::npos;
         at = text.find("CSWRunTable::hrRefresh: Completed", at + 1)) {
      ++n;
    }
    return n;
  };
  run(Client("snmpget") + " .1.3.6.1.2.1.25.4.1.0");  // the first build (hrInit)
  const size_t before = refreshes();
  // One GETBULK over the process and installed tables to the end of the
  // MIB (many calls into the agent, one request).
  const auto bulk = Parse(run(Client("snmpbulkget") + " -Cr60 1.3.6.1.2.1.25.4.2"));
  EXPECT_EQ(bulk.size(), 39u);  // 21 + 6 + 2 + 10: all there is
  EXPECT_EQ(refreshes(), before + 1);
  run(Client("snmpgetnext") + " 1.3.6.1.2.1.25.4.2");
  run(Client("snmpgetnext") + " 1.3.6.1.2.1.25.5");
  EXPECT_EQ(refreshes(), before + 3);

  const std::string status = ".1.3.6.1.2.1.25.4.2.1.7.42";
  EXPECT_NE(run(Client("snmpset", "-v2c -c private") + " " + status + " i 4").find("notWritable"),
            std::string::npos);
  EXPECT_NE(run(Client("snmpset", "-v1 -c private") + " " + status + " i 4").find("readOnly"),
            std::string::npos);
  EXPECT_NE(run(Client("snmpset", "-v2c -c private") + " .1.3.6.1.2.1.25.4.2.1.7.9 i 4")
                .find("noCreation"),
            std::string::npos);
  EXPECT_NE(run(Client("snmpget") + " " + status).find("INTEGER: 1"), std::string::npos)
      << "nothing changed";
}

TEST_F(HostMibTest, AFailingProviderFailsItsTableOnly) {
  json providers = Providers();
  providers["W32GetStorage"] = {{"result", -1}};
  WriteProviders(providers);
  ASSERT_TRUE(service_.start());
  EXPECT_NE(run(Client("snmpget") + " .1.3.6.1.2.1.25.2.3.1.3.1").find("genErr"),
            std::string::npos);
  EXPECT_NE(run(Client("snmpgetnext") + " .1.3.6.1.2.1.25.2.3").find("genErr"), std::string::npos);
  // The rest answers: the processes, the devices, the memory size.
  const auto rest =
      Parse(run(Client("snmpget") + " .1.3.6.1.2.1.25.4.2.1.2.42 .1.3.6.1.2.1.25.3.2.1.2.1"
                                    " .1.3.6.1.2.1.25.2.2.0"));
  EXPECT_EQ(rest.size(), 3u);
  const std::string devices = run(Client("snmpwalk") + " .1.3.6.1.2.1.25.3.2");
  EXPECT_EQ(Parse(devices).size(), 18u) << devices;

  // The provider comes back: the table with it.
  WriteProviders(Providers());
  EXPECT_TRUE(waitUntil(
      [&] {
        return run(Client("snmpget") + " .1.3.6.1.2.1.25.2.3.1.3.1").find("Physical memory") !=
               std::string::npos;
      },
      15s));
}

}  // namespace
