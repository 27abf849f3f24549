// Placeholder bodies until threshold traps exist: no event is ever pending.
#include "agent/trend/traps.h"

namespace trend {

void checkThreshold(Control*, LONG, DWORD) {}
int queueThresholdEvent(DWORD, const char*, DWORD, DWORD) { return 1; }
void resetTrapQueue() {}
BOOL buildNextTrap(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*, AsnTimeticks*,
                   SnmpVarBindList*) {
  return FALSE;
}

}  // namespace trend
