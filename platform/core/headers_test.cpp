// Every public header compiles on its own and together.
#include <gtest/gtest.h>

#include "snmp/snmp.h"
#include "win32/windows.h"
#include "win32/winsock.h"
#include "win32/dde.h"
#include "win32/ui.h"
#include "win32/winsvc.h"

TEST(Headers, PerformanceStructuresHaveWindowsSizes) {
  EXPECT_EQ(offsetof(PERF_DATA_BLOCK, PerfTime), 56u);
  EXPECT_EQ(offsetof(PERF_DATA_BLOCK, PerfFreq), 64u);
  EXPECT_EQ(offsetof(PERF_OBJECT_TYPE, PerfTime), 48u);
  EXPECT_EQ(offsetof(PERF_COUNTER_DEFINITION, CounterOffset), 36u);
  EXPECT_EQ(offsetof(PERF_INSTANCE_DEFINITION, NameLength), 20u);
}

TEST(Headers, WinsockStructuresHaveWindowsSizes) {
  EXPECT_EQ(sizeof(SOCKADDR_IPX), 14u);
  EXPECT_EQ(offsetof(SOCKADDR_IPX, sa_socket), 12u);
  EXPECT_EQ(sizeof(SERVICE_STATUS), 28u);
}
