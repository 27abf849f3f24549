// The instance rescan: controls of vanished instances are deprecated, those of
// returning instances revalidated, and new instances get one control per
// configuration line of their group. Performance data comes from a fixture.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "agent/testing/agent_environment.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/page_cache.h"
#include "agent/trend/sampling.h"

namespace trend {
namespace {

// Controls and configuration lines made with the list operations, freed with
// freeLists; performance data from a fixture file.
class RescanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("WARDENLINE_PERFDATA", (dir_ + "/perfdata.json").c_str(), 1);
    trendDirectory = dir_;
    addLine(16);
    addLine(17);
    addLine(1);
  }

  void TearDown() override {
    for (Control* c = controlList; c != nullptr; c = c->next) dropControlCache(c->controlIndex);
    freeLists();
    unsetenv("WARDENLINE_PERFDATA");
  }

  void addLine(DWORD classId) {
    auto* line = new ControlConfig;
    line->classId = classId;
    line->intervalIndex = 1;
    line->buckets = 50;
    line->historyStatus = 1;
    line->thresholdStatus = 2;
    ControlConfig** link = &configList;
    while (*link != nullptr) link = &(*link)->next;
    *link = line;
  }

  Control* addControl(DWORD index, DWORD classId, const std::string& instance) {
    auto* c = new Control;
    c->controlIndex = index;
    c->classId = classId;
    c->intervalIndex = 1;
    c->bucketsGranted = c->bucketsRequested = 50;
    c->historyStatus = 1;
    std::snprintf(c->instanceName, sizeof c->instanceName, "%s", instance.c_str());
    c->instanceNameLength = static_cast<DWORD>(instance.size());
    appendControl(c);
    return c;
  }

  // Network interfaces and processors by instance name.
  void writePerfData(const std::vector<std::string>& interfaces,
                     const std::vector<std::string>& processors) {
    auto instances = [](const std::vector<std::string>& names) {
      std::string text;
      for (const std::string& name : names) {
        text += std::string(text.empty() ? "" : ", ") + R"({"name": ")" + name +
                R"(", "values": [1, 2]})";
      }
      return text;
    };
    std::ofstream(dir_ + "/perfdata.json") << R"({"objects": [
        {"index": 510, "name": "Network Interface", "counters": [
           {"index": 264, "name": "Packets Received/sec", "type": "PERF_COUNTER_COUNTER"},
           {"index": 266, "name": "Packets Sent/sec", "type": "PERF_COUNTER_COUNTER"}],
         "instances": [)" << instances(interfaces)
                                           << R"(]},
        {"index": 238, "name": "Processor", "counters": [
           {"index": 6, "name": "% Processor Time", "size": 8, "type": "PERF_100NSEC_TIMER_INV"},
           {"index": 8, "name": "Interrupts/sec", "type": "PERF_COUNTER_COUNTER"}],
         "instances": [)" << instances(processors)
                                           << "]}]}";
  }

  // A fresh registry and trend directory for each test.
  wltest::Sandbox sandbox_{"wl-rescan"};
  std::string dir_ = sandbox_.path();
};

TEST_F(RescanTest, InstancesVanishReturnAndAppear) {
  Control* eth0 = addControl(1, 16, "Network Interface eth0");
  Control* eth2 = addControl(2, 16, "Network Interface eth2");
  Control* cpu0 = addControl(3, 1, "Processor 0");
  Control* cpu1 = addControl(4, 1, "Processor 1");
  sortControls();
  buildIndexList();
  nextControlIndex = 5;
  eth2->numOfSample = 7;
  eth2->headerSaved = 1;

  writePerfData({"eth0", "eth1"}, {"0"});
  testing::internal::CaptureStdout();
  rescanInstances();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(eth0->controlStatus, 1);
  EXPECT_EQ(eth2->controlStatus, 2);
  EXPECT_EQ(eth2->headerSaved, 0);
  EXPECT_EQ(cpu0->controlStatus, 1);
  EXPECT_EQ(cpu1->controlStatus, 2);
  // eth1 is new: one control per line of its group, numbered from 5.
  std::vector<std::pair<DWORD, DWORD>> created;
  for (const Control* c = controlList; c != nullptr; c = c->next) {
    if (std::string(c->instanceName) == "Network Interface eth1") {
      created.push_back({c->classId, c->controlIndex});
    }
  }
  EXPECT_EQ(created, (std::vector<std::pair<DWORD, DWORD>>{{16, 5}, {17, 6}}));

  // eth2 and processor 1 return with their numbers and rings.
  writePerfData({"eth0", "eth1", "eth2"}, {"0", "1"});
  testing::internal::CaptureStdout();
  rescanInstances();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(eth2->controlStatus, 1);
  EXPECT_EQ(eth2->numOfSample, 7u);
  EXPECT_EQ(cpu1->controlStatus, 1);
  EXPECT_EQ(nextControlIndex, 7u);
}

}  // namespace
}  // namespace trend
