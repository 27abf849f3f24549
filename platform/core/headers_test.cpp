// Every public header compiles on its own and together.
#include <gtest/gtest.h>

#include "snmp/snmp.h"
#include "win32/windows.h"

TEST(Headers, PerformanceStructuresHaveWindowsSizes) {
  EXPECT_EQ(offsetof(PERF_DATA_BLOCK, PerfTime), 56u);
  EXPECT_EQ(offsetof(PERF_DATA_BLOCK, PerfFreq), 64u);
  EXPECT_EQ(offsetof(PERF_OBJECT_TYPE, PerfTime), 48u);
  EXPECT_EQ(offsetof(PERF_COUNTER_DEFINITION, CounterOffset), 36u);
  EXPECT_EQ(offsetof(PERF_INSTANCE_DEFINITION, NameLength), 20u);
}
