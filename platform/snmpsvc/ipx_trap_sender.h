// Traps to IPX destinations, as RFC 1420 carries SNMP over IPX: datagrams of
// packet type 4 to IPX socket 0x9010 of the destination, sent through the
// platform's Winsock (IPX in UDP). SNMPv1 traps carry agent-addr 0.0.0.0; a
// destination marked "v2c:" gets SNMPv2c notifications.
//
// A destination is "NNNNNNNN.HHHHHHHHHHHH" (network and node numbers in
// hexadecimal), optionally after "v2c:". One line is logged when sending to a
// destination starts failing and one when it works again.
// Thread safety: one thread (the service's agent thread).
#pragma once

#include <deque>
#include <set>
#include <string>

#include "mib_types.h"

namespace snmpsvc {

class IpxTrapSender {
 public:
  IpxTrapSender() = default;
  ~IpxTrapSender();
  IpxTrapSender(const IpxTrapSender&) = delete;
  IpxTrapSender& operator=(const IpxTrapSender&) = delete;

  // Sends every trap to one destination; false when any could not be sent.
  bool Send(const std::string& destination, const std::string& community,
            const std::deque<TrapMessage>& traps);

 private:
  bool Open(std::string* error);

  bool started_ = false;
  unsigned long long socket_ = ~0ULL;
  int nextRequestId_ = 1;
  std::set<std::string> failing_;
};

// The network (4 bytes) and node (6 bytes) of an IPX destination text, and
// whether it asks for SNMPv2c. False for any other text.
bool ParseIpxDestination(const std::string& text, uint8_t network[4], uint8_t node[6], bool* v2c);

}  // namespace snmpsvc
