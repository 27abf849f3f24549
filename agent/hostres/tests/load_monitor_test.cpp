// Processor load from two idle-counter samples, on fixture performance data
// and the test calendar clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "agent/hostres/ridovo_process.h"
#include "agent/testing/agent_environment.h"
#include "win32/timeapi.h"

namespace {

time_t g_t_now = 1000;
time_t TestClock() { return g_t_now; }

// Writes a Processor object whose instances have the given idle counters.
void WritePerfData(const std::string& file, uint64_t c0, uint64_t c1, uint64_t c2, uint64_t c32) {
  std::ofstream out(file, std::ios::trunc);
  out << R"({"objects": [{"index": 238, "name": "Processor", "counters": [{"index": 6, )"
      << R"("name": "% Processor Time", "size": 8, "type": "PERF_100NSEC_TIMER_INV"}], )"
      << R"("instances": [{"name": "0", "values": [)" << c0 << R"(]}, {"name": "1", "values": [)"
      << c1 << R"(]}, {"name": "2", "values": [)" << c2 << R"(]}, {"name": "32", "values": [)"
      << c32 << "]}]}]}";
}

class LoadMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.path() + "/perf.json";
    setenv("WARDENLINE_PERFDATA", file_.c_str(), 1);
    wl_set_calendar_source(&TestClock);
  }
  void TearDown() override { wl_set_calendar_source(nullptr); }

  wltest::TempDirectory dir_{"wl-hostres-load"};
  std::string file_;
};

// The passes run on a thread of their own, as in the library: the helper's
// waits then never touch the main thread's platform state, which the process
// exit tears down before the helper's own unload runs.
void RunPasses(const std::string& file);

TEST_F(LoadMonitorTest, LoadsFromTwoPassesOverTheElapsedTime) {
  std::thread passes(RunPasses, file_);
  passes.join();
}

void RunPasses(const std::string& file_) {
  CRIDOVOPROCESS monitor;
  ASSERT_EQ(monitor.Init(), 0u);
  WritePerfData(file_, 1000, 2000, 3000, 4000);
  g_t_now = 1000;
  monitor.SamplePass();
  EXPECT_EQ(monitor.LastSampleGet(), 1000);
  EXPECT_EQ(monitor.CounterGet(1), 2000u);
  EXPECT_EQ(monitor.LoadGet(0), 0u) << "no load before the second pass";

  // 60 s pass: idle advanced 60 s, 15 s and not at all.
  WritePerfData(file_, 1000 + 600000000ull, 2000 + 150000000ull, 3000, 4000 + 600000000ull);
  g_t_now = 1060;
  monitor.SamplePass();
  EXPECT_EQ(monitor.LoadGet(0), 0u);
  EXPECT_EQ(monitor.LoadGet(1), 75u);
  EXPECT_EQ(monitor.LoadGet(2), 100u);
  // Processor 32 is sampled but neither stored nor given a load.
  EXPECT_EQ(monitor.CounterGet(32), 0u);
  EXPECT_EQ(monitor.LoadGet(32), 0u);

  // A pass within the same second leaves the loads as they were.
  WritePerfData(file_, 1000 + 600000000ull, 2000 + 150000000ull, 3000 + 50, 4000);
  monitor.SamplePass();
  EXPECT_EQ(monitor.LoadGet(0), 0u);
  EXPECT_EQ(monitor.LoadGet(1), 75u);
}

TEST(LoadFromIdle, BoundsAndRounding) {
  EXPECT_EQ(CRIDOVOPROCESS::LoadFromIdle(600000000, 60), 0u);
  EXPECT_EQ(CRIDOVOPROCESS::LoadFromIdle(150000000, 60), 75u);
  EXPECT_EQ(CRIDOVOPROCESS::LoadFromIdle(0, 60), 100u);
  EXPECT_EQ(CRIDOVOPROCESS::LoadFromIdle(-5, 60), 100u) << "a counter that went back";
  EXPECT_EQ(CRIDOVOPROCESS::LoadFromIdle(1200000000, 60), 100u) << "more idle than time";
  EXPECT_EQ(CRIDOVOPROCESS::LoadFromIdle(299999999, 60), 50u) << "truncated, not rounded";
}

TEST(ProcessorNumbers, OutsideTheTableAreIgnored) {
  CRIDOVOPROCESS monitor;
  monitor.LoadSet(-1, 5);
  monitor.LoadSet(32, 5);
  monitor.CounterSet(31, 7);
  EXPECT_EQ(monitor.LoadGet(-1), 0u);
  EXPECT_EQ(monitor.LoadGet(32), 0u);
  EXPECT_EQ(monitor.CounterGet(31), 7u);
}

}  // namespace
