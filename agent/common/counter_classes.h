// The counter class table shared by the trend agent (classes 1..22) and the
// performance data helper (0..28): for each class number the performance
// object and counter to read. Rows 0 and 28 hold empty names, which match
// nothing. Also the object names of the instance groups (1..6).
// Thread safety: constant data.
#pragma once

namespace perfwalk {

struct CounterClass {
  const char* objectName;
  const char* counterName;
};

constexpr int kLastCounterClass = 28;

// The row of a class number 0..28, or null for any other number.
const CounterClass* counterClass(int classId);

// The object name of an instance group: 1 "Network Interface", 2
// "PhysicalDisk", 3 "LogicalDisk", 4 "Processor", 5 "Server Work Queues",
// 6 "Process"; null for any other number.
const char* instanceGroupObjectName(int group);

}  // namespace perfwalk
