// The trend agent inside the SNMP service, driven by net-snmp's clients:
// walks, gets and sets on both tables, and threshold traps received by
// snmptrapd. The controls sample once a day at midnight (UTC) and the test
// moves the service's clock to just before each midnight it wants a sample
// at, so every history is exactly what the test made it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <map>
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

// Three controls: available memory (class 8, control 1), then packets in on
// two network interfaces (class 16, controls 2 and 3), all daily.
const char kConfiguration[] =
    "pctMemoryAvailableKBytes 12 100 1 80 20 1 rising\r\n"
    "physIfInPackets 12 100 1 100000 0 2 rising\r\n"
    "[TrendFiles]\r\n";

// Performance data with `availPercent` % of 100 MiB memory available and the
// network interfaces named.
std::string perfData(int availPercent,
                     const std::vector<std::string>& interfaces = {"eth0", "eth1"}) {
  std::string instances;
  for (size_t i = 0; i < interfaces.size(); ++i) {
    if (i > 0) instances += ", ";
    instances += R"({ "name": ")" + interfaces[i] + R"(", "values": [)" +
                 std::to_string(1000 * (i + 1)) + "] }";
  }
  return R"({ "perfFreq": 10000000,
  "memory": { "totalPhys": 104857600, "availPhys": )" +
         std::to_string(1048576LL * availPercent) + R"( },
  "objects": [
    { "index": 510, "name": "Network Interface",
      "counters": [ { "index": 264, "name": "Packets Received/sec", "size": 4,
                      "type": "PERF_COUNTER_COUNTER" } ],
      "instances": [ )" +
         instances + R"( ] } ] })";
}

class MibEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { startAgent(kConfiguration, perfData(50)); }

  // Control 1 must be the available memory (class 8): the tests watch it.
  void startAgent(const std::string& configuration, const std::string& performanceData) {
    // Day zero is a midnight well ahead of the real clock.
    day0_ = (static_cast<long long>(std::time(nullptr)) / 86400 + 10) * 86400;
    moveClockTo(day0_ + 43200);  // noon of the day before the first sample
    install_.setPerfData(performanceData);
    trapPort_ = freeUdpPort();
    ASSERT_EQ(install_.install(configuration, trapPort_), "");
    ASSERT_TRUE(service_.start()) << install_.traceLog();
  }

  void moveClockTo(long long when) {
    install_.setClockOffset(when - static_cast<long long>(std::time(nullptr)));
  }

  // Lets every control take one sample at the next midnight and waits for it.
  bool sampleAtNextMidnight() {
    ++days_;
    const std::string before = get({controlOid(14, 8, 1)});
    moveClockTo(day0_ + 86400LL * days_ - 2);
    if (!waitUntil([&] { return get({controlOid(14, 8, 1)}) != before; }, 15s)) return false;
    // The other controls follow in the same pass.
    std::this_thread::sleep_for(300ms);
    return true;
  }

  // "OID = TYPE: value" lines of a get.
  std::string get(const std::vector<std::string>& names,
                  const std::string& options = "-v1 -c public") {
    std::string command = service_.client("snmpget", options);
    for (const std::string& name : names) command += " " + name;
    return run(command);
  }

  std::string set(const std::string& arguments) {
    return run(service_.client("snmpset", "-v1 -c private") + " " + arguments);
  }

  // The integer value of one object, or a large negative number when the
  // answer is not an integer.
  long long integer(const std::string& name) {
    const std::string answer = get({name});
    const size_t at = answer.find("INTEGER: ");
    if (at == std::string::npos) return -99999999999LL;
    return std::stoll(answer.substr(at + 9));
  }

  std::vector<std::string> walkedNames(const std::string& tool, const std::string& options) {
    std::vector<std::string> names;
    for (const std::string& line : lines(run(service_.client(tool, options) + " " + kRoot))) {
      // Version 1 walks end with "End of MIB", version 2 walks on the
      // exception that leaves the view.
      if (line.rfind("End of MIB", 0) == 0) continue;
      if (line.find("No more variables left") != std::string::npos) continue;
      names.push_back(line.substr(0, line.find(' ')));
    }
    return names;
  }

  Installation install_;
  Service service_{install_, freeUdpPort()};
  int trapPort_ = 0;
  long long day0_ = 0;
  int days_ = 0;
};

TEST_F(MibEndToEnd, WalksVisitTheControlTableThenTheHeldSamplesInOrder) {
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();

  std::vector<std::string> expected;
  for (int col = 1; col <= 17; ++col) {
    for (auto [classId, index] : {std::pair{8, 1}, {16, 2}, {16, 3}}) {
      expected.push_back(controlOid(col, classId, index));
    }
  }
  for (int col = 1; col <= 3; ++col) {
    for (int index = 1; index <= 3; ++index) {
      for (unsigned k = 1; k <= 2; ++k) expected.push_back(historyOid(col, index, k));
    }
  }
  EXPECT_EQ(walkedNames("snmpwalk", "-v1 -c public"), expected);
  EXPECT_EQ(walkedNames("snmpbulkwalk", "-v2c -c public -Cr7"), expected);
  EXPECT_EQ(walkedNames("snmpwalk", "-v2c -c public"), expected);

  // Get-next steps that cross from one part of the tables to the next.
  const std::string next = service_.client("snmpgetnext");
  EXPECT_EQ(run(next + " " + controlOid(5, 16, 3)).rfind(controlOid(6, 8, 1) + " ", 0), 0u);
  EXPECT_EQ(run(next + " " + controlOid(17, 16, 3)).rfind(historyOid(1, 1, 1) + " = INTEGER: 1", 0),
            0u);
  EXPECT_EQ(run(next + " " + historyOid(2, 1, 2)).rfind(historyOid(2, 2, 1) + " ", 0), 0u);
}

TEST_F(MibEndToEnd, GetNextOnANameBeforeATableAnswersItsFirstInstance) {
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  const std::string next = service_.client("snmpgetnext");
  for (const std::string& before :
       {kRoot + ".0", kRoot + ".1.0", kRoot + ".1.1.0", kRoot + ".1.1.0.7.7.7", kRoot + ".0.5"}) {
    EXPECT_EQ(run(next + " " + before).rfind(controlOid(1, 8, 1) + " = INTEGER: 8", 0), 0u)
        << before;
  }
  for (const std::string& between :
       {kRoot + ".1.1.2", kRoot + ".1.1.2.1.1", kRoot + ".1.2.0", kRoot + ".1.2.0.3.3.3"}) {
    EXPECT_EQ(run(next + " " + between).rfind(historyOid(1, 1, 1) + " = INTEGER: 1", 0), 0u)
        << between;
  }
  // Past the history entry the walk leaves the agent.
  const std::string past = run(next + " " + kRoot + ".1.2.2");
  EXPECT_EQ(past.find(" = INTEGER"), std::string::npos) << past;
}

TEST_F(MibEndToEnd, GetsAnswerFromTheRingBeforeItIsWrittenBack) {
  install_.setPerfData(perfData(25));
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  // The sample is in the cache page only: the file still holds its header.
  struct stat st {};
  ASSERT_EQ(stat((install_.historyDirectory() + "/1.NT").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 412);
  EXPECT_EQ(integer(historyOid(3, 1, 1)), 25);

  EXPECT_EQ(integer(controlOid(14, 8, 1)), 1);
  EXPECT_EQ(integer(controlOid(7, 8, 1)), 25);
  EXPECT_EQ(integer(controlOid(8, 8, 1)), day0_ + 86400);
  // A 16th arc is ignored.
  EXPECT_EQ(integer(controlOid(4, 8, 1) + ".5"), 12);
  for (const std::string& missing : {historyOid(3, 1, 0), historyOid(3, 1, 2), kRoot + ".2.1.0"}) {
    // Not held, beyond the newest sample, and a trap object.
    const std::string answer = get({missing});
    EXPECT_NE(answer.find("noSuchName"), std::string::npos) << answer;
  }
  const std::string instance = get({controlOid(3, 16, 2), controlOid(3, 16, 3)});
  EXPECT_NE(instance.find("STRING: Network Interface eth"), std::string::npos) << instance;
}

TEST_F(MibEndToEnd, BucketSetsAreRoundedAndConvertedByTheWorker) {
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  const std::string requested = controlOid(15, 8, 1);
  const std::string granted = controlOid(16, 8, 1);
  auto setBuckets = [&](long long v) {
    const std::string answer = set(requested + " i " + std::to_string(v));
    EXPECT_EQ(answer.find("Error"), std::string::npos) << v << ": " << answer;
  };
  auto grantedBecomes = [&](long long g) {
    return waitUntil([&] { return integer(granted) == g; }, 5s);
  };

  setBuckets(109);  // 100 granted: no change
  EXPECT_EQ(integer(requested), 109);
  EXPECT_EQ(integer(granted), 100);
  setBuckets(111);
  EXPECT_TRUE(grantedBecomes(110));
  setBuckets(0);
  EXPECT_TRUE(grantedBecomes(50));
  setBuckets(7);
  EXPECT_EQ(integer(granted), 50);
  setBuckets(105);
  EXPECT_TRUE(grantedBecomes(100));
  EXPECT_EQ(integer(requested), 105);
  setBuckets(-1);
  EXPECT_TRUE(grantedBecomes(2147483640));
  EXPECT_EQ(integer(requested), -1);
  // The sample survived the conversions.
  EXPECT_EQ(integer(controlOid(14, 8, 1)), 1);
  EXPECT_EQ(integer(historyOid(3, 1, 1)), 50);
}

TEST_F(MibEndToEnd, IntervalSetsAndErrorIndexes) {
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  const std::string interval = controlOid(4, 8, 1);
  EXPECT_EQ(set(interval + " i 12").find("Error"), std::string::npos);
  EXPECT_EQ(integer(controlOid(14, 8, 1)), 1);  // the history is kept

  const std::string bad = set(interval + " i 13");
  EXPECT_NE(bad.find("badValue"), std::string::npos) << bad;
  EXPECT_NE(install_.traceLog().find("control: 1 change interval from 12 to 13\n"),
            std::string::npos);
  EXPECT_EQ(integer(interval), 12);

  const std::string rising = controlOid(11, 8, 1);
  std::string answer = set(rising + " i 55 " + historyOid(3, 1, 1) + " i 5");
  EXPECT_NE(answer.find("readOnly"), std::string::npos) << answer;
  EXPECT_NE(answer.find("Failed object: " + historyOid(3, 1, 1)), std::string::npos) << answer;
  EXPECT_EQ(integer(rising), 80);  // nothing applied

  answer = set(rising + " i 77 " + controlOid(9, 8, 1) + " i 5");
  EXPECT_NE(answer.find("badValue"), std::string::npos) << answer;
  EXPECT_NE(answer.find("Failed object: " + controlOid(9, 8, 1)), std::string::npos) << answer;
  EXPECT_EQ(integer(rising), 77);  // the first stays applied

  answer = set(controlOid(6, 8, 1) + " i 1");
  EXPECT_NE(answer.find("noSuchName"), std::string::npos) << answer;
  answer = set(controlOid(16, 8, 1) + " i 1");
  EXPECT_NE(answer.find("readOnly"), std::string::npos) << answer;

  // A real change restarts the history.
  EXPECT_EQ(set(interval + " i 1").find("Error"), std::string::npos);
  EXPECT_EQ(integer(interval), 1);
  // Empty, or already holding a first sample of the new interval.
  EXPECT_NE(integer(controlOid(8, 8, 1)), day0_ + 86400);
}

// Only daily controls and the five-minute rescan are due, so the timer sleeps
// for minutes; a control set to a 5-second interval must not wait for that.
TEST_F(MibEndToEnd, AnIntervalNewlyInUseIsSampledAtItsNextTick) {
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  ASSERT_EQ(set(controlOid(4, 8, 1) + " i 1").find("Error"), std::string::npos);
  const long long midnight = day0_ + 86400;
  EXPECT_TRUE(waitUntil(
      [&] {
        const long long reference = integer(controlOid(8, 8, 1));
        return reference > midnight && reference < midnight + 60;
      },
      15s))
      << install_.traceLog();
}

TEST_F(MibEndToEnd, ThresholdCrossingsBecomeTraps) {
  TrapReceiver receiver(install_.dir(), trapPort_);
  ASSERT_TRUE(receiver.start());
  // Rising 80, falling 20: 81 raises, 19 re-arms, 85 raises again; 80 never.
  for (int percent : {50, 81, 90, 80, 30, 19, 85}) {
    install_.setPerfData(perfData(percent));
    ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  }
  ASSERT_TRUE(waitUntil([&] { return receiver.traps().size() >= 2; }, 10s));
  std::this_thread::sleep_for(1s);
  const std::vector<std::string> traps = receiver.traps();
  ASSERT_EQ(traps.size(), 2u);
  for (const std::string& trap : traps) {
    // snmptrapd prints the specific number as the last arc of the trap's
    // SNMPv2 name: ".8".
    EXPECT_NE(trap.find("enterprise=" + kRoot + ".0 specific=.8 generic=6"), std::string::npos)
        << trap;
    EXPECT_NE(trap.find(kRoot + ".2.1.0 = STRING: "), std::string::npos) << trap;
    EXPECT_NE(trap.find(kRoot + ".2.3.0 = INTEGER: 80"), std::string::npos) << trap;
    EXPECT_NE(trap.find(kRoot + ".2.4.0 = INTEGER: 86400"), std::string::npos) << trap;
    EXPECT_EQ(trap.find(kRoot + ".2.5.0"), std::string::npos) << trap;
  }
}

TEST_F(MibEndToEnd, SaturatedProcessorReadsOneHundredAndRaisesItsRisingTrap) {
  service_.stop();
  std::filesystem::remove_all(install_.historyDirectory());
  // Processor 0's idle counter never moves: it is busy all the time.
  std::string data = perfData(50);
  data.insert(data.rfind(']'), R"(,
    { "index": 238, "name": "Processor",
      "counters": [ { "index": 6, "name": "% Processor Time", "size": 8,
                      "type": "PERF_100NSEC_TIMER_INV" } ],
      "instances": [ { "name": "0", "values": [ 123456789 ] } ] })");
  startAgent(
      "pctMemoryAvailableKBytes 12 100 1 80 20 2 rising\r\n"
      "pctProcessorTime 12 100 1 90 10 1 rising\r\n"
      "[TrendFiles]\r\n",
      data);
  TrapReceiver receiver(install_.dir(), trapPort_);
  ASSERT_TRUE(receiver.start());
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();  // the first reading
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  EXPECT_EQ(integer(historyOid(3, 2, 2)), 100);
  ASSERT_TRUE(waitUntil([&] { return !receiver.traps().empty(); }, 10s)) << install_.traceLog();
  const std::string trap = receiver.traps().front();
  EXPECT_NE(trap.find("specific=.1 generic=6"), std::string::npos) << trap;
  EXPECT_NE(trap.find(kRoot + ".2.3.0 = INTEGER: 90"), std::string::npos) << trap;
}

// A logical disk control and eleven work queue controls that all cross their
// thresholds in the same pass.
class TrapQueueEndToEnd : public MibEndToEnd {
 protected:
  void SetUp() override {
    std::string queues;
    for (int i = 0; i < 11; ++i) {
      queues += std::string(i == 0 ? "" : ", ") + R"({ "name": ")" + std::to_string(i) +
                R"(", "values": [10] })";
    }
    startAgent(
        "pctMemoryAvailableKBytes 12 100 1 80 20 2 rising\r\n"
        "pctLogicalDiskFreeSpace 12 100 1 80 20 1 falling\r\n"
        "readyWorkQueueItems 12 100 1 5 1 1 rising\r\n"
        "[TrendFiles]\r\n",
        R"({ "memory": { "totalPhys": 104857600, "availPhys": 52428800 },
  "drives": { "C:": { "totalBytes": 102400000, "freeBytes": 15360000 } },
  "objects": [
    { "index": 236, "name": "LogicalDisk",
      "counters": [ { "index": 408, "name": "% Free Space", "size": 4 } ],
      "instances": [ { "name": "C:", "values": [15] } ] },
    { "index": 1300, "name": "Server Work Queues",
      "counters": [ { "index": 1302, "name": "Queue Length", "size": 4 } ],
      "instances": [ )" +
            queues + " ] } ] }");
  }
};

// The names of the varbinds of a trap line, in order.
std::vector<std::string> varbindNames(const std::string& trap) {
  std::vector<std::string> names;
  const std::string vars = trap.substr(trap.find("vars=") + 5);
  size_t at = 0;
  while (at < vars.size()) {
    const size_t end = vars.find(' ', at);
    names.push_back(vars.substr(at, end - at));
    const size_t tab = vars.find('\t', at);
    if (tab == std::string::npos) break;
    at = tab + 1;
  }
  return names;
}

TEST_F(TrapQueueEndToEnd, TwelveRaisesInOnePassSendTheFirstTen) {
  TrapReceiver receiver(install_.dir(), trapPort_);
  ASSERT_TRUE(receiver.start());
  ASSERT_TRUE(sampleAtNextMidnight()) << install_.traceLog();
  ASSERT_TRUE(waitUntil([&] { return receiver.traps().size() >= 10; }, 10s))
      << receiver.traps().size();
  std::this_thread::sleep_for(2s);
  const std::vector<std::string> traps = receiver.traps();
  ASSERT_EQ(traps.size(), 10u);

  // The logical disk first: 4 varbinds ending with the drive.
  EXPECT_NE(traps[0].find("enterprise=" + kRoot + ".0 specific=.15 generic=6"), std::string::npos)
      << traps[0];
  EXPECT_EQ(varbindNames(traps[0]), (std::vector<std::string>{kRoot + ".2.1.0", kRoot + ".2.2.0",
                                                              kRoot + ".2.3.0", kRoot + ".2.7.0"}))
      << traps[0];
  EXPECT_NE(traps[0].find(kRoot + ".2.3.0 = INTEGER: 20"), std::string::npos) << traps[0];
  EXPECT_NE(traps[0].find(kRoot + ".2.7.0 = STRING: \"LogicalDisk C:\""), std::string::npos)
      << traps[0];
  // Then nine of the eleven work queues: the adapter before the interval.
  for (size_t i = 1; i < traps.size(); ++i) {
    EXPECT_NE(traps[i].find("specific=.20 generic=6"), std::string::npos) << traps[i];
    EXPECT_EQ(varbindNames(traps[i]),
              (std::vector<std::string>{kRoot + ".2.1.0", kRoot + ".2.2.0", kRoot + ".2.3.0",
                                        kRoot + ".2.8.0", kRoot + ".2.4.0"}))
        << traps[i];
    EXPECT_NE(traps[i].find(kRoot + ".2.8.0 = STRING: \"Server Work Queues "), std::string::npos)
        << traps[i];
  }
}

}  // namespace
}  // namespace trend::e2e
