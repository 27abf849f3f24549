// The title indexes of the performance objects and counters that this host
// produces: those of Windows NT's English name table, so that data recorded or
// written for NT reads the same here. docs/perfdata.md lists them.
#pragma once

#include "win32/types.h"

namespace wl::perf::title {

// Objects.
inline constexpr DWORD kSystem = 2;
inline constexpr DWORD kMemory = 4;
inline constexpr DWORD kCache = 86;
inline constexpr DWORD kProcess = 230;
inline constexpr DWORD kPhysicalDisk = 234;
inline constexpr DWORD kLogicalDisk = 236;
inline constexpr DWORD kProcessor = 238;
inline constexpr DWORD kServer = 330;
inline constexpr DWORD kNetworkInterface = 510;
inline constexpr DWORD kServerWorkQueues = 1300;

// Counters.
inline constexpr DWORD kPercentProcessorTime = 6;
inline constexpr DWORD kFileReadOperations = 10;
inline constexpr DWORD kFileWriteOperations = 12;
inline constexpr DWORD kFileReadBytes = 16;
inline constexpr DWORD kFileWriteBytes = 18;
inline constexpr DWORD kAvailableBytes = 24;
inline constexpr DWORD kCommittedBytes = 26;
inline constexpr DWORD kPageFaults = 28;
inline constexpr DWORD kCommitLimit = 30;
inline constexpr DWORD kDataMapHitsPercent = 94;
inline constexpr DWORD kPercentUserTime = 142;
inline constexpr DWORD kPercentPrivilegedTime = 144;
inline constexpr DWORD kContextSwitches = 146;
inline constexpr DWORD kVirtualBytes = 174;
inline constexpr DWORD kWorkingSet = 180;
inline constexpr DWORD kCurrentDiskQueueLength = 198;
inline constexpr DWORD kAvgDiskSecPerTransfer = 206;
inline constexpr DWORD kDiskTransfers = 212;
inline constexpr DWORD kDiskReads = 214;
inline constexpr DWORD kDiskWrites = 216;
inline constexpr DWORD kDiskBytes = 218;
inline constexpr DWORD kDiskReadBytes = 220;
inline constexpr DWORD kDiskWriteBytes = 222;
inline constexpr DWORD kProcesses = 248;
inline constexpr DWORD kThreads = 250;
inline constexpr DWORD kBytesReceived = 264;
inline constexpr DWORD kPacketsReceived = 266;
inline constexpr DWORD kBytesTotal = 388;
inline constexpr DWORD kPackets = 400;
inline constexpr DWORD kPercentFreeSpace = 408;
inline constexpr DWORD kFreeMegabytes = 410;
inline constexpr DWORD kPacketsSent = 452;
inline constexpr DWORD kBytesSent = 506;
inline constexpr DWORD kPacketsReceivedDiscarded = 526;
inline constexpr DWORD kPacketsReceivedErrors = 528;
inline constexpr DWORD kPacketsOutboundDiscarded = 536;
inline constexpr DWORD kPacketsOutboundErrors = 538;
inline constexpr DWORD kThreadCount = 680;
inline constexpr DWORD kPriorityBase = 682;
inline constexpr DWORD kIdProcess = 784;
inline constexpr DWORD kCreatingProcessId = 1410;

}  // namespace wl::perf::title
