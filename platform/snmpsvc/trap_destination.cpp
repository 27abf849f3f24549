#include "trap_destination.h"

#include <strings.h>

#include <cctype>

namespace snmpsvc {

namespace {

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool AllHex(const std::string& text, size_t from, size_t count) {
  for (size_t i = from; i < from + count; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

bool ParsePort(const std::string& text, uint16_t* port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

bool ValidHost(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '.' && c != '-' && c != '_' && c != ':' && c != '%') return false;
  }
  return true;
}

}  // namespace

DestinationParse ParseTrapDestination(const std::string& raw, TrapDestination* destination) {
  std::string text = Trim(raw);
  TrapDestination result;
  if (text.size() >= 4 && strncasecmp(text.c_str(), "v2c:", 4) == 0) {
    result.v2c = true;
    text = Trim(text.substr(4));
  }
  if (text.size() == 21 && text[8] == '.' && AllHex(text, 0, 8) && AllHex(text, 9, 12)) {
    return DestinationParse::kIpx;
  }
  if (text.empty()) return DestinationParse::kInvalid;
  if (text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string::npos || close == 1) return DestinationParse::kInvalid;
    result.host = text.substr(1, close - 1);
    std::string rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':' || !ParsePort(rest.substr(1), &result.port))
        return DestinationParse::kInvalid;
    }
  } else {
    size_t first = text.find(':');
    if (first != std::string::npos && text.find(':', first + 1) == std::string::npos) {
      result.host = text.substr(0, first);
      if (!ParsePort(text.substr(first + 1), &result.port)) return DestinationParse::kInvalid;
    } else {
      result.host = text;  // a name, an IPv4 address, or a bare IPv6 address
    }
  }
  if (!ValidHost(result.host)) return DestinationParse::kInvalid;
  *destination = result;
  return DestinationParse::kOk;
}

std::string PeerName(const TrapDestination& destination) {
  if (destination.host.find(':') != std::string::npos) {
    return "udp6:[" + destination.host + "]:" + std::to_string(destination.port);
  }
  return "udp:" + destination.host + ":" + std::to_string(destination.port);
}

}  // namespace snmpsvc
