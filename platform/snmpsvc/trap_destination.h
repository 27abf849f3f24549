// Trap destinations as "TrapConfiguration" keeps them: a host name or address,
// optionally with ":port" (IPv6 addresses in brackets when a port follows), and
// optionally marked for SNMPv2c with the prefix "v2c:" (for example
// "v2c:console.example.net:1162"). Without a mark a destination receives
// SNMPv1 traps on port 162. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace snmpsvc {

struct TrapDestination {
  std::string host;
  uint16_t port = 162;
  bool v2c = false;
};

enum class DestinationParse {
  kOk,
  kIpx,      // an IPX address (8 hex digits, ".", 12 hex digits): not reachable over IP
  kInvalid,  // empty, bad port, or malformed brackets
};

DestinationParse ParseTrapDestination(const std::string& text, TrapDestination* destination);

// The peer name net-snmp understands for a destination ("udp:host:port" or
// "udp6:[address]:port").
std::string PeerName(const TrapDestination& destination);

}  // namespace snmpsvc
