// Sampling through the SNMP service with a movable clock: the alignment of a
// history after the service was stopped or the clock moved back, and the
// rescan that deprecates and revalidates network interface controls.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "agent/trend/tests/snmp_e2e_support.h"

namespace trend::e2e {
namespace {

const std::string kRoot = ".1.3.6.1.4.1.64823.2.45";

std::string controlOid(int col, int classId, int index) {
  return kRoot + ".1.1.1." + std::to_string(col) + "." + std::to_string(classId) + "." +
         std::to_string(index);
}
std::string historyOid(int col, int index, unsigned k) {
  return kRoot + ".1.2.1." + std::to_string(col) + "." + std::to_string(index) + "." +
         std::to_string(k);
}

std::string perfData(const std::vector<std::string>& interfaces) {
  std::string instances;
  for (size_t i = 0; i < interfaces.size(); ++i) {
    if (i > 0) instances += ", ";
    instances += R"({ "name": ")" + interfaces[i] + R"(", "values": [)" +
                 std::to_string(1000 * (i + 1)) + "] }";
  }
  return R"({ "perfFreq": 10000000,
  "memory": { "totalPhys": 104857600, "availPhys": 52428800 },
  "objects": [
    { "index": 510, "name": "Network Interface",
      "counters": [ { "index": 264, "name": "Packets Received/sec", "size": 4,
                      "type": "PERF_COUNTER_COUNTER" } ],
      "instances": [ )" +
         instances + R"( ] } ] })";
}

class SamplingEndToEnd : public ::testing::Test {
 protected:
  // Installs one control of available memory (control 1, 50 %) with a
  // 60-second interval and `buckets` buckets, and network interface controls
  // for eth0 and eth1; starts the service at `start`.
  void startWith(int buckets, long long start) {
    install_.setPerfData(perfData({"eth0", "eth1"}));
    moveClockTo(start);
    const std::string configuration = "pctMemoryAvailableKBytes 5 " + std::to_string(buckets) +
                                      " 1 80 20 2 rising\r\n"
                                      "physIfInPackets 12 100 1 100000 0 2 rising\r\n"
                                      "[TrendFiles]\r\n";
    ASSERT_EQ(install_.install(configuration, freeUdpPort()), "");
    ASSERT_TRUE(service_.start()) << install_.traceLog();
  }

  void moveClockTo(long long when) {
    install_.setClockOffset(when - static_cast<long long>(std::time(nullptr)));
  }

  long long integer(const std::string& name) {
    const std::string answer = run(service_.client("snmpget") + " " + name);
    const size_t at = answer.find("INTEGER: ");
    if (at == std::string::npos) return -99999999999LL;
    return std::stoll(answer.substr(at + 9));
  }

  long long lastSample() { return integer(controlOid(14, 8, 1)); }

  // Moves the clock to just before `due` and waits for the sample taken then.
  bool sampleAt(long long due) {
    const long long before = lastSample();
    moveClockTo(due - 2);
    return waitUntil([&] { return lastSample() != before; }, 15s);
  }

  // A minute boundary well ahead of the real clock.
  static long long minute0() {
    return (static_cast<long long>(std::time(nullptr)) / 60 + 600) * 60;
  }

  Installation install_;
  Service service_{install_, freeUdpPort()};
};

TEST_F(SamplingEndToEnd, HourStoppedFillsInvalidSamplesAtStartUp) {
  const long long t0 = minute0();
  startWith(100, t0 - 30);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(sampleAt(t0 + 60 * i)) << install_.traceLog();
  ASSERT_EQ(lastSample(), 3);
  service_.stop();

  // An hour later (and a second): 60 samples were missed.
  moveClockTo(t0 + 120 + 3601);
  ASSERT_TRUE(service_.start()) << install_.traceLog();
  EXPECT_EQ(lastSample(), 63);
  EXPECT_EQ(integer(historyOid(3, 1, 3)), 50);
  EXPECT_EQ(integer(historyOid(3, 1, 4)), -1);
  EXPECT_EQ(integer(historyOid(3, 1, 63)), -1);
  // Sampling goes on without a gap.
  ASSERT_TRUE(sampleAt(t0 + 120 + 3660)) << install_.traceLog();
  EXPECT_EQ(lastSample(), 64);
  EXPECT_EQ(integer(historyOid(3, 1, 64)), 50);
  EXPECT_EQ(integer(controlOid(8, 8, 1)), t0);
}

TEST_F(SamplingEndToEnd, HourStoppedRestartsASmallerHistory) {
  const long long t0 = minute0();
  startWith(50, t0 - 30);
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(sampleAt(t0 + 60 * i)) << install_.traceLog();
  service_.stop();

  moveClockTo(t0 + 60 + 3601);
  ASSERT_TRUE(service_.start()) << install_.traceLog();
  EXPECT_NE(install_.traceLog().find("missing too much samples, re-start the sampling - 1\n"),
            std::string::npos);
  EXPECT_EQ(lastSample(), 0);
  EXPECT_EQ(integer(controlOid(8, 8, 1)), 0);
  ASSERT_TRUE(sampleAt(t0 + 60 + 3660)) << install_.traceLog();
  EXPECT_EQ(lastSample(), 1);
  EXPECT_EQ(integer(controlOid(8, 8, 1)), t0 + 60 + 3660);
}

TEST_F(SamplingEndToEnd, ClockMovedBackRemovesTheNewestSamples) {
  const long long t0 = minute0();
  startWith(100, t0 - 30);
  for (int i = 0; i < 13; ++i) ASSERT_TRUE(sampleAt(t0 + 60 * i)) << install_.traceLog();
  ASSERT_EQ(lastSample(), 13);
  const long long lastDue = t0 + 60 * 12;

  // The pass 600 seconds before the newest sample removes the 11 samples due
  // at or after it, then stores its own.
  ASSERT_TRUE(sampleAt(lastDue - 600)) << install_.traceLog();
  EXPECT_EQ(lastSample(), 3);
  EXPECT_NE(install_.traceLog().find("diff: 600, numOfInvalid: 11\n"), std::string::npos)
      << install_.traceLog();
  EXPECT_EQ(integer(historyOid(3, 1, 3)), 50);
  EXPECT_EQ(integer(controlOid(8, 8, 1)), t0);
}

TEST_F(SamplingEndToEnd, ClockSteppedBackWithinAnIntervalKeepsOneSamplePerDueTime) {
  const long long t0 = minute0();
  startWith(100, t0 - 30);
  ASSERT_TRUE(sampleAt(t0)) << install_.traceLog();
  // The pass five seconds later runs; then a time-synchronisation step of
  // about ten seconds back makes the clock pass t0 a second time.
  moveClockTo(t0 + 3);
  std::this_thread::sleep_for(3s);
  moveClockTo(t0 - 3);
  std::this_thread::sleep_for(5s);
  EXPECT_EQ(lastSample(), 1);

  ASSERT_TRUE(sampleAt(t0 + 60)) << install_.traceLog();
  ASSERT_TRUE(sampleAt(t0 + 120)) << install_.traceLog();
  EXPECT_EQ(lastSample(), 3);
  EXPECT_EQ(integer(controlOid(8, 8, 1)), t0);
  const std::vector<std::string> walked =
      lines(run(service_.client("snmpwalk") + " " + kRoot + ".1.2.1.2.1"));
  EXPECT_EQ(walked.size(), 3u) << install_.traceLog();
  EXPECT_EQ(install_.traceLog().find("internal error"), std::string::npos);
}

TEST_F(SamplingEndToEnd, VanishedInterfaceIsDeprecatedAndReturns) {
  // Five-minute boundaries are the rescan times.
  const long long t0 = (minute0() / 300 + 1) * 300;
  startWith(100, t0 - 30);
  const std::string status = controlOid(17, 16, 3);
  const std::string instance = controlOid(3, 16, 3);
  const std::string name = run(service_.client("snmpget") + " " + instance);
  const bool thirdIsEth1 = name.find("eth1") != std::string::npos;
  install_.setPerfData(perfData({thirdIsEth1 ? "eth0" : "eth1"}));

  moveClockTo(t0 - 2);
  EXPECT_TRUE(waitUntil([&] { return integer(status) == 2; }, 15s)) << install_.traceLog();
  EXPECT_EQ(integer(controlOid(17, 16, 2)), 1);

  // The housekeeping thread writes the caches back 5 seconds after its
  // rescan; a wake-up before it has finished would be lost.
  std::this_thread::sleep_for(6s);
  install_.setPerfData(perfData({"eth0", "eth1"}));
  moveClockTo(t0 + 300 - 2);
  EXPECT_TRUE(waitUntil([&] { return integer(status) == 1; }, 15s)) << install_.traceLog();
  // The same control came back: same number, same instance.
  EXPECT_EQ(run(service_.client("snmpget") + " " + instance), name);
  EXPECT_EQ(integer(controlOid(2, 16, 4)), -99999999999LL);  // no new control
}

}  // namespace
}  // namespace trend::e2e
