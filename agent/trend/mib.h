// The trend MIB under 1.3.6.1.4.1.64823.2.45: the control table (one row per
// control, indexed by class number and control number) and the history table
// (one row per held sample, indexed by control number and running sample
// number), answered for get, get-next and set.
//
// Each function handles a whole request and returns the SnmpExtensionQuery
// result (TRUE). errorStatus and errorIndex (1-based) are written only when a
// varbind fails; a get-next that runs past the last object answers noError
// with the name 1.3.6.1.4.1.64823.2.46. Names handed back are new arc arrays
// from the global heap; the request's old arc array is freed with GlobalFree.
// Octet-string values point into the control record and are not to be freed.
// A missing list (or a list with entries but no array) answers genErr.
//
// Thread safety: called by SnmpExtensionQuery with controlSemaphore held.
#pragma once

#include "snmp/snmp.h"

namespace trend {

BOOL mibGet(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);
BOOL mibGetNext(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);
// The check pass of a set: every name must be a control-table name (a history
// name answers readOnly, any other noSuchName). Values are not looked at.
BOOL mibSetCheck(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);
// The apply pass of a set; call it only when mibSetCheck left errorStatus 0.
// Varbinds applied before a failing one stay applied.
BOOL mibSetCommit(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);
// Both passes: the check pass, then the apply pass when the check passed.
BOOL mibSetForTesting(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex);

// The ring size granted for a requested bucket count (taken as unsigned): at
// least 50, at most 2147483640, a multiple of 10.
DWORD grantedBucketCount(DWORD requested);

}  // namespace trend
