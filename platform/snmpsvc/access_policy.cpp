#include "access_policy.h"

#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace snmpsvc {

namespace {

using Address = std::array<uint8_t, 16>;

bool ToAddress(const sockaddr* source, size_t length, Address* out) {
  if (source == nullptr) return false;
  if (source->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
    sockaddr_in v4;
    std::memcpy(&v4, source, sizeof v4);
    out->fill(0);
    (*out)[10] = 0xFF;
    (*out)[11] = 0xFF;
    std::memcpy(out->data() + 12, &v4.sin_addr, 4);
    return true;
  }
  if (source->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
    sockaddr_in6 v6;
    std::memcpy(&v6, source, sizeof v6);
    std::memcpy(out->data(), &v6.sin6_addr, 16);
    return true;
  }
  return false;
}

}  // namespace

Access AccessOfRights(uint32_t rights) {
  if (rights & (8u | 16u)) return Access::kReadWrite;
  if (rights & 4u) return Access::kReadOnly;
  return Access::kNone;
}

AccessPolicy::AccessPolicy(std::map<std::string, uint32_t> communities,
                           const std::vector<std::string>& managers,
                           std::vector<std::string>* unresolved)
    : communities_(std::move(communities)), anyHost_(managers.empty()) {
  for (const std::string& manager : managers) {
    if (manager.empty()) {
      if (unresolved != nullptr) unresolved->push_back(manager);
      continue;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(manager.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
      if (unresolved != nullptr) unresolved->push_back(manager);
      continue;
    }
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
      Address address;
      if (ToAddress(entry->ai_addr, entry->ai_addrlen, &address) &&
          std::find(managers_.begin(), managers_.end(), address) == managers_.end()) {
        managers_.push_back(address);
      }
    }
    freeaddrinfo(found);
  }
}

bool AccessPolicy::HostPermitted(const sockaddr* source, size_t sourceLength) const {
  if (anyHost_) return true;
  Address address;
  if (!ToAddress(source, sourceLength, &address)) return false;
  return std::find(managers_.begin(), managers_.end(), address) != managers_.end();
}

Access AccessPolicy::ForRequest(const std::string& community, const sockaddr* source,
                                size_t sourceLength) const {
  if (!HostPermitted(source, sourceLength)) return Access::kNone;
  auto found = communities_.find(community);
  if (found == communities_.end()) return Access::kNone;
  return AccessOfRights(found->second);
}

}  // namespace snmpsvc
