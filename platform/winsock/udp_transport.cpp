#include "udp_transport.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace wl::udp {
namespace {

// Winsock codes (the values of win32/winsock.h, which cannot be included here).
constexpr int kEINTR = 10004;
constexpr int kEACCES = 10013;
constexpr int kEFAULT = 10014;
constexpr int kEINVAL = 10022;
constexpr int kEMFILE = 10024;
constexpr int kEWOULDBLOCK = 10035;
constexpr int kEMSGSIZE = 10040;
constexpr int kEADDRINUSE = 10048;
constexpr int kEADDRNOTAVAIL = 10049;
constexpr int kENETDOWN = 10050;
constexpr int kENETUNREACH = 10051;
constexpr int kENOBUFS = 10055;
constexpr int kEHOSTUNREACH = 10065;

int MapErrno(int e) {
  switch (e) {
    case EINTR:
      return kEINTR;
    case EACCES:
    case EPERM:
      return kEACCES;
    case EFAULT:
      return kEFAULT;
    case EMFILE:
    case ENFILE:
      return kEMFILE;
    case EAGAIN:
      return kEWOULDBLOCK;
    case EMSGSIZE:
      return kEMSGSIZE;
    case EADDRINUSE:
      return kEADDRINUSE;
    case EADDRNOTAVAIL:
      return kEADDRNOTAVAIL;
    case ENETDOWN:
      return kENETDOWN;
    case ENETUNREACH:
      return kENETUNREACH;
    case EHOSTUNREACH:
      return kEHOSTUNREACH;
    case ENOBUFS:
    case ENOMEM:
      return kENOBUFS;
    default:
      return kEINVAL;
  }
}

sockaddr_in Endpoint(uint32_t address, uint16_t port) {
  sockaddr_in endpoint{};
  endpoint.sin_family = AF_INET;
  endpoint.sin_addr.s_addr = htonl(address);
  endpoint.sin_port = htons(port);
  return endpoint;
}

}  // namespace

int Open(uint32_t address, uint16_t port, int* error) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = MapErrno(errno);
    return -1;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  const sockaddr_in endpoint = Endpoint(address, port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0) {
    *error = MapErrno(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

void Shutdown(int fd) { ::shutdown(fd, SHUT_RDWR); }

void Close(int fd) {
  if (fd >= 0) ::close(fd);
}

bool SendTo(int fd, uint32_t address, uint16_t port, const void* data, size_t size, int* error) {
  const sockaddr_in endpoint = Endpoint(address, port);
  for (;;) {
    const ssize_t sent = ::sendto(fd, data, size, MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint);
    if (sent >= 0) return true;
    if (errno == EINTR) continue;
    *error = MapErrno(errno);
    return false;
  }
}

bool Receive(int fd, void* buffer, size_t size, bool wait, size_t* length, int* error) {
  for (;;) {
    const ssize_t got = ::recv(fd, buffer, size, MSG_TRUNC | (wait ? 0 : MSG_DONTWAIT));
    if (got >= 0) {
      *length = static_cast<size_t>(got);
      return true;
    }
    if (errno == EINTR) continue;
    *error = MapErrno(errno);
    return false;
  }
}

int WaitReadable(const int* fds, bool* ready, size_t count, int timeoutMs, int* error) {
  std::vector<pollfd> polled(count);
  for (size_t i = 0; i < count; ++i) polled[i] = pollfd{fds[i], POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int wait = timeoutMs;
    if (timeoutMs > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    const int n = ::poll(polled.data(), polled.size(), wait);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = MapErrno(errno);
      return -1;
    }
    for (size_t i = 0; i < count; ++i) ready[i] = (polled[i].revents & (POLLIN | POLLHUP)) != 0;
    return n;
  }
}

uint32_t LocalAddressTowards(uint32_t address) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  uint32_t local = 0;
  const sockaddr_in endpoint = Endpoint(address, 9);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) == 0) {
    sockaddr_in mine{};
    socklen_t length = sizeof mine;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &length) == 0) {
      local = ntohl(mine.sin_addr.s_addr);
    }
  }
  ::close(fd);
  return local;
}

bool ParseIPv4(const std::string& text, uint32_t* address) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  *address = ntohl(parsed.s_addr);
  return true;
}

}  // namespace wl::udp
