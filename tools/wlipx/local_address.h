// The host's own IPv4 address towards another, from the system's routing
// (kept apart from winsock.h, whose names the system's socket headers share).
#pragma once

#include <string>

namespace wlipx {

// Dotted IPv4 text of the local address used to reach `peer` (dotted IPv4);
// "" when unknown.
std::string LocalAddressTowards(const std::string& peer);

}  // namespace wlipx
