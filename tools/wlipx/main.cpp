// wlipx: plays a management console on another IPX host (see docs/mgrseek.md).
//   wlipx advertise [--name NAME] [--type 0x026A] [--to ADDRESS] [--bind ADDRESS] [--port N]
//                   [--count N --rate PER_SECOND --consoles N]
//   wlipx traps [--bind ADDRESS] [--port N] [--count N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "local_address.h"
#include "trap_text.h"
#include "win32/registry.h"
#include "win32/winsock.h"

namespace {

constexpr u_short kSapSocket = 0x0452;
constexpr u_short kTrapSocket = 0x9010;
constexpr int kPacketType = 4;

constexpr const char* kUsage =
    "usage: wlipx advertise [--name NAME] [--type 0x026A] [--to ADDRESS] [--bind ADDRESS] "
    "[--port N]\n"
    "                       [--count N] [--rate PER_SECOND] [--consoles N]\n"
    "       wlipx traps [--bind ADDRESS] [--port N] [--count N]\n"
    "ADDRESS is the IPv4 address of an IPX host (--to: the host advertised to, default the\n"
    "broadcast; --bind: this host, default the registry's); --port is the UDP port of IPX\n"
    "(default the registry's, else 213). The advertisement's name defaults to this host's\n"
    "node and network numbers in hexadecimal (12 and 8 digits). For load tests, --count\n"
    "sends N advertisements at --rate a second (default 1000) from --consoles distinct\n"
    "consoles (default 1), whose names carry the numbers 0 to N-1 as network number.\n";

struct Options {
  std::string command;
  std::string name;
  unsigned long type = 0x026A;
  std::string to = "255.255.255.255";
  std::string bind;
  long port = 0;
  long count = 0;
  long rate = 1000;
  long consoles = 1;
};

int Usage(const std::string& message) {
  if (!message.empty()) std::fprintf(stderr, "wlipx: %s\n", message.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

bool ParseNumber(const char* text, unsigned long limit, unsigned long* value) {
  char* end = nullptr;
  const unsigned long number = std::strtoul(text, &end, 0);
  if (end == text || *end != '\0' || text[0] == '-' || number > limit) return false;
  *value = number;
  return true;
}

bool ParseIPv4(const std::string& text, unsigned char out[4]) {
  unsigned a, b, c, d;
  char extra;
  if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &extra) != 4) return false;
  if (a > 255 || b > 255 || c > 255 || d > 255) return false;
  out[0] = static_cast<unsigned char>(a);
  out[1] = static_cast<unsigned char>(b);
  out[2] = static_cast<unsigned char>(c);
  out[3] = static_cast<unsigned char>(d);
  return true;
}

std::string Hex(const char* bytes, size_t count) {
  std::string text;
  char digits[3];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(bytes[i]));
    text += digits;
  }
  return text;
}

std::string AddressText(const SOCKADDR_IPX& address) {
  char socketText[8];
  std::snprintf(socketText, sizeof socketText, "%04X", ntohs(address.sa_socket));
  return Hex(address.sa_netnum, 4) + "." + Hex(address.sa_nodenum, 6) + ":" + socketText;
}

// The registry's "BindAddress" of this host, "" when none.
std::string RegistryBindAddress() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\NwlnkIpx\\Parameters",
                    0, KEY_READ, &key) != ERROR_SUCCESS) {
    return "";
  }
  char text[64] = {};
  DWORD size = sizeof text - 1, type = 0;
  std::string result;
  if (RegQueryValueExA(key, "BindAddress", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
          ERROR_SUCCESS &&
      type == REG_SZ) {
    result.assign(text, strnlen(text, sizeof text));
  }
  RegCloseKey(key);
  return result;
}

bool StartWinsock(const Options& options) {
  if (!wl_SetIpxHost(options.bind.c_str(), static_cast<int>(options.port))) {
    std::fprintf(stderr, "wlipx: bad address %s\n", options.bind.c_str());
    return false;
  }
  WSADATA data;
  const int rc = WSAStartup(MAKEWORD(1, 1), &data);
  if (rc != 0) {
    std::fprintf(stderr, "wlipx: WSAStartup failed (%d)\n", rc);
    return false;
  }
  return true;
}

SOCKET OpenSocket(u_short number, bool mustBind) {
  SOCKET s = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX + kPacketType);
  if (s == INVALID_SOCKET) {
    std::fprintf(stderr, "wlipx: socket failed (%d)\n", WSAGetLastError());
    return s;
  }
  SOCKADDR_IPX address{};
  address.sa_family = AF_IPX;
  address.sa_socket = htons(number);
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = WSAGetLastError();
    // Another program of this IPX host owns its port: send from elsewhere.
    if (!mustBind && error == WSAEADDRINUSE) return s;
    std::fprintf(stderr, "wlipx: bind to IPX socket %04X failed (%d)\n", number, error);
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

int Advertise(Options options) {
  unsigned char to[4];
  if (!ParseIPv4(options.to, to)) return Usage("bad --to address " + options.to);
  if (options.type > 0xFFFF) return Usage("bad --type");
  if (options.name.size() > 47) return Usage("--name: at most 47 characters");
  // This host's node: two zero bytes and its IPv4 address.
  std::string self = options.bind.empty() ? RegistryBindAddress() : options.bind;
  if (self.empty() || self == "0.0.0.0") self = wlipx::LocalAddressTowards(options.to);
  unsigned char ownAddress[4] = {0, 0, 0, 0};
  if (!self.empty() && !ParseIPv4(self, ownAddress)) return Usage("bad --bind address " + self);
  if (!StartWinsock(options)) return 1;
  SOCKET s = OpenSocket(kSapSocket, false);
  if (s == INVALID_SOCKET) {
    WSACleanup();
    return 1;
  }
  char node[6] = {0,
                  0,
                  static_cast<char>(ownAddress[0]),
                  static_cast<char>(ownAddress[1]),
                  static_cast<char>(ownAddress[2]),
                  static_cast<char>(ownAddress[3])};
  char network[4] = {0, 0, 0, 0};
  SOCKADDR_IPX mine{};
  int length = sizeof mine;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&mine), &length) == 0) {
    std::memcpy(network, mine.sa_netnum, 4);
  }
  if (options.name.empty()) options.name = Hex(node, 6) + Hex(network, 4);

  const std::string node12 = Hex(node, 6);
  // A general service response with one entry.
  std::vector<char> message(2 + 64, '\0');
  message[1] = 2;
  message[2] = static_cast<char>(options.type >> 8);
  message[3] = static_cast<char>(options.type);
  std::memcpy(&message[4], options.name.data(), options.name.size());
  std::memcpy(&message[52], network, 4);
  std::memcpy(&message[56], node, 6);
  message[62] = static_cast<char>(kTrapSocket >> 8);
  message[63] = static_cast<char>(kTrapSocket & 0xFF);
  message[65] = 1;  // hops

  SOCKADDR_IPX target{};
  target.sa_family = AF_IPX;
  if (options.to == "255.255.255.255") {
    std::memset(target.sa_nodenum, 0xFF, 6);
  } else {
    std::memcpy(target.sa_nodenum + 2, to, 4);
  }
  target.sa_socket = htons(kSapSocket);
  if (options.count == 0) {
    const int sent = sendto(s, message.data(), static_cast<int>(message.size()), 0,
                            reinterpret_cast<const sockaddr*>(&target), sizeof target);
    const int error = WSAGetLastError();
    closesocket(s);
    WSACleanup();
    if (sent == SOCKET_ERROR) {
      std::fprintf(stderr, "wlipx: sendto failed (%d)\n", error);
      return 1;
    }
    std::printf("advertised \"%s\" (type 0x%04lX) to %s\n", options.name.c_str(), options.type,
                AddressText(target).c_str());
    return 0;
  }
  // A paced stream: the names of console i carry i as network number.
  long failed = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < options.count; ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "%s%08lX", node12.c_str(), i % options.consoles);
    std::memcpy(&message[4], name, 20);
    if (sendto(s, message.data(), static_cast<int>(message.size()), 0,
               reinterpret_cast<const sockaddr*>(&target), sizeof target) == SOCKET_ERROR) {
      ++failed;
    }
    if ((i + 1) % 100 == 0) {
      std::this_thread::sleep_until(start +
                                    std::chrono::microseconds((i + 1) * 1000000LL / options.rate));
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  closesocket(s);
  WSACleanup();
  std::printf("sent %ld advertisements of %ld consoles in %.2f s (%ld failed)\n",
              options.count - failed, options.consoles, seconds, failed);
  return failed == 0 ? 0 : 1;
}

int Traps(const Options& options) {
  if (!StartWinsock(options)) return 1;
  SOCKET s = OpenSocket(kTrapSocket, true);
  if (s == INVALID_SOCKET) {
    WSACleanup();
    return 1;
  }
  SOCKADDR_IPX mine{};
  int length = sizeof mine;
  getsockname(s, reinterpret_cast<sockaddr*>(&mine), &length);
  std::printf("listening for traps on %s\n", AddressText(mine).c_str());
  std::fflush(stdout);
  std::vector<char> buffer(65536);
  for (long received = 0; options.count == 0 || received < options.count;) {
    SOCKADDR_IPX from{};
    int fromLength = sizeof from;
    const int n = recvfrom(s, buffer.data(), static_cast<int>(buffer.size()), 0,
                           reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n == SOCKET_ERROR) {
      std::fprintf(stderr, "wlipx: recvfrom failed (%d)\n", WSAGetLastError());
      break;
    }
    std::string text;
    const bool decoded = wlipx::DescribeTrap(reinterpret_cast<const uint8_t*>(buffer.data()),
                                             static_cast<size_t>(n), &text);
    std::printf("from %s: %s%s", AddressText(from).c_str(),
                decoded ? "" : "undecodable: ", text.c_str());
    if (!decoded) std::printf(" (%d bytes)\n", n);
    std::fflush(stdout);
    ++received;
  }
  closesocket(s);
  WSACleanup();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("");
  Options options;
  options.command = argv[1];
  if (options.command == "-h" || options.command == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const bool advertise = options.command == "advertise";
  if (!advertise && options.command != "traps") return Usage("unknown command " + options.command);
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage("missing value after " + option);
    const char* value = argv[++i];
    unsigned long number = 0;
    if (option == "--bind") {
      options.bind = value;
    } else if (option == "--port") {
      if (!ParseNumber(value, 65535, &number) || number == 0) return Usage("bad --port");
      options.port = static_cast<long>(number);
    } else if (advertise && option == "--name") {
      options.name = value;
    } else if (advertise && option == "--type") {
      if (!ParseNumber(value, 0xFFFF, &number)) return Usage("bad --type");
      options.type = number;
    } else if (advertise && option == "--to") {
      options.to = value;
    } else if (advertise && (option == "--count" || option == "--rate" || option == "--consoles")) {
      if (!ParseNumber(value, 1000000000, &number) || number == 0) return Usage("bad " + option);
      (option == "--count"  ? options.count
       : option == "--rate" ? options.rate
                            : options.consoles) = static_cast<long>(number);
    } else if (!advertise && option == "--count") {
      if (!ParseNumber(value, 1000000000, &number)) return Usage("bad --count");
      options.count = static_cast<long>(number);
    } else {
      return Usage("unknown option " + option);
    }
  }
  return advertise ? Advertise(options) : Traps(options);
}
