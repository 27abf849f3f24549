// Who may talk to the service: the communities of "ValidCommunities" with
// their rights and the hosts of "PermittedManagers" (names resolved once, when
// the policy is built; an empty list admits every host, an empty or
// unresolvable entry admits nobody). Immutable after
// construction; any thread may ask.
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace snmpsvc {

enum class Access { kNone, kReadOnly, kReadWrite };

// Rights of "ValidCommunities" (1 none, 2 notify, 4 read-only, 8 read-write,
// 16 read-create) as request access; notify-only communities may not ask.
Access AccessOfRights(uint32_t rights);

class AccessPolicy {
 public:
  // `unresolved` receives the managers whose names gave no address.
  AccessPolicy(std::map<std::string, uint32_t> communities,
               const std::vector<std::string>& managers, std::vector<std::string>* unresolved);

  // kNone when the host is not permitted or the community unknown or without
  // request rights.
  Access ForRequest(const std::string& community, const sockaddr* source,
                    size_t sourceLength) const;
  bool HostPermitted(const sockaddr* source, size_t sourceLength) const;

 private:
  using Address = std::array<uint8_t, 16>;  // IPv6, IPv4 as mapped
  std::map<std::string, uint32_t> communities_;
  bool anyHost_ = true;
  std::vector<Address> managers_;
};

}  // namespace snmpsvc
