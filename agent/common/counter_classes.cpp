#include "agent/common/counter_classes.h"

namespace perfwalk {
namespace {

// Instance groups and value types, for the rows below.
constexpr int kNoGroup = 0, kNetworkGroup = 1, kPhysicalDiskGroup = 2, kLogicalDiskGroup = 3,
              kProcessorGroup = 4, kWorkQueueGroup = 5, kProcessGroup = 6;
constexpr int kUnsampled = 0, kAbsolute = 1, kDelta = 2, kAverage = 3;

const CounterClass kCounterClasses[kLastCounterClass + 1] = {
    {"THIS_IS_NOT_A_LEGAL_CLASS", "", "", kNoGroup, kUnsampled},
    {"pctProcessorTime", "Processor", "% Processor Time", kProcessorGroup, kAverage},
    {"totalServerTrafficKBytes", "Server", "Bytes Total/sec", kNoGroup, kDelta},
    {"totalServerOutKBytes", "Server", "Bytes Transmitted/sec", kNoGroup, kDelta},
    {"totalServerInKBytes", "Server", "Bytes Received/sec", kNoGroup, kDelta},
    {"avgAllServerLogons", "Server", "Logon Total", kNoGroup, kAverage},
    {"serverErrorLogons", "Server", "Errors Logon", kNoGroup, kAbsolute},
    {"avgServerSessions", "Server", "Server Sessions", kNoGroup, kAverage},
    {"pctMemoryAvailableKBytes", "Memory", "Available Bytes", kNoGroup, kAbsolute},
    {"fileReads", "System", "File Read Operations/sec", kNoGroup, kDelta},
    {"fileWrites", "System", "File Write Operations/sec", kNoGroup, kDelta},
    {"fileReadKBytes", "System", "File Read Bytes/sec", kNoGroup, kDelta},
    {"fileWriteKBytes", "System", "File Write Bytes/sec", kNoGroup, kDelta},
    {"pctCacheHitRate", "Cache", "Data Map Hits %", kNoGroup, kAverage},
    {"avgDiskTransfer", "PhysicalDisk", "Avg. Disk sec/Transfer", kPhysicalDiskGroup, kAverage},
    {"pctLogicalDiskFreeSpace", "LogicalDisk", "% Free Space", kLogicalDiskGroup, kAbsolute},
    {"physIfInPackets", "Network Interface", "Packets Received/sec", kNetworkGroup, kDelta},
    {"physIfOutPackets", "Network Interface", "Packets Sent/sec", kNetworkGroup, kDelta},
    {"physIfInKBytes", "Network Interface", "Bytes Received/sec", kNetworkGroup, kDelta},
    {"physIfOutKBytes", "Network Interface", "Bytes Sent/sec", kNetworkGroup, kDelta},
    {"readyWorkQueueItems", "Server Work Queues", "Queue Length", kWorkQueueGroup, kAbsolute},
    {"readyWorkQueueLength", "Server Work Queues", "Available Work Items", kWorkQueueGroup,
     kAbsolute},
    {"readyWorkQueueKBytes", "Server Work Queues", "Total Bytes/sec", kWorkQueueGroup, kAbsolute},
    {"", "Server", "Files Opened Total", kNoGroup, kUnsampled},
    {"", "Process", "% Processor Time", kProcessGroup, kUnsampled},
    {"", "Process", "ID Process", kProcessGroup, kUnsampled},
    {"", "Process", "Virtual Bytes", kProcessGroup, kUnsampled},
    {"", "Server", "Files Open", kNoGroup, kUnsampled},
    {"", "", "", kNoGroup, kUnsampled},
};

const char* const kGroupObjectNames[] = {
    nullptr,     "Network Interface",  "PhysicalDisk", "LogicalDisk",
    "Processor", "Server Work Queues", "Process",
};
static_assert(sizeof kGroupObjectNames / sizeof kGroupObjectNames[0] == kProcessGroup + 1);

}  // namespace

const CounterClass* counterClass(int classId) {
  if (classId < 0 || classId > kLastCounterClass) return nullptr;
  return &kCounterClasses[classId];
}

const char* instanceGroupObjectName(int group) {
  if (group < 1 || group > kProcessGroup) return nullptr;
  return kGroupObjectNames[group];
}

}  // namespace perfwalk
