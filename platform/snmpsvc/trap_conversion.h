// An SNMPv1 trap expressed as an SNMPv2c notification, as RFC 3584 converts
// it: sysUpTime.0, snmpTrapOID.0, the trap's own bindings, then
// snmpTrapAddress.0, snmpTrapCommunity.0 and snmpTrapEnterprise.0.
// Pure function; any thread.
#pragma once

#include <array>

#include "mib_types.h"

namespace snmpsvc {

// snmpTrapOID.0 of a trap: snmpTraps.(generic + 1) for the generic traps,
// enterprise.0.specific for enterprise-specific ones.
Oid NotificationOid(const TrapMessage& trap);

std::vector<VarBind> ToV2Notification(const TrapMessage& trap,
                                      const std::array<uint8_t, 4>& agentAddress,
                                      const std::string& community);

}  // namespace snmpsvc
