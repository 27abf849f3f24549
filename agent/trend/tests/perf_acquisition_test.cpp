// The trend agent's performance data over a fixture whose counters step
// between two samples: every class's computation, the instance lists, the
// block buffers and the name reload period.
#include "agent/trend/perf_acquisition.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "agent/testing/agent_environment.h"
#include "win32/registry.h"
#include "win32/timeapi.h"

namespace trend {
namespace {

using nlohmann::json;

time_t fakeNow = 1'000'000'000;
time_t fakeClock() { return fakeNow; }

// A private registry and fixture file for this test program.
struct Environment {
  wltest::Sandbox sandbox{"wl-perfacq"};
  std::string dir = sandbox.path();
  std::string fixturePath = dir + "/perfdata.json";
  Environment() {
    setenv("WARDENLINE_PERFDATA", fixturePath.c_str(), 1);
    wl_set_calendar_source(&fakeClock);
  }
};
Environment& environment() {
  static Environment env;
  return env;
}

void writeFixture(const json& document) {
  // Write aside and rename, so that a reader never sees half a file.
  std::string temp = environment().fixturePath + ".new";
  std::ofstream(temp) << document.dump();
  std::rename(temp.c_str(), environment().fixturePath.c_str());
}

json counter(int index, const char* name, int size) {
  return {{"index", index}, {"name", name}, {"size", size}};
}
json instance(const std::string& name, std::vector<int64_t> values) {
  return {{"name", name}, {"values", values}};
}

// Every object the classes read; `pass` 0 and 1 give the two samples' values.
json stepFixture(int pass) {
  auto at = [pass](int64_t first, int64_t second) { return pass == 0 ? first : second; };
  json objects = json::array();
  objects.push_back(
      {{"index", 238},
       {"name", "Processor"},
       {"counters", {counter(6, "% Processor Time", 8)}},
       {"instances",
        {instance("0", {at(1'000'000'000, 1'025'000'000)}), instance("1", {at(500, 500)})}}});
  objects.push_back(
      {{"index", 330},
       {"name", "Server"},
       {"counters",
        {counter(388, "Bytes Total/sec", 4), counter(4002, "Bytes Transmitted/sec", 4),
         counter(264, "Bytes Received/sec", 8), counter(4004, "Logon Total", 4),
         counter(4006, "Errors Logon", 3), counter(4008, "Server Sessions", 8)}},
       {"values",
        {at(2047, 2048), at(5 * 1024, 8 * 1024), at(10LL << 30, (10LL << 30) + 7 * 1024), 12345, 1,
         0x100000005LL}}});
  objects.push_back(
      {{"index", 2},
       {"name", "System"},
       {"counters",
        {counter(10, "File Read Operations/sec", 4), counter(12, "File Write Operations/sec", 4),
         counter(16, "File Read Bytes/sec", 4), counter(18, "File Write Bytes/sec", 8)}},
       {"values",
        {at(0x7FFFFFFF, -0x80000000LL), at(100, 150), at(4096, 7168),
         at(1LL << 40, (1LL << 40) + 2048 * 1024)}}});
  objects.push_back(
      {{"index", 86},
       {"name", "Cache"},
       {"counters", {counter(94, "Data Map Hits %", 4), counter(95, "Data Map Hits Base", 4)}},
       {"values", {at(50, 80), at(100, 140)}}});
  objects.push_back(
      {{"index", 236},
       {"name", "LogicalDisk"},
       {"counters", {counter(408, "% Free Space", 4), counter(409, "Free Space Base", 4)}},
       {"instances", {instance("C:", {512, 2048})}}});
  objects.push_back(
      {{"index", 234},
       {"name", "PhysicalDisk"},
       {"counters", {counter(206, "Avg. Disk sec/Transfer", 8), counter(207, "Transfers Base", 4)}},
       {"instances",
        {instance("0", {at(1000, 51000), at(10, 15)}), instance("1", {at(7, 7), at(3, 3)})}}});
  objects.push_back({{"index", 510},
                     {"name", "Network Interface"},
                     {"counters",
                      {counter(266, "Packets Received/sec", 4), counter(452, "Packets Sent/sec", 4),
                       counter(264, "Bytes Received/sec", 4), counter(506, "Bytes Sent/sec", 4)}},
                     {"instances",
                      {instance("eth0", {at(100, 160), 0, at(0, 100 * 1024), at(2047, 2048)}),
                       instance("eth1", {0, 0, 0, 0})}}});
  objects.push_back({{"index", 1300},
                     {"name", "Server Work Queues"},
                     {"counters",
                      {counter(4010, "Queue Length", 4), counter(4012, "Available Work Items", 4),
                       counter(4014, "Total Bytes/sec", 4)}},
                     {"instances", {instance("0", {3, 64, at(0, 10240)})}}});
  return {{"perfFreq", 10'000'000},
          {"memory", {{"totalPhys", 64 << 20}, {"availPhys", 16 << 20}}},
          {"objects", objects}};
}

Control makeControl(DWORD classId, const char* instanceText = "", LONG diskSizeMB = 0) {
  Control control;
  control.classId = classId;
  std::snprintf(control.instanceName, sizeof(control.instanceName), "%s", instanceText);
  control.diskSizeMB = diskSizeMB;
  return control;
}

class PerfAcquisitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment();
    releasePerformanceData();
    fakeNow += 100'000;  // well past any earlier name load
  }
  void TearDown() override { releasePerformanceData(); }

  void refreshWith(const json& fixture) {
    writeFixture(fixture);
    refreshPerformanceData();
  }
};

struct Expected {
  Control control;
  LONG first;
  bool firstInvalid;
  LONG second;
  bool secondInvalid;
};

TEST_F(PerfAcquisitionTest, EveryClassFromTwoSteppedSamples) {
  std::vector<Expected> cases = {
      {makeControl(1, "Processor 0"), -1, false, 75, false},
      {makeControl(1, "Processor 1"), -1, false, 100, false},  // idle counter did not advance
      {makeControl(2), -1, false, 1, false},                   // 2047 then 2048 bytes: 1 KByte
      {makeControl(3), -1, false, 3, false},
      {makeControl(4), -1, false, 7, false},
      {makeControl(5), 12345, false, 12345, false},
      {makeControl(6), -1, true, -1, true},  // a 3-byte counter cannot be read
      {makeControl(7), 5, false, 5, false},  // low 32 bits
      {makeControl(8), 25, false, 25, false},
      {makeControl(9), -1, false, 1, false},  // 0x7FFFFFFF then 0x80000000
      {makeControl(10), -1, false, 50, false},
      {makeControl(11), -1, false, 3, false},
      {makeControl(12), -1, false, 2048, false},
      {makeControl(13), -1, false, 75, false},
      {makeControl(14, "PhysicalDisk 0"), -1, false, 1000, false},
      {makeControl(14, "PhysicalDisk 1"), -1, false, 0, false},  // no transfers
      {makeControl(15, "LogicalDisk C:", 2048), 25, false, 25, false},
      {makeControl(15, "LogicalDisk C:", 0), -1, false, -1, false},
      {makeControl(16, "Network Interface eth0"), -1, false, 60, false},
      {makeControl(17, "Network Interface eth0"), -1, false, 0, false},
      {makeControl(18, "Network Interface eth0"), -1, false, 100, false},
      {makeControl(19, "Network Interface eth0"), -1, false, 1, false},
      {makeControl(20, "Server Work Queues 0"), 3, false, 3, false},
      {makeControl(21, "Server Work Queues 0"), 64, false, 64, false},
      {makeControl(22, "Server Work Queues 0"), -1, false, 10, false},
      {makeControl(16, "Network Interface eth9"), -1, false, -1, false},
      {makeControl(23), -1, true, -1, true},
  };
  refreshWith(stepFixture(0));
  for (Expected& c : cases) {
    Sample sample = computeSample(&c.control);
    EXPECT_EQ(c.first, sample.value)
        << "class " << c.control.classId << " " << c.control.instanceName;
    EXPECT_EQ(c.firstInvalid, sample.invalid) << "class " << c.control.classId;
  }
  fakeNow += 10;
  refreshWith(stepFixture(1));
  for (Expected& c : cases) {
    Sample sample = computeSample(&c.control);
    EXPECT_EQ(c.second, sample.value)
        << "class " << c.control.classId << " " << c.control.instanceName;
    EXPECT_EQ(c.secondInvalid, sample.invalid) << "class " << c.control.classId;
  }
}

TEST_F(PerfAcquisitionTest, FailedReadingKeepsThePreviousReading) {
  Control control = makeControl(10);
  refreshWith(stepFixture(0));
  computeSample(&control);
  EXPECT_EQ(100, control.prevCounter);
  json withoutSystem = stepFixture(1);
  withoutSystem["objects"].erase(2);
  fakeNow += 5;
  refreshWith(withoutSystem);
  EXPECT_EQ(-1, computeSample(&control).value);
  EXPECT_EQ(100, control.prevCounter);
  fakeNow += 5;
  refreshWith(stepFixture(1));
  EXPECT_EQ(50, computeSample(&control).value);
}

TEST_F(PerfAcquisitionTest, RatioEdges) {
  json fixture = stepFixture(0);
  refreshWith(fixture);
  Control cache = makeControl(13);
  Control disk = makeControl(14, "PhysicalDisk 0");
  computeSample(&cache);
  computeSample(&disk);
  // No data-map requests in the interval: 100. A frequency of 0: -1.
  fixture["perfFreq"] = 0;
  fakeNow += 10;
  refreshWith(fixture);
  EXPECT_EQ(100, computeSample(&cache).value);
  EXPECT_EQ(-1, computeSample(&disk).value);
}

TEST_F(PerfAcquisitionTest, InstanceListsInReverseBlockOrder) {
  json fixture = stepFixture(0);
  fixture["objects"][6]["instances"].push_back(
      instance("\xe4\xb8\xad-nic", {0, 0, 0, 0}));  // not representable in the ANSI page
  fixture["objects"].erase(7);                      // no Server Work Queues
  refreshWith(fixture);
  InstanceEntry* list = nullptr;
  ASSERT_EQ(0, Get_Object_Instances(17, &list));
  std::vector<std::string> texts;
  for (InstanceEntry* entry = list; entry; entry = entry->next)
    texts.push_back(entry->instanceText);
  freeInstanceList(list);
  EXPECT_EQ((std::vector<std::string>{"Network Interface _-nic", "Network Interface eth1",
                                      "Network Interface eth0"}),
            texts);
  Control control = makeControl(16, "Network Interface _-nic");
  computeSample(&control);
  EXPECT_NE(0, control.prevReadTime);  // the converted name found the instance

  // An object missing from the data: an empty list and failed readings.
  ASSERT_EQ(0, Get_Object_Instances(20, &list));
  EXPECT_EQ(nullptr, list);
  Control queue = makeControl(20, "Server Work Queues 0");
  EXPECT_TRUE(computeSample(&queue).invalid);

  // Single-instance classes have no list.
  ASSERT_EQ(0, Get_Object_Instances(2, &list));
  EXPECT_EQ(nullptr, list);
}

// A "Last Counter" no name table can have: the names fail to load, no block is
// queried, and every reading fails until the next load.
TEST_F(PerfAcquisitionTest, FailedNameLoadLeavesBlocksAbsent) {
  const char* perflib = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib";
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, perflib, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  DWORD huge = 0xFFFFFFFFu;
  RegSetValueExA(key, "Last Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&huge),
                 sizeof(huge));
  writeFixture(stepFixture(0));
  EXPECT_EQ(ERROR_OUTOFMEMORY, refreshPerformanceData());
  RegDeleteValueA(key, "Last Counter");
  RegCloseKey(key);
  InstanceEntry* list = nullptr;
  EXPECT_EQ(1, Get_Object_Instances(1, &list));
  EXPECT_EQ(nullptr, list);
  Control control = makeControl(9);
  EXPECT_EQ(-1, computeSample(&control).value);
  EXPECT_EQ(0, control.prevReadTime);
}

TEST_F(PerfAcquisitionTest, BuffersStartAt12288AndGrowBy4096) {
  json fixture = stepFixture(0);
  json& nics = fixture["objects"][6]["instances"];
  for (int i = 0; i < 300; ++i) nics.push_back(instance("nic" + std::to_string(i), {1, 2, 3, 4}));
  refreshWith(fixture);
  const perfwalk::PerfBlock* small = performanceBlockForTesting("238");
  const perfwalk::PerfBlock* large = performanceBlockForTesting("510");
  ASSERT_TRUE(small && small->present());
  ASSERT_TRUE(large && large->present());
  EXPECT_EQ(12288u, small->capacity);
  EXPECT_GT(large->length, 12288u);
  EXPECT_EQ(0u, (large->capacity - 12288u) % 4096u);
  EXPECT_LT(large->capacity - large->length, 4096u);
  EXPECT_EQ(nullptr, performanceBlockForTesting("230"));
}

TEST_F(PerfAcquisitionTest, NamesReloadAtMostEveryTenMinutes) {
  Control control = makeControl(20, "Server Work Queues 0");
  refreshWith(stepFixture(0));
  EXPECT_EQ(3, computeSample(&control).value);
  json renamed = stepFixture(0);
  renamed["objects"][7]["counters"][0]["name"] = "Queue Size";
  fakeNow += 599;
  refreshWith(renamed);
  EXPECT_EQ(3, computeSample(&control).value);  // the old names are still in use
  fakeNow += 1;
  refreshWith(renamed);
  Sample sample = computeSample(&control);
  EXPECT_EQ(-1, sample.value);
  EXPECT_TRUE(sample.invalid);
}

}  // namespace
}  // namespace trend
