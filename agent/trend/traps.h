// Threshold tests with their latch, the queue of threshold events, and the
// building of one trap per SnmpExtensionTrap call.
//
// Thread safety: every function expects controlSemaphore held (the sampler
// tests and queues, SnmpExtensionTrap dequeues and builds), so the queue has
// no lock of its own.
// Ownership: the varbind storage of a trap is the agent's own; the arc arrays
// and instance-name copies it hands out come from the global heap and stay
// the agent's: they are released at the next buildNextTrap call (the host
// copies what it sends and frees none of it).
#pragma once

#include "agent/trend/control.h"
#include "snmp/snmp.h"

namespace trend {

constexpr int kThresholdQueueSize = 10;
constexpr int kTrapInstanceNameBytes = 256;
constexpr int kTrapHostNameBytes = 100;

struct ThresholdEvent {
  bool inUse = false;
  DWORD classId = 0;
  char instanceName[kTrapInstanceNameBytes] = {};  // always terminated
  DWORD threshold = 0;
  DWORD intervalSeconds = 0;
};

// Tests `value` (a valid sample taken at `now`, seconds since 1970) against
// the control's watched threshold; on a crossing while armed, latches
// eventRaised, queues an event and signals trapEvent.
void checkThreshold(Control* control, LONG value, DWORD now);
// 0 queued, 1 queue full (the event is lost).
int queueThresholdEvent(DWORD classId, const char* instanceName, DWORD threshold,
                        DWORD intervalSecs);
// True and the oldest event in *event (when not null), false when none is queued.
bool takeThresholdEvent(ThresholdEvent* event);
// Reads the computer name for the traps and empties the queue.
void resetTrapQueue();
// The computer name read by resetTrapQueue (empty before).
const char* trapHostNameForTesting();
// Releases the previous trap's allocations (emptying *varBindList when not
// null), then, when an event is queued, produces its trap into the
// out-arguments and returns TRUE; FALSE when none is pending, leaving
// enterprise, genericTrap and specificTrap untouched. timeStamp is written by
// the caller before the semaphore is taken and is not touched here.
BOOL buildNextTrap(AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap,
                   AsnInteger32* specificTrap, AsnTimeticks* timeStamp,
                   SnmpVarBindList* varBindList);

}  // namespace trend
