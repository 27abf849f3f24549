#include "agent/common/counter_classes.h"

namespace perfwalk {
namespace {

const CounterClass kCounterClasses[kLastCounterClass + 1] = {
    {"", ""},
    {"Processor", "% Processor Time"},
    {"Server", "Bytes Total/sec"},
    {"Server", "Bytes Transmitted/sec"},
    {"Server", "Bytes Received/sec"},
    {"Server", "Logon Total"},
    {"Server", "Errors Logon"},
    {"Server", "Server Sessions"},
    {"Memory", "Available Bytes"},
    {"System", "File Read Operations/sec"},
    {"System", "File Write Operations/sec"},
    {"System", "File Read Bytes/sec"},
    {"System", "File Write Bytes/sec"},
    {"Cache", "Data Map Hits %"},
    {"PhysicalDisk", "Avg. Disk sec/Transfer"},
    {"LogicalDisk", "% Free Space"},
    {"Network Interface", "Packets Received/sec"},
    {"Network Interface", "Packets Sent/sec"},
    {"Network Interface", "Bytes Received/sec"},
    {"Network Interface", "Bytes Sent/sec"},
    {"Server Work Queues", "Queue Length"},
    {"Server Work Queues", "Available Work Items"},
    {"Server Work Queues", "Total Bytes/sec"},
    {"Server", "Files Opened Total"},
    {"Process", "% Processor Time"},
    {"Process", "ID Process"},
    {"Process", "Virtual Bytes"},
    {"Server", "Files Open"},
    {"", ""},
};

const char* const kGroupObjectNames[] = {
    nullptr,     "Network Interface",  "PhysicalDisk", "LogicalDisk",
    "Processor", "Server Work Queues", "Process",
};

}  // namespace

const CounterClass* counterClass(int classId) {
  if (classId < 0 || classId > kLastCounterClass) return nullptr;
  return &kCounterClasses[classId];
}

const char* instanceGroupObjectName(int group) {
  if (group < 1 || group > 6) return nullptr;
  return kGroupObjectNames[group];
}

}  // namespace perfwalk
