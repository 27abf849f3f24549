#include "local_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wlipx {

std::string LocalAddressTowards(const std::string& peer) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(9);
  if (inet_pton(AF_INET, peer.c_str(), &target.sin_addr) != 1) return "";
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  std::string text;
  sockaddr_in mine{};
  socklen_t length = sizeof mine;
  char buffer[INET_ADDRSTRLEN];
  if (connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &length) == 0 &&
      inet_ntop(AF_INET, &mine.sin_addr, buffer, sizeof buffer) != nullptr) {
    text = buffer;
  }
  close(fd);
  return text;
}

}  // namespace wlipx
