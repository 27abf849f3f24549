// The trend MIB under 1.3.6.1.4.1.64823.2.45: the control table and the
// history table, answered for get, get-next and set.
// Thread safety: called by SnmpExtensionQuery with controlSemaphore held.
#pragma once

#include "snmp/snmp.h"

namespace trend {

// Each handles a whole request and returns the SnmpExtensionQuery result.
BOOL mibGet(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);
BOOL mibGetNext(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);
BOOL mibSetCheck(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);
BOOL mibSetCommit(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);

}  // namespace trend
