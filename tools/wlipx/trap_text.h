// SNMP trap messages (SNMPv1 Trap-PDU and SNMPv2 notifications) decoded from
// their BER bytes into readable lines. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wlipx {

// The message as text: a first line with the version, community, and (for
// SNMPv1) enterprise, agent address, generic and specific trap and time
// stamp, then one indented line per variable binding. False, with the reason
// in *text, for anything that is not a well-formed trap.
bool DescribeTrap(const uint8_t* data, size_t size, std::string* text);

}  // namespace wlipx
