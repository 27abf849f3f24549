// BER encoding of trap messages for transports that net-snmp does not carry
// (IPX): an SNMPv1 Trap-PDU message and an SNMPv2c SNMPv2-Trap-PDU message.
// Pure functions; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mib_types.h"

namespace snmpsvc {

// version 0, the community, and the trap with `agentAddress` as agent-addr.
// Counter64 bindings, which SNMPv1 cannot carry, are left out.
std::string EncodeV1Trap(const TrapMessage& trap, const std::string& community,
                         const std::array<uint8_t, 4>& agentAddress);

// version 1, the community, request-id `requestId` and the bindings of a
// notification (see ToV2Notification).
std::string EncodeV2Trap(const std::vector<VarBind>& bindings, const std::string& community,
                         int32_t requestId);

}  // namespace snmpsvc
