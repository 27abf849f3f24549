// The device table on this machine's own providers: one processor row per
// online processor, each with its own extension and a load from the
// processor monitor.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/sysinfo.h>

#include <chrono>
#include <thread>
#include <vector>

#include "agent/hostres/device_table.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/testing/agent_environment.h"

namespace {

const wltest::AgentEnvironment environment("hostres-device-e2e-test");

TEST(DeviceTableOnThisMachine, OneProcessorRowPerProcessorWithALoad) {
  unsetenv("WARDENLINE_PROVIDERS");
  unsetenv("WARDENLINE_PERFDATA");
  unsetenv("WARDENLINE_HOST_ROOT");
  ASSERT_EQ(HRDXInit(), 0u);
  CS_ridovoApp app;
  auto* monitor = new CRIDOVOPROCESS;
  ASSERT_EQ(monitor->Init(), 0u);
  app.ProcessSetForTesting(monitor);
  // Two sampling passes more than a second apart give every processor a
  // load; the helper is asked on a thread of its own (see sw_tables_test.cpp).
  std::thread([monitor] {
    monitor->SamplePass();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    monitor->SamplePass();
  }).join();

  ASSERT_EQ(CDeviceTable::hrInit(), 0u);
  CDeviceTable table;
  EXPECT_EQ(table.hrGetEntryCount(HR_DEVICE_PROCESSOR), static_cast<DWORD>(get_nprocs()));
  DWORD index = 0;
  int processors = 0;
  while (CDeviceTable::GetNextEx(g_p_deviceList, index, HR_DEVICE_PROCESSOR) != nullptr) {
    CProcessorEntry* processor = CDeviceEntry::hrGetProcessor(index);
    ASSERT_NE(processor, nullptr) << "processor row " << index;
    EXPECT_EQ(processor->hrDeviceIndexGet(), index);
    EXPECT_LE(processor->hrProcessorLoadGet(), 100u);
    ++processors;
  }
  EXPECT_EQ(processors, get_nprocs());

  // Indexes stay across a rebuild of an unchanged machine.
  std::vector<DWORD> before;
  while (table.hrGetNext(index) != nullptr) before.push_back(index);
  ASSERT_EQ(CDeviceTable::Refresh(), 0u);
  std::vector<DWORD> after;
  while (table.hrGetNext(index) != nullptr) after.push_back(index);
  EXPECT_EQ(after, before);
  HRDXTerminate();
}

}  // namespace
