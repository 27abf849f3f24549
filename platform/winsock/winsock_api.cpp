// Winsock 1.1 over IPX in UDP. Each SOCKET is an entry of a process-wide table;
// the UDP descriptor behind it is closed when the last user lets go, so a
// socket closed while another thread waits on it is safe.
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ipx_header.h"
#include "udp_transport.h"
#include "win32/registry.h"
#include "win32/winsock.h"

namespace {

constexpr WORD kVersion = MAKEWORD(1, 1);
constexpr uint16_t kDefaultUdpPort = 213;
constexpr uint16_t kFirstDynamicSocket = 0x4000;
constexpr uint16_t kLastDynamicSocket = 0x7FFF;
constexpr size_t kIpxAddressLength = sizeof(SOCKADDR_IPX);
// How long select() waits on the descriptors before it looks again at
// sockets that another thread may have filled or closed.
constexpr int kSelectSliceMs = 100;

struct Config {
  uint16_t udpPort = kDefaultUdpPort;
  uint32_t bindAddress = 0;  // IPv4, host order; 0 = every address
  uint32_t network = 0;
};

struct Datagram {
  std::vector<uint8_t> data;
  wl::ipx::Address source;
};

struct IpxSocket {
  ~IpxSocket() { wl::udp::Close(fd); }

  std::mutex mutex;
  std::atomic<int> fd{-1};  // set once, under the table lock
  bool explicitBind = false;
  std::atomic<bool> closed{false};
  uint16_t number = 0;
  uint8_t packetType = 0;
  int filter = -1;  // receive only this packet type; -1 for all
  bool hasPending = false;
  Datagram pending;  // read by select() and not yet by recv()
};

struct State {
  std::mutex mutex;
  int starts = 0;
  Config config;
  SOCKET nextSocket = 0x100;
  uint16_t nextDynamic = kFirstDynamicSocket;
  std::map<SOCKET, std::shared_ptr<IpxSocket>> sockets;
};

State& TheState() {
  static State* state = new State;  // outlives every thread that may still use it
  return *state;
}

int Fail(int error) {
  WSASetLastError(error);
  return SOCKET_ERROR;
}

// Set by wl_SetIpxHost: override of the registry (0: none).
uint32_t hostAddressOverride = 0;
uint16_t hostPortOverride = 0;

Config ReadRegistryConfig();

Config ReadConfig() {
  Config config = ReadRegistryConfig();
  if (hostAddressOverride != 0) config.bindAddress = hostAddressOverride;
  if (hostPortOverride != 0) config.udpPort = hostPortOverride;
  return config;
}

Config ReadRegistryConfig() {
  Config config;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\NwlnkIpx\\Parameters",
                    0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return config;
  }
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExA(key, "UdpPort", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof value && value >= 1 && value <= 65535) {
    config.udpPort = static_cast<uint16_t>(value);
  }
  size = sizeof value;
  if (RegQueryValueExA(key, "VirtualNetworkNumber", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                       &size) == ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof value) {
    config.network = value;
  }
  char text[64];
  size = sizeof text;
  if (RegQueryValueExA(key, "BindAddress", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
          ERROR_SUCCESS &&
      type == REG_SZ && size > 0) {
    uint32_t address = 0;
    if (wl::udp::ParseIPv4(std::string(text, strnlen(text, size)), &address)) {
      config.bindAddress = address;
    }
  }
  RegCloseKey(key);
  return config;
}

// The socket behind a handle, or null with the error set.
std::shared_ptr<IpxSocket> Find(SOCKET s, Config* config = nullptr) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.starts == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return nullptr;
  }
  auto found = state.sockets.find(s);
  if (found == state.sockets.end()) {
    WSASetLastError(WSAENOTSOCK);
    return nullptr;
  }
  if (config != nullptr) *config = state.config;
  return found->second;
}

void NetworkBytes(uint32_t network, uint8_t out[4]) {
  out[0] = static_cast<uint8_t>(network >> 24);
  out[1] = static_cast<uint8_t>(network >> 16);
  out[2] = static_cast<uint8_t>(network >> 8);
  out[3] = static_cast<uint8_t>(network);
}

void ToSockaddr(const wl::ipx::Address& address, SOCKADDR_IPX* out) {
  std::memset(out, 0, sizeof *out);
  out->sa_family = AF_IPX;
  std::memcpy(out->sa_netnum, address.network, 4);
  std::memcpy(out->sa_nodenum, address.node, 6);
  out->sa_socket = htons(address.socket);
}

wl::ipx::Address FromSockaddr(const SOCKADDR_IPX& in) {
  wl::ipx::Address address;
  std::memcpy(address.network, in.sa_netnum, 4);
  std::memcpy(address.node, in.sa_nodenum, 6);
  address.socket = ntohs(in.sa_socket);
  return address;
}

// Binds the socket's UDP side: the configured port for an explicit bind, one
// of the system's choosing for the implicit bind of a first sendto().
int BindSocket(IpxSocket& socket, uint16_t number, bool explicitBind) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (socket.fd >= 0) return Fail(WSAEINVAL);
  if (number != 0) {
    for (const auto& entry : state.sockets) {
      if (entry.second->fd >= 0 && entry.second->number == number) return Fail(WSAEADDRINUSE);
    }
  } else {
    // The next dynamic number that no socket of this process uses.
    for (int tries = 0; tries <= kLastDynamicSocket - kFirstDynamicSocket && number == 0; ++tries) {
      const uint16_t candidate = state.nextDynamic;
      state.nextDynamic = candidate == kLastDynamicSocket ? kFirstDynamicSocket : candidate + 1;
      bool used = false;
      for (const auto& entry : state.sockets) {
        used = used || (entry.second->fd >= 0 && entry.second->number == candidate);
      }
      if (!used) number = candidate;
    }
    if (number == 0) return Fail(WSAENOBUFS);
  }
  int error = 0;
  const int fd =
      wl::udp::Open(state.config.bindAddress, explicitBind ? state.config.udpPort : 0, &error);
  if (fd < 0) return Fail(error);
  socket.fd = fd;
  socket.number = number;
  socket.explicitBind = explicitBind;
  return 0;
}

// True when a datagram's header makes it one for this socket.
bool Accepts(const IpxSocket& socket, const Config& config, const wl::ipx::Header& header) {
  if (header.destination.socket != socket.number) return false;
  if (socket.filter >= 0 && header.packetType != socket.filter) return false;
  uint8_t mine[4];
  NetworkBytes(config.network, mine);
  static const uint8_t kZero[4] = {0, 0, 0, 0};
  static const uint8_t kAll[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t* net = header.destination.network;
  if (std::memcmp(net, mine, 4) != 0 && std::memcmp(net, kZero, 4) != 0 &&
      std::memcmp(net, kAll, 4) != 0) {
    return false;
  }
  if (config.bindAddress != 0 && !wl::ipx::IsBroadcastNode(header.destination.node)) {
    uint32_t address = 0;
    if (!wl::ipx::NodeToIPv4(header.destination.node, &address)) return false;
    if (address != config.bindAddress) return false;
  }
  return true;
}

// Reads datagrams until one is for this socket (kept as its pending one), or,
// when `wait` is false, until none is queued. Caller holds socket.mutex.
bool FetchOne(IpxSocket& socket, const Config& config, bool wait, int* error) {
  static thread_local std::vector<uint8_t> buffer(65536);
  while (!socket.hasPending) {
    if (socket.closed) {
      *error = WSAEINTR;
      return false;
    }
    size_t length = 0;
    if (!wl::udp::Receive(socket.fd, buffer.data(), buffer.size(), wait, &length, error)) {
      return false;
    }
    if (socket.closed) {
      *error = WSAEINTR;
      return false;
    }
    if (length > buffer.size()) continue;  // larger than any IPX datagram in UDP
    wl::ipx::Header header;
    if (!wl::ipx::ReadHeader(buffer.data(), length, &header)) continue;
    if (!Accepts(socket, config, header)) continue;
    socket.pending.data.assign(buffer.begin() + wl::ipx::kHeaderSize,
                               buffer.begin() + header.length);
    socket.pending.source = header.source;
    socket.hasPending = true;
  }
  return true;
}

}  // namespace

WLAPI int __WSAFDIsSet(SOCKET s, fd_set* set) {
  if (set == nullptr) return 0;
  const u_int count = set->fd_count < FD_SETSIZE ? set->fd_count : FD_SETSIZE;
  for (u_int i = 0; i < count; ++i) {
    if (set->fd_array[i] == s) return 1;
  }
  return 0;
}

WLAPI int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  // Winsock 1.1 serves requests for 1.0 and anything newer (with 1.1).
  if (LOBYTE(wVersionRequested) < 1) return WSAVERNOTSUPPORTED;
  if (lpWSAData == nullptr) return WSAEFAULT;
  State& state = TheState();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.starts++ == 0) state.config = ReadConfig();
  }
  std::memset(lpWSAData, 0, sizeof *lpWSAData);
  const bool wantsOld = LOBYTE(wVersionRequested) == 1 && HIBYTE(wVersionRequested) == 0;
  lpWSAData->wVersion = wantsOld ? MAKEWORD(1, 0) : kVersion;
  lpWSAData->wHighVersion = kVersion;
  std::strcpy(lpWSAData->szDescription, "Wardenline Winsock 1.1 (IPX over UDP)");
  std::strcpy(lpWSAData->szSystemStatus, "Running");
  lpWSAData->iMaxSockets = 1024;
  lpWSAData->iMaxUdpDg = static_cast<unsigned short>(wl::ipx::kMaxData);
  return 0;
}

WLAPI int WSACleanup() {
  State& state = TheState();
  std::vector<std::shared_ptr<IpxSocket>> closing;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.starts == 0) return Fail(WSANOTINITIALISED);
    if (--state.starts == 0) {
      for (auto& entry : state.sockets) closing.push_back(entry.second);
      state.sockets.clear();
    }
  }
  for (auto& socket : closing) {
    socket->closed = true;
    if (socket->fd >= 0) wl::udp::Shutdown(socket->fd);
  }
  return 0;
}

WLAPI int WSAGetLastError() { return static_cast<int>(GetLastError()); }
WLAPI void WSASetLastError(int iError) { SetLastError(static_cast<DWORD>(iError)); }

WLAPI SOCKET socket(int af, int type, int protocol) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.starts == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return INVALID_SOCKET;
  }
  int error = 0;
  if (af != AF_IPX) {
    error = WSAEAFNOSUPPORT;
  } else if (type != SOCK_DGRAM) {
    error = WSAESOCKTNOSUPPORT;
  } else if (protocol < NSPROTO_IPX || protocol > NSPROTO_IPX + 255) {
    error = WSAEPROTONOSUPPORT;
  }
  if (error != 0) {
    WSASetLastError(error);
    return INVALID_SOCKET;
  }
  auto socket = std::make_shared<IpxSocket>();
  socket->packetType = static_cast<uint8_t>(protocol - NSPROTO_IPX);
  const SOCKET handle = state.nextSocket;
  state.nextSocket += 4;
  state.sockets[handle] = std::move(socket);
  return handle;
}

WLAPI int bind(SOCKET s, const struct sockaddr* name, int namelen) {
  std::shared_ptr<IpxSocket> socket = Find(s);
  if (!socket) return SOCKET_ERROR;
  if (name == nullptr || namelen < static_cast<int>(kIpxAddressLength)) return Fail(WSAEFAULT);
  SOCKADDR_IPX address;
  std::memcpy(&address, name, sizeof address);
  if (address.sa_family != AF_IPX) return Fail(WSAEAFNOSUPPORT);
  return BindSocket(*socket, ntohs(address.sa_socket), true);
}

WLAPI int getsockname(SOCKET s, struct sockaddr* name, int* namelen) {
  Config config;
  std::shared_ptr<IpxSocket> socket = Find(s, &config);
  if (!socket) return SOCKET_ERROR;
  if (name == nullptr || namelen == nullptr || *namelen < static_cast<int>(kIpxAddressLength)) {
    return Fail(WSAEFAULT);
  }
  if (socket->fd < 0) return Fail(WSAEINVAL);
  wl::ipx::Address mine;
  NetworkBytes(config.network, mine.network);
  wl::ipx::IPv4ToNode(config.bindAddress, mine.node);
  mine.socket = socket->number;
  SOCKADDR_IPX out;
  ToSockaddr(mine, &out);
  std::memcpy(name, &out, sizeof out);
  *namelen = static_cast<int>(sizeof out);
  return 0;
}

WLAPI int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  std::shared_ptr<IpxSocket> socket = Find(s);
  if (!socket) return SOCKET_ERROR;
  if (level == SOL_SOCKET && (optname == SO_BROADCAST || optname == SO_RCVBUF)) {
    return optval == nullptr || optlen < static_cast<int>(sizeof(int)) ? Fail(WSAEFAULT) : 0;
  }
  if (level != NSPROTO_IPX) return Fail(WSAENOPROTOOPT);
  int value = 0;
  if (optname != IPX_STOPFILTERPTYPE) {
    if (optval == nullptr || optlen < static_cast<int>(sizeof value)) return Fail(WSAEFAULT);
    std::memcpy(&value, optval, sizeof value);
    if (value < 0 || value > 255) return Fail(WSAEINVAL);
  }
  std::lock_guard<std::mutex> lock(socket->mutex);
  switch (optname) {
    case IPX_PTYPE:
      socket->packetType = static_cast<uint8_t>(value);
      return 0;
    case IPX_FILTERPTYPE:
      socket->filter = value;
      return 0;
    case IPX_STOPFILTERPTYPE:
      socket->filter = -1;
      return 0;
    default:
      return Fail(WSAENOPROTOOPT);
  }
}

WLAPI int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  std::shared_ptr<IpxSocket> socket = Find(s);
  if (!socket) return SOCKET_ERROR;
  if (optval == nullptr || optlen == nullptr || *optlen < static_cast<int>(sizeof(int))) {
    return Fail(WSAEFAULT);
  }
  if (level != NSPROTO_IPX) return Fail(WSAENOPROTOOPT);
  int value = 0;
  {
    std::lock_guard<std::mutex> lock(socket->mutex);
    if (optname == IPX_PTYPE) {
      value = socket->packetType;
    } else if (optname == IPX_FILTERPTYPE) {
      value = socket->filter;
    } else {
      return Fail(WSAENOPROTOOPT);
    }
  }
  std::memcpy(optval, &value, sizeof value);
  *optlen = static_cast<int>(sizeof value);
  return 0;
}

WLAPI int select(int, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                 const struct timeval* timeout) {
  struct Entry {
    SOCKET handle;
    std::shared_ptr<IpxSocket> socket;
  };
  Config config;
  std::vector<Entry> readers;
  size_t writers = 0;
  for (fd_set* set : {readfds, writefds, exceptfds}) {
    if (set == nullptr) continue;
    if (set->fd_count > FD_SETSIZE) return Fail(WSAEINVAL);
    for (u_int i = 0; i < set->fd_count; ++i) {
      std::shared_ptr<IpxSocket> socket = Find(set->fd_array[i], &config);
      if (!socket) return SOCKET_ERROR;
      if (set == readfds) {
        if (socket->fd < 0) return Fail(WSAEINVAL);
        readers.push_back({set->fd_array[i], socket});
      }
    }
  }
  if (writefds != nullptr) writers = writefds->fd_count;
  if (exceptfds != nullptr) FD_ZERO(exceptfds);
  if (readers.empty() && writers == 0) return Fail(WSAEINVAL);
  if (timeout != nullptr && (timeout->tv_sec < 0 || timeout->tv_usec < 0)) return Fail(WSAEINVAL);
  // With a writable socket (every socket is) nothing needs to be waited for.
  long long leftMs = -1;
  if (writers != 0) {
    leftMs = 0;
  } else if (timeout != nullptr) {
    leftMs = static_cast<long long>(timeout->tv_sec) * 1000 + timeout->tv_usec / 1000;
  }
  std::vector<bool> ready(readers.size());
  for (;;) {
    size_t count = 0;
    std::vector<int> fds;
    std::vector<size_t> waiting;
    for (size_t i = 0; i < readers.size(); ++i) {
      IpxSocket& socket = *readers[i].socket;
      std::lock_guard<std::mutex> lock(socket.mutex);
      int error = 0;
      if (socket.closed) return Fail(WSAENOTSOCK);
      ready[i] = socket.hasPending || FetchOne(socket, config, false, &error);
      if (!ready[i] && error != WSAEWOULDBLOCK) return Fail(error);
      if (ready[i]) {
        ++count;
      } else {
        fds.push_back(socket.fd);
        waiting.push_back(i);
      }
    }
    if (count != 0 || leftMs == 0) {
      if (readfds != nullptr) {
        FD_ZERO(readfds);
        for (size_t i = 0; i < readers.size(); ++i) {
          if (ready[i]) FD_SET(readers[i].handle, readfds);
        }
      }
      return static_cast<int>(count + writers);
    }
    const int slice =
        leftMs < 0 || leftMs > kSelectSliceMs ? kSelectSliceMs : static_cast<int>(leftMs);
    std::unique_ptr<bool[]> readable(new bool[fds.size()]);
    int error = 0;
    if (wl::udp::WaitReadable(fds.data(), readable.get(), fds.size(), slice, &error) < 0) {
      return Fail(error);
    }
    if (leftMs > 0) leftMs = leftMs > slice ? leftMs - slice : 0;
  }
}

WLAPI int recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from, int* fromlen) {
  Config config;
  std::shared_ptr<IpxSocket> socket = Find(s, &config);
  if (!socket) return SOCKET_ERROR;
  if (flags != 0) return Fail(WSAEOPNOTSUPP);
  if (buf == nullptr || len < 0) return Fail(WSAEFAULT);
  if (from != nullptr && (fromlen == nullptr || *fromlen < static_cast<int>(kIpxAddressLength))) {
    return Fail(WSAEFAULT);
  }
  if (socket->fd < 0) return Fail(WSAEINVAL);
  // The lock is held while blocked: a second reader waits for the first.
  std::lock_guard<std::mutex> lock(socket->mutex);
  int error = 0;
  if (!FetchOne(*socket, config, true, &error)) return Fail(error);
  Datagram datagram = std::move(socket->pending);
  socket->hasPending = false;
  const size_t size = datagram.data.size();
  const size_t copied = size < static_cast<size_t>(len) ? size : static_cast<size_t>(len);
  if (copied != 0) std::memcpy(buf, datagram.data.data(), copied);
  if (from != nullptr) {
    SOCKADDR_IPX address;
    ToSockaddr(datagram.source, &address);
    std::memcpy(from, &address, sizeof address);
    *fromlen = static_cast<int>(sizeof address);
  }
  if (copied < size) return Fail(WSAEMSGSIZE);
  return static_cast<int>(copied);
}

WLAPI int recv(SOCKET s, char* buf, int len, int flags) {
  return recvfrom(s, buf, len, flags, nullptr, nullptr);
}

WLAPI int sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to,
                 int tolen) {
  Config config;
  std::shared_ptr<IpxSocket> socket = Find(s, &config);
  if (!socket) return SOCKET_ERROR;
  if (flags != 0) return Fail(WSAEOPNOTSUPP);
  if ((buf == nullptr && len != 0) || len < 0) return Fail(WSAEFAULT);
  if (to == nullptr || tolen < static_cast<int>(kIpxAddressLength)) return Fail(WSAEFAULT);
  if (static_cast<size_t>(len) > wl::ipx::kMaxData) return Fail(WSAEMSGSIZE);
  SOCKADDR_IPX target;
  std::memcpy(&target, to, sizeof target);
  if (target.sa_family != AF_IPX) return Fail(WSAEAFNOSUPPORT);
  const wl::ipx::Address destination = FromSockaddr(target);
  uint32_t address = 0;
  if (wl::ipx::IsBroadcastNode(destination.node)) {
    address = 0xFFFFFFFFu;
  } else if (!wl::ipx::NodeToIPv4(destination.node, &address)) {
    return Fail(WSAEADDRNOTAVAIL);
  }
  if (socket->fd < 0 && BindSocket(*socket, 0, false) != 0) {
    // Another thread may have bound it meanwhile; that is as good.
    if (socket->fd < 0) return SOCKET_ERROR;
  }
  wl::ipx::Address source;
  NetworkBytes(config.network, source.network);
  uint32_t local = config.bindAddress;
  if (local == 0 && address != 0xFFFFFFFFu) local = wl::udp::LocalAddressTowards(address);
  wl::ipx::IPv4ToNode(local, source.node);
  uint8_t packetType;
  {
    std::lock_guard<std::mutex> lock(socket->mutex);
    source.socket = socket->number;
    packetType = socket->packetType;
  }
  std::vector<uint8_t> datagram(wl::ipx::kHeaderSize + static_cast<size_t>(len));
  wl::ipx::WriteHeader(destination, source, packetType, static_cast<size_t>(len), datagram.data());
  if (len != 0) std::memcpy(datagram.data() + wl::ipx::kHeaderSize, buf, static_cast<size_t>(len));
  int error = 0;
  if (!wl::udp::SendTo(socket->fd, address, config.udpPort, datagram.data(), datagram.size(),
                       &error)) {
    return Fail(error);
  }
  return len;
}

WLAPI int closesocket(SOCKET s) {
  State& state = TheState();
  std::shared_ptr<IpxSocket> socket;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.starts == 0) return Fail(WSANOTINITIALISED);
    auto found = state.sockets.find(s);
    if (found == state.sockets.end()) return Fail(WSAENOTSOCK);
    socket = std::move(found->second);
    state.sockets.erase(found);
    socket->closed = true;
  }
  if (socket->fd >= 0) wl::udp::Shutdown(socket->fd);
  return 0;
}

WLAPI BOOL wl_SetIpxHost(const char* bindAddress, int udpPort) {
  uint32_t address = 0;
  if (bindAddress != nullptr && bindAddress[0] != '\0' &&
      !wl::udp::ParseIPv4(bindAddress, &address)) {
    return FALSE;
  }
  if (udpPort < 0 || udpPort > 65535) return FALSE;
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  hostAddressOverride = address;
  hostPortOverride = static_cast<uint16_t>(udpPort);
  return TRUE;
}

WLAPI u_short htons(u_short hostshort) {
  return static_cast<u_short>((hostshort >> 8) | (hostshort << 8));
}
WLAPI u_short ntohs(u_short netshort) { return htons(netshort); }
WLAPI DWORD htonl(DWORD hostlong) { return __builtin_bswap32(hostlong); }
WLAPI DWORD ntohl(DWORD netlong) { return htonl(netlong); }
