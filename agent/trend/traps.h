// Threshold tests with their latch, the queue of threshold events, and the
// building of one trap per SnmpExtensionTrap call.
// Thread safety: all functions expect controlSemaphore held.
#pragma once

#include "agent/trend/control.h"
#include "snmp/snmp.h"

namespace trend {

void checkThreshold(Control* control, LONG value, DWORD now);
// 0 queued, 1 queue full.
int queueThresholdEvent(DWORD classId, const char* instanceName, DWORD threshold,
                        DWORD intervalSecs);
void resetTrapQueue();
// TRUE when a trap was produced into the out-arguments, FALSE when none is pending.
BOOL buildNextTrap(AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap,
                   AsnInteger32* specificTrap, AsnTimeticks* timeStamp,
                   SnmpVarBindList* varBindList);

}  // namespace trend
