// SnmpExtensionQuery(Ex) over the Host Resources MIB: get, get-next and the
// refusal of every set.
//
// Get answers each binding from the tree; a name without an instance answers
// noSuchName, a name in a table whose build failed genErr (errorIndex: the
// binding, 1-based; the bindings before it keep their answers). Get-next
// replaces each name with the next instance and its value; past the last
// object the name becomes 1.3.6.1.2.1.26 with a NULL value, which tells the
// service that the walk leaves this view. SNMP_EXTENSION_GET_BULK is answered
// with rounds of that get-next (snmp/bulk_answer.h). Every object is read-only: a set
// (SnmpExtensionQuery 0xA3, or the test and commit calls of
// SnmpExtensionQueryEx) answers readOnly for an existing instance (the
// service turns it into notWritable for SNMPv2c, readOnly for SNMPv1) and
// noSuchName for any other name, and changes nothing. Undo and clean-up calls
// have nothing to do.
//
// Names and values handed back are allocated with SnmpUtilMemAlloc (global
// heap) and belong to the caller; replaced names and values are freed.
#pragma once

#include "family_cache.h"
#include "snmp/snmp.h"

namespace hostmib {

BOOL Query(FamilyCache& cache, UINT requestType, SnmpVarBindList* list, AsnInteger32* errorStatus,
           AsnInteger32* errorIndex);

}  // namespace hostmib
