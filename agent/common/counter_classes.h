// The counter class table shared by the trend agent (classes 1..22) and the
// performance data helper (0..28): one row per class number with everything
// known about the class: the trend agent's name for it, the performance
// object and counter to read, the instance group its object belongs to, and
// how the trend agent forms its sample. Rows 0 and 28 hold empty object and
// counter names, which match nothing. Also the object names of the instance
// groups (1..6).
// Thread safety: constant data.
#pragma once

namespace perfwalk {

struct CounterClass {
  // The trend agent's class name ("pctProcessorTime"); row 0 holds the
  // place-holder "THIS_IS_NOT_A_LEGAL_CLASS", rows 23..28 (the helper's
  // own classes) an empty name.
  const char* className;
  const char* objectName;
  const char* counterName;
  // Instance group of the object (instanceGroupObjectName), 0 for an object
  // without instances.
  int instanceGroup;
  // The trend agent's valueType: 1 absolute, 2 delta, 3 average; 0 for the
  // classes it does not sample.
  int valueType;
};

constexpr int kLastTrendClass = 22;
constexpr int kLastCounterClass = 28;

// The row of a class number 0..28, or null for any other number.
const CounterClass* counterClass(int classId);

// The object name of an instance group: 1 "Network Interface", 2
// "PhysicalDisk", 3 "LogicalDisk", 4 "Processor", 5 "Server Work Queues",
// 6 "Process"; null for any other number.
const char* instanceGroupObjectName(int group);

}  // namespace perfwalk
