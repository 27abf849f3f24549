// The SNMP service killed (SIGKILL) at random moments while the trend agent
// samples 100 controls every 5 seconds: after every restart all controls are
// back from their history files and every ring reads as a consistent run of
// samples.
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "agent/trend/tests/snmp_e2e_support.h"

namespace trend::e2e {
namespace {

const std::string kRoot = ".1.3.6.1.4.1.64823.2.45";
constexpr int kControls = 100;

std::string perfData() {
  std::string queues;
  for (int i = 0; i < kControls; ++i) {
    queues += std::string(i == 0 ? "" : ", ") + R"({ "name": ")" + std::to_string(i) +
              R"(", "values": [)" + std::to_string(i) + "] }";
  }
  return R"({ "objects": [
    { "index": 1300, "name": "Server Work Queues",
      "counters": [ { "index": 1302, "name": "Queue Length", "size": 4 } ],
      "instances": [ )" +
         queues + " ] } ] }";
}

// Integer values of a walk by the last two arcs of their names.
std::map<std::pair<long long, long long>, long long> walkIntegers(const Service& service,
                                                                  const std::string& column) {
  std::map<std::pair<long long, long long>, long long> values;
  for (const std::string& line :
       lines(run(service.client("snmpbulkwalk", "-v2c -c public -Cr50") + " " + column))) {
    const size_t space = line.find(' ');
    const size_t integer = line.find("INTEGER: ");
    if (line.rfind(column + ".", 0) != 0 || integer == std::string::npos) continue;
    const std::string index = line.substr(column.size() + 1, space - column.size() - 1);
    const size_t dot = index.find('.');
    values[{std::stoll(index.substr(0, dot)), std::stoll(index.substr(dot + 1))}] =
        std::stoll(line.substr(integer + 9));
  }
  return values;
}

TEST(TrendReliability, KilledServiceRestoresEveryHistory) {
  Installation install;
  install.setPerfData(perfData());
  ASSERT_EQ(install.install("readyWorkQueueItems 1 100 1 1000 0 2 rising\r\n[TrendFiles]\r\n",
                            freeUdpPort()),
            "");
  Service service(install, freeUdpPort());
  std::mt19937 random(2026);
  const std::string lastSample = kRoot + ".1.1.1.14";
  const std::string granted = kRoot + ".1.1.1.16";
  const std::string historyControl = kRoot + ".1.2.1.1";

  // Every round starts a few seconds before a five-minute boundary, where the
  // housekeeping thread writes the cache pages back 7 seconds later; the kill
  // falls before or after that write-back.
  const long long base = (static_cast<long long>(std::time(nullptr)) / 300 + 100) * 300;
  int roundsWithHistory = 0;
  for (int round = 0; round < 20; ++round) {
    install.setClockOffset(base + 300LL * round - 3 - static_cast<long long>(std::time(nullptr)));
    ASSERT_TRUE(service.start()) << "round " << round << "\n" << install.traceLog();
    const auto newest = walkIntegers(service, lastSample);
    const auto sizes = walkIntegers(service, granted);
    ASSERT_EQ(newest.size(), static_cast<size_t>(kControls)) << "round " << round;

    // Each control's rows are the samples sampleIndex .. newest, no more
    // than the ring holds.
    std::map<long long, std::vector<long long>> rows;
    for (const auto& [index, value] : walkIntegers(service, historyControl)) {
      EXPECT_EQ(index.first, value);
      rows[index.first].push_back(index.second);
    }
    if (!rows.empty()) ++roundsWithHistory;
    for (const auto& [index, last] : newest) {
      const std::vector<long long>& held = rows[index.second];
      EXPECT_LE(static_cast<long long>(held.size()), sizes.at(index)) << index.second;
      if (held.empty()) continue;
      // A sample may arrive between the two walks.
      EXPECT_TRUE(held.back() == last || held.back() == last + 1)
          << "control " << index.second << " round " << round;
      EXPECT_EQ(held.back() - held.front() + 1, static_cast<long long>(held.size()))
          << "control " << index.second << " round " << round;
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 12000));
    service.kill();
  }
  EXPECT_GE(roundsWithHistory, 5);
}

}  // namespace
}  // namespace trend::e2e
