// wltrend against the SNMP service with the trend agent, on history files laid
// out by the test and a clock three days after their newest sample: the
// agent fills the outage with invalid samples at start-up, and wltrend must
// show them as gaps at their times.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "agent/trend/tests/snmp_e2e_support.h"

namespace trend::e2e {
namespace {

constexpr long long kDay = 86400;
constexpr long long kFirst = 1767225600;  // 2026-01-01 00:00:00 UTC, sample 1

void put32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A daily control's history file: header, then `values` from slot 0, the
// newest due at midnight of day 20 (2026-01-20).
void writeHistory(const std::string& dir, uint32_t control, uint32_t classId,
                  const std::string& instance, uint32_t rising, uint32_t falling, int type,
                  const std::vector<int32_t>& values) {
  const long long first = kFirst + (20 - static_cast<long long>(values.size())) * kDay;
  const uint32_t buckets = 100;
  std::string file(412 + 4 * buckets, '\0');
  std::memcpy(file.data(), "NT_TREND", 8);
  file[10] = '0';
  file[11] = '1';
  put32(&file, 12, control);
  put32(&file, 16, 1);  // valid
  put32(&file, 20, classId);
  std::memcpy(file.data() + 24, instance.data(), instance.size());
  put32(&file, 292, static_cast<uint32_t>(instance.size()));
  put32(&file, 296, 12);  // 86400 s
  put32(&file, 300, buckets);
  put32(&file, 304, buckets);
  put32(&file, 308, 1);  // history on
  put32(&file, 312, 1);  // absolute
  put32(&file, 320, static_cast<uint32_t>(values.back()));
  put32(&file, 324, static_cast<uint32_t>(first));
  put32(&file, 328, 1);  // thresholds checked
  put32(&file, 332, static_cast<uint32_t>(type));
  put32(&file, 336, rising);
  put32(&file, 340, falling);
  put32(&file, 344, 0xFFFFFFFF);                                // invalid value -1
  put32(&file, 348, static_cast<uint32_t>(values.size() - 1));  // head
  put32(&file, 352, 0);                                         // tail
  put32(&file, 356, 1);                                         // oldest sample number
  put32(&file, 360, static_cast<uint32_t>(values.size()));      // samples held
  put32(&file, 364, 0xFFFFFFFF);
  for (size_t k = 0; k < values.size(); ++k) {
    put32(&file, 412 + 4 * k, static_cast<uint32_t>(values[k]));
  }
  std::filesystem::create_directories(dir);
  writeFile(dir + "/" + std::to_string(control) + ".NT", file);
}

struct Outcome {
  std::string output;  // standard output and error
  int status = -1;
};

class WltrendEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.setPerfData(R"({ "perfFreq": 10000000,
      "memory": { "totalPhys": 104857600, "availPhys": 52428800 },
      "objects": [ { "index": 510, "name": "Network Interface",
        "counters": [ { "index": 264, "name": "Packets Received/sec", "size": 4,
                        "type": "PERF_COUNTER_COUNTER" } ],
        "instances": [ { "name": "eth0", "values": [1000] } ] } ] })");
    ASSERT_EQ(install_.install("pctMemoryAvailableKBytes 12 100 1 80 20 1 falling\r\n"
                               "[TrendFiles]\r\n",
                               freeUdpPort()),
              "");
    // Control 1: 20 daily samples from day 1, the 8th not taken; control 2:
    // 5 samples from day 16.
    std::vector<int32_t> memory;
    for (int k = 1; k <= 20; ++k) memory.push_back(k == 8 ? -1 : 39 + k);
    writeHistory(install_.historyDirectory(), 1, 8, "", 80, 20, 2, memory);
    writeHistory(install_.historyDirectory(), 2, 16, "Network Interface eth0", 100000, 0, 1,
                 {5, 6, 7, 8, 9});
    // The service was down for three days after the newest sample (day 20).
    const long long now = kFirst + 22 * kDay + 3630;
    install_.setClockOffset(now - static_cast<long long>(std::time(nullptr)));
    ASSERT_TRUE(service_.start()) << install_.traceLog();
  }

  Outcome wltrend(const std::string& arguments) {
    const std::string output = run("{ " + shellQuote(buildDir() + "/bin/wltrend") + " " +
                                   arguments + " 2>&1; echo \"exit=$?\"; }");
    Outcome outcome;
    const size_t at = output.rfind("exit=");
    if (at == std::string::npos) return outcome;
    outcome.output = output.substr(0, at);
    outcome.status = std::stoi(output.substr(at + 5));
    return outcome;
  }

  std::string agent() const { return "udp:127.0.0.1:" + std::to_string(service_.port()); }

  Installation install_;
  Service service_{install_, freeUdpPort()};
};

TEST_F(WltrendEndToEnd, ListsShowsExportsAndDrawsAHistoryWithAnOutage) {
  Outcome list = wltrend("list " + agent());
  ASSERT_EQ(list.status, 0) << list.output;
  EXPECT_EQ(list.output,
            "control  class                       instance                interval  buckets "
            "req/granted  rising  falling  threshold    status  samples  last value\n"
            "      1  8 pctMemoryAvailableKBytes  -                        86400 s              "
            "100/100      80       20  on, falling  valid        23         gap\n"
            "      2  16 physIfInPackets          Network Interface eth0   86400 s              "
            "100/100  100000        0  on, rising   valid         8         gap\n");

  Outcome show = wltrend("show " + agent() + " 1");
  ASSERT_EQ(show.status, 0) << show.output;
  const std::vector<std::string> shown = lines(show.output);
  ASSERT_EQ(shown.size(), 25u) << show.output;
  EXPECT_EQ(shown[0],
            "control 1: class 8 pctMemoryAvailableKBytes, every 86400 s; 23 samples, 4 gaps");
  EXPECT_EQ(shown[1], "time (UTC)           sample  value");
  EXPECT_EQ(shown[2], "2026-01-01 00:00:00       1     40");
  EXPECT_EQ(shown[9], "2026-01-08 00:00:00       8    gap");
  EXPECT_EQ(shown[21], "2026-01-20 00:00:00      20     59");
  // The days the service was down.
  EXPECT_EQ(shown[22], "2026-01-21 00:00:00      21    gap");
  EXPECT_EQ(shown[24], "2026-01-23 00:00:00      23    gap");
  Outcome since = wltrend("show " + agent() + " 1 --since 2026-01-20T12:00");
  EXPECT_EQ(lines(since.output).size(), 5u) << since.output;
  since = wltrend("show " + agent() + " 2 --since -1d");
  EXPECT_EQ(lines(since.output).size(), 4u) << since.output;

  // csv round-trips what snmpwalk reads, with SNMPv2c (GETBULK) and SNMPv1.
  const std::string walked =
      run(service_.client("snmpwalk", "-v2c -c public") + " .1.3.6.1.4.1.64823.2.45.1.2.1.3.1");
  std::string expected = "time,value,valid\n";
  for (const std::string& line : lines(walked)) {
    const std::string prefix = ".1.3.6.1.4.1.64823.2.45.1.2.1.3.1.";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const long long k = std::stoll(line.substr(prefix.size()));
    const std::string value = line.substr(line.find("INTEGER: ") + 9);
    char time[32];
    const time_t when = static_cast<time_t>(kFirst + (k - 1) * kDay);
    std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&when));
    expected += std::string(time) + "," + value + "," + (value == "-1" ? "0" : "1") + "\n";
  }
  Outcome csv = wltrend("csv " + agent() + " 1");
  EXPECT_EQ(csv.status, 0);
  EXPECT_EQ(csv.output, expected);
  EXPECT_EQ(lines(expected).size(), 24u);
  Outcome csv1 = wltrend("-v 1 -c public csv " + agent() + " 1");
  EXPECT_EQ(csv1.output, expected);

  // The SVG parses, and its point series holds one point per valid sample.
  const std::string svg = install_.dir() + "/chart.svg";
  Outcome plot = wltrend("plot " + agent() + " 1 --svg " + shellQuote(svg));
  ASSERT_EQ(plot.status, 0) << plot.output;
  const std::string count =
      run("python3 -c " +
          shellQuote("import sys, xml.etree.ElementTree as E\n"
                     "root = E.parse(sys.argv[1]).getroot()\n"
                     "g = [e for e in root.iter('{http://www.w3.org/2000/svg}g')"
                     " if e.get('id') == 'gnuplot_plot_2'][0]\n"
                     "print(len(list(g.iter('{http://www.w3.org/2000/svg}use'))))\n") +
          " " + shellQuote(svg));
  EXPECT_EQ(count, "19\n");
  // In the terminal: the key names both thresholds.
  Outcome dumb = wltrend("plot " + agent() + " 1");
  EXPECT_EQ(dumb.status, 0) << dumb.output;
  EXPECT_NE(dumb.output.find("rising 80"), std::string::npos) << dumb.output;
  EXPECT_NE(dumb.output.find("falling 20"), std::string::npos) << dumb.output;
}

TEST_F(WltrendEndToEnd, ErrorsSayWhatWentWrong) {
  const std::string noAnswer = "no answer: host unreachable or community wrong\n";
  const std::string nobody = "udp:127.0.0.1:" + std::to_string(freeUdpPort());
  Outcome outcome = wltrend("-t 0.5 -r 0 list " + nobody);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "wltrend: " + nobody + ": " + noAnswer);

  outcome = wltrend("-t 0.5 -r 0 -c wrong show " + agent() + " 1");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "wltrend: " + agent() + ": " + noAnswer);

  outcome = wltrend("csv " + agent() + " 999");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output, "wltrend: " + agent() + ": control 999 does not exist\n");

  outcome = wltrend("plot " + agent() + " 1 --png");
  EXPECT_EQ(outcome.status, 2);
  outcome = wltrend("show " + agent() + " 0");
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.output, "wltrend: 0: not a control number\n");
}

}  // namespace
}  // namespace trend::e2e
