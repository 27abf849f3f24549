// The answer of an extension agent to SNMP_EXTENSION_GET_BULK (snmp/snmp.h),
// built from the agent's own get-next: round after round over the repeaters
// still inside the view, within the one call the service made.
//
// Ownership: the list is the service's, allocated with SnmpUtilMemAlloc; its
// array is replaced (SnmpUtilMemReAlloc) and every binding in it stays
// allocated as SnmpUtilVarBindFree expects. Thread safety: none of its own;
// the agent calls it under the lock it holds for any query.
#pragma once

#include <functional>

#include "snmp/snmp.h"

namespace wlsnmp {

// One get-next of a whole list, as the agent answers SnmpExtensionQuery
// with SNMP_PDU_GETNEXT: names in, answers out, the call's BOOL result.
using GetNextPass =
    std::function<BOOL(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex)>;

// Upper bound on the bindings of one answer; the rounds stop before it.
inline constexpr UINT kMaxBulkAnswerBindings = 65535;

// Serves SNMP_EXTENSION_GET_BULK. On entry *errorStatus holds the number of
// non-repeaters and *errorIndex the maximum repetitions. The first round is
// one get-next of the whole list: when it fails, its result, status and
// index are returned as they are. Each further round is one get-next of the
// repeaters whose previous answer is still inside `view` (a name under it,
// not an exception or NULL); the rounds end at the maximum, when no
// repeater is left in the view, when a round fails (that round is dropped:
// the service asks it again and reports its error), or before the answer
// would exceed kMaxBulkAnswerBindings or memory runs out. A repeater that
// has left the view repeats its last answer in later rounds. Returns TRUE
// with no error status after a successful first round; malformed parameters
// (a count past the list, no repetition) give genErr.
WLAPI BOOL AnswerGetBulk(const AsnObjectIdentifier& view, SnmpVarBindList* list,
                         AsnInteger32* errorStatus, AsnInteger32* errorIndex,
                         const GetNextPass& getNext);

}  // namespace wlsnmp
