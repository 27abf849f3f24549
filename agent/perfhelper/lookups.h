// The helper's value searches over its snapshot: one counter of the class
// table for an instance name, and a process's memory or processor time by
// name and process ID.
// Thread safety: none (see snapshot.h).
#pragma once

#include <cstdint>

#include "agent/perfhelper/snapshot.h"

namespace perfpeek {

// The instance at a 1-based position of an instance type, after a refresh:
// copies its name with the terminator into `name` (and for processes its ID
// into *processId when not null). -1 refresh failed, -4 type outside 1..6, -3
// no such position, -2 the name's length is not less than bufferSize (nothing
// written), 0 found. The type's list is rebuilt only when the data changed
// since it was built, unless reuseList is false.
int findInstanceAt(Snapshot* snapshot, int instanceType, int position, char* name,
                   unsigned bufferSize, DWORD* processId, bool reuseList = true);

// The class's counter for an instance matched by its converted name alone
// (ignored for objects without instances): the main block first, then the
// network block. 0 and *value, or -1.
int findClassCounterValue(const Snapshot& snapshot, const char* instanceName, int classId,
                          int64_t* value);

// In the main block, every instance named `processName` of every "Process"
// object, in block order: its counter is written to *value, and the search
// ends with 0 at the instance whose "ID Process" equals processId. -1 when
// none does (*value may then hold a same-named process's value). Counters are
// read by their size. Answered from the snapshot's process index, built once
// per data generation; when the index cannot be built, by searchProcessCounter.
int findProcessCounter(Snapshot& snapshot, const char* processName, DWORD processId,
                       ProcessCounter which, int64_t* value);

// The same answer by walking the block, converting every instance's name.
int searchProcessCounter(const Snapshot& snapshot, const char* processName, DWORD processId,
                         ProcessCounter which, int64_t* value);

}  // namespace perfpeek
