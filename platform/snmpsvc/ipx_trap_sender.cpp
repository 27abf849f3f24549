#include "ipx_trap_sender.h"

#include <strings.h>

#include <array>
#include <cctype>
#include <cstring>

#include "service_log.h"
#include "trap_conversion.h"
#include "trap_encoding.h"
#include "win32/winsock.h"

namespace snmpsvc {
namespace {

constexpr u_short kTrapSocket = 0x9010;
constexpr int kTrapPacketType = 4;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HexBytes(const std::string& text, size_t from, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) {
    const int high = HexDigit(text[from + 2 * i]);
    const int low = HexDigit(text[from + 2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

bool ParseIpxDestination(const std::string& raw, uint8_t network[4], uint8_t node[6], bool* v2c) {
  std::string text = Trim(raw);
  *v2c = text.size() >= 4 && strncasecmp(text.c_str(), "v2c:", 4) == 0;
  if (*v2c) text = Trim(text.substr(4));
  if (text.size() != 21 || text[8] != '.') return false;
  return HexBytes(text, 0, 4, network) && HexBytes(text, 9, 6, node);
}

IpxTrapSender::~IpxTrapSender() {
  if (socket_ != ~0ULL) closesocket(static_cast<SOCKET>(socket_));
  if (started_) WSACleanup();
}

bool IpxTrapSender::Open(std::string* error) {
  if (socket_ != ~0ULL) return true;
  if (!started_) {
    WSADATA data;
    const int rc = WSAStartup(MAKEWORD(1, 1), &data);
    if (rc != 0) {
      *error = "cannot start Winsock (error " + std::to_string(rc) + ")";
      return false;
    }
    started_ = true;
  }
  const SOCKET s = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX + kTrapPacketType);
  if (s == INVALID_SOCKET) {
    *error = "cannot open an IPX socket (error " + std::to_string(WSAGetLastError()) + ")";
    return false;
  }
  socket_ = s;
  return true;
}

bool IpxTrapSender::Send(const std::string& destination, const std::string& community,
                         const std::deque<TrapMessage>& traps) {
  SOCKADDR_IPX to;
  std::memset(&to, 0, sizeof to);
  to.sa_family = AF_IPX;
  uint8_t network[4], node[6];
  bool v2c = false;
  std::string error;
  bool ok = ParseIpxDestination(destination, network, node, &v2c);
  if (!ok) error = "not an IPX address";
  if (ok) ok = Open(&error);
  if (ok) {
    std::memcpy(to.sa_netnum, network, 4);
    std::memcpy(to.sa_nodenum, node, 6);
    to.sa_socket = htons(kTrapSocket);
    // RFC 1420: the agent's IP address means nothing over IPX.
    const std::array<uint8_t, 4> noAddress{0, 0, 0, 0};
    for (const TrapMessage& trap : traps) {
      const std::string message =
          v2c ? EncodeV2Trap(ToV2Notification(trap, noAddress, community), community,
                             nextRequestId_++ & 0x7FFFFFFF)
              : EncodeV1Trap(trap, community, noAddress);
      if (sendto(static_cast<SOCKET>(socket_), message.data(), static_cast<int>(message.size()),
                 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
        error = "cannot send over IPX (error " + std::to_string(WSAGetLastError()) + ")";
        ok = false;
        break;
      }
    }
  }
  if (!ok) {
    if (failing_.insert(destination).second) {
      LogError("trap to %s: %s", destination.c_str(), error.c_str());
    }
  } else if (failing_.erase(destination) != 0) {
    LogInfo("traps reach %s again", destination.c_str());
  }
  return ok;
}

}  // namespace snmpsvc
