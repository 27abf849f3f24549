// A look at every SNMPv1/v2c request datagram before net-snmp parses it, for
// what net-snmp's parser would silently change: object identifier
// sub-identifiers above 2^32 - 1 (which it wraps or reads as 0) and SET values
// of INTEGER, Counter32, Gauge32 or TimeTicks wider than 32 bits (which it
// truncates). Other messages (SNMPv3, anything that is not BER as expected)
// pass unchanged: net-snmp's own checks apply to them.
//
// Every length is checked against the bytes given. Pure function; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace snmpsvc {

struct ScreenResult {
  // Drop the datagram unanswered (a sub-identifier beyond 32 bits).
  bool drop = false;
  // For a SET: the request id and the 1-based positions of bindings whose
  // value does not fit its 32-bit type.
  int64_t requestId = 0;
  std::vector<int> oversizedValues;
};

ScreenResult ScreenMessage(const uint8_t* data, size_t size);

// For an SNMPv1/v2c Response-PDU `response` too large to send: the response
// that says tooBig instead (error-status tooBig, error-index 0), with the
// bindings' names and NULL values for SNMPv1 (the form of the request) and
// no bindings for SNMPv2c. False when `response` is not such a message.
bool TooBigResponse(const uint8_t* response, size_t size, std::vector<uint8_t>* out);

}  // namespace snmpsvc
