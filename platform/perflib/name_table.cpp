#include "name_table.h"

#include "title_indexes.h"

namespace wl::perf {

const NameTable& BuiltinNames() {
  using namespace title;
  static const NameTable names = {
      {kSystem, "System"},
      {kMemory, "Memory"},
      {kPercentProcessorTime, "% Processor Time"},
      {kFileReadOperations, "File Read Operations/sec"},
      {kFileWriteOperations, "File Write Operations/sec"},
      {kFileReadBytes, "File Read Bytes/sec"},
      {kFileWriteBytes, "File Write Bytes/sec"},
      {kAvailableBytes, "Available Bytes"},
      {kCommittedBytes, "Committed Bytes"},
      {kPageFaults, "Page Faults/sec"},
      {kCommitLimit, "Commit Limit"},
      {kCache, "Cache"},
      {kDataMapHitsPercent, "Data Map Hits %"},
      {kPercentUserTime, "% User Time"},
      {kPercentPrivilegedTime, "% Privileged Time"},
      {kContextSwitches, "Context Switches/sec"},
      {kVirtualBytes, "Virtual Bytes"},
      {kWorkingSet, "Working Set"},
      {kCurrentDiskQueueLength, "Current Disk Queue Length"},
      {kAvgDiskSecPerTransfer, "Avg. Disk sec/Transfer"},
      {kDiskTransfers, "Disk Transfers/sec"},
      {kDiskReads, "Disk Reads/sec"},
      {kDiskWrites, "Disk Writes/sec"},
      {kDiskBytes, "Disk Bytes/sec"},
      {kDiskReadBytes, "Disk Read Bytes/sec"},
      {kDiskWriteBytes, "Disk Write Bytes/sec"},
      {kProcess, "Process"},
      {kPhysicalDisk, "PhysicalDisk"},
      {kLogicalDisk, "LogicalDisk"},
      {kProcessor, "Processor"},
      {kProcesses, "Processes"},
      {kThreads, "Threads"},
      {kBytesReceived, "Bytes Received/sec"},
      {kPacketsReceived, "Packets Received/sec"},
      {kServer, "Server"},
      {kBytesTotal, "Bytes Total/sec"},
      {kPackets, "Packets/sec"},
      {kPercentFreeSpace, "% Free Space"},
      {kFreeMegabytes, "Free Megabytes"},
      {kPacketsSent, "Packets Sent/sec"},
      {kBytesSent, "Bytes Sent/sec"},
      {kNetworkInterface, "Network Interface"},
      {kPacketsReceivedDiscarded, "Packets Received Discarded"},
      {kPacketsReceivedErrors, "Packets Received Errors"},
      {kPacketsOutboundDiscarded, "Packets Outbound Discarded"},
      {kPacketsOutboundErrors, "Packets Outbound Errors"},
      {kThreadCount, "Thread Count"},
      {kPriorityBase, "Priority Base"},
      {kIdProcess, "ID Process"},
      {kServerWorkQueues, "Server Work Queues"},
      {kCreatingProcessId, "Creating Process ID"},
  };
  return names;
}

NameTable MergeNames(const NameTable& base, const NameTable& extra) {
  NameTable merged = base;
  for (const auto& [index, name] : extra) merged[index] = name;
  return merged;
}

std::string CounterNameText(const NameTable& names) {
  std::string text;
  for (const auto& [index, name] : names) {
    text += std::to_string(index);
    text.push_back('\0');
    text += name;
    text.push_back('\0');
  }
  text.push_back('\0');
  return text;
}

DWORD LastIndex(const NameTable& names) { return names.empty() ? 0 : names.rbegin()->first; }

}  // namespace wl::perf
