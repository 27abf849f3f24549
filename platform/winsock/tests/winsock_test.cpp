// Winsock over IPX in UDP, on loopback with a private registry: what reaches
// recv() and what goes on the wire, the Winsock errors, and waking a waiting
// thread.
#include "win32/winsock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "raw_udp.h"
#include "registry_store.h"
#include "win32/registry.h"

namespace {

using namespace std::chrono_literals;

constexpr u_short kSapSocket = 0x0452;

std::string Header(uint16_t checksum, uint16_t length, uint8_t type, uint16_t destSocket,
                   const std::string& destNode = std::string("\0\0\x7f\0\0\x01", 6)) {
  std::string h;
  h += static_cast<char>(checksum >> 8);
  h += static_cast<char>(checksum);
  h += static_cast<char>(length >> 8);
  h += static_cast<char>(length);
  h += '\0';
  h += static_cast<char>(type);
  h += std::string(4, '\0') + destNode;
  h += static_cast<char>(destSocket >> 8);
  h += static_cast<char>(destSocket);
  h += std::string("\0\0\0\0\0\0\x7f\0\0\x02\x40\x01", 12);
  return h;
}

std::string Datagram(const std::string& data, uint8_t type = 4, uint16_t socket = kSapSocket,
                     uint16_t checksum = 0xFFFF) {
  return Header(checksum, static_cast<uint16_t>(30 + data.size()), type, socket) + data;
}

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wlwsXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    wl::ResetRegistryForTesting();
    raw_ = rawudp::Bind(0, &rawPort_);
    ASSERT_GE(raw_, 0);
    const int probe = rawudp::Bind(0, &port_);
    rawudp::Close(probe);
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "SYSTEM\\CurrentControlSet\\Services\\NwlnkIpx\\Parameters", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD port = port_;
    RegSetValueExA(key, "UdpPort", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port), 4);
    RegSetValueExA(key, "BindAddress", 0, REG_SZ, reinterpret_cast<const BYTE*>("127.0.0.1"), 10);
    RegCloseKey(key);
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
  }
  void TearDown() override {
    WSACleanup();
    rawudp::Close(raw_);
    wl::ResetRegistryForTesting();
    std::filesystem::remove_all(dir_);
  }

  SOCKET Bound(u_short number, int filter = -1) {
    SOCKET s = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
    EXPECT_NE(s, INVALID_SOCKET);
    SOCKADDR_IPX address{};
    address.sa_family = AF_IPX;
    std::memset(address.sa_netnum, 0xFF, 4);
    std::memset(address.sa_nodenum, 0xFF, 6);
    address.sa_socket = htons(number);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), 16), 0);
    if (filter >= 0) {
      EXPECT_EQ(setsockopt(s, NSPROTO_IPX, IPX_FILTERPTYPE, reinterpret_cast<char*>(&filter),
                           sizeof filter),
                0);
    }
    return s;
  }

  static SOCKADDR_IPX To(const char node[6], u_short number) {
    SOCKADDR_IPX address{};
    address.sa_family = AF_IPX;
    std::memcpy(address.sa_nodenum, node, 6);
    address.sa_socket = htons(number);
    return address;
  }

  static bool Readable(SOCKET s, long ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) == 1 && FD_ISSET(s, &set);
  }

  std::string dir_;
  int raw_ = -1;
  uint16_t rawPort_ = 0;
  uint16_t port_ = 0;
};

TEST_F(WinsockTest, ReceivesOnlyWellFormedDatagramsForItsSocketAndType) {
  SOCKET s = Bound(kSapSocket, 4);
  // Dropped: a short header, another checksum, a length beyond the datagram or
  // below the header, another socket number, another packet type.
  rawudp::Send(raw_, port_, Datagram("x").substr(0, 29));
  rawudp::Send(raw_, port_, Datagram("checksum", 4, kSapSocket, 0x0000));
  rawudp::Send(raw_, port_, Header(0xFFFF, 40, 4, kSapSocket) + "short");
  rawudp::Send(raw_, port_, Header(0xFFFF, 29, 4, kSapSocket) + "tiny");
  rawudp::Send(raw_, port_, Datagram("other socket", 4, 0x0453));
  rawudp::Send(raw_, port_, Datagram("other type", 0));
  rawudp::Send(raw_, port_,
               Header(0xFFFF, 35, 4, kSapSocket, std::string("\0\0\x7f\0\0\x09", 6)) + "node!");
  // Taken: the data up to the length field, without the header.
  rawudp::Send(raw_, port_, Datagram("hello") + "padding");
  ASSERT_TRUE(Readable(s, 2000));
  char buffer[64];
  SOCKADDR_IPX from{};
  int fromLength = sizeof from;
  ASSERT_EQ(recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
            5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(std::memcmp(from.sa_nodenum, "\0\0\x7f\0\0\x02", 6), 0);
  EXPECT_EQ(ntohs(from.sa_socket), 0x4001);
  EXPECT_FALSE(Readable(s, 50));

  // Without the filter every packet type comes through.
  ASSERT_EQ(setsockopt(s, NSPROTO_IPX, IPX_STOPFILTERPTYPE, nullptr, 0), 0);
  rawudp::Send(raw_, port_, Datagram("any type", 17));
  EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 8);

  // A datagram larger than the buffer fills it and fails as Winsock does.
  rawudp::Send(raw_, port_, Datagram(std::string(100, 'z')));
  EXPECT_EQ(recv(s, buffer, 10, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(std::string(buffer, 10), std::string(10, 'z'));
  EXPECT_EQ(closesocket(s), 0);
}

TEST_F(WinsockTest, SendsRfc1234Datagrams) {
  // Point the IPX port of this host at the plain socket to see the bytes.
  HKEY key;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\NwlnkIpx\\Parameters",
                    0, KEY_ALL_ACCESS, &key),
      ERROR_SUCCESS);
  const DWORD port = rawPort_, network = 0x0A0B0C0D;
  RegSetValueExA(key, "UdpPort", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port), 4);
  RegSetValueExA(key, "VirtualNetworkNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&network),
                 4);
  RegCloseKey(key);
  WSADATA data;
  WSACleanup();
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);

  SOCKET s = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX + 4);
  const SOCKADDR_IPX to = To("\0\0\x7f\0\0\x01", 0x9010);
  ASSERT_EQ(sendto(s, "trap", 4, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), 4);
  const std::string wire = rawudp::Receive(raw_, 2000);
  ASSERT_EQ(wire.size(), 34u);
  EXPECT_EQ(wire.substr(0, 6), std::string("\xFF\xFF\x00\x22\x00\x04", 6));
  EXPECT_EQ(wire.substr(6, 12), std::string("\0\0\0\0\0\0\x7f\0\0\x01\x90\x10", 12));
  EXPECT_EQ(wire.substr(18, 10), std::string("\x0A\x0B\x0C\x0D\0\0\x7f\0\0\x01", 10));
  EXPECT_EQ(wire.substr(30), "trap");
  // The implicit bind gave a dynamic socket number.
  SOCKADDR_IPX mine{};
  int length = sizeof mine;
  ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&mine), &length), 0);
  EXPECT_EQ(static_cast<uint8_t>(wire[28]) << 8 | static_cast<uint8_t>(wire[29]),
            ntohs(mine.sa_socket));

  // A node that is not an IPv4 host cannot be reached.
  const SOCKADDR_IPX foreign = To("\x02\x60\x8c\x11\x22\x33", 0x9010);
  EXPECT_EQ(sendto(s, "x", 1, 0, reinterpret_cast<const sockaddr*>(&foreign), sizeof foreign),
            SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
  closesocket(s);
}

TEST_F(WinsockTest, SocketToSocketInOneHost) {
  SOCKET receiver = Bound(0x9010, 4);
  SOCKET sender = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
  int type = 4;
  ASSERT_EQ(setsockopt(sender, NSPROTO_IPX, IPX_PTYPE, reinterpret_cast<char*>(&type), 4), 0);
  const SOCKADDR_IPX to = To("\0\0\x7f\0\0\x01", 0x9010);
  const std::string big(2000, 'b');
  ASSERT_EQ(sendto(sender, big.data(), 2000, 0, reinterpret_cast<const sockaddr*>(&to), 14), 2000);
  std::string buffer(2000, '\0');
  EXPECT_EQ(recv(receiver, buffer.data(), 2000, 0), 2000);
  EXPECT_EQ(buffer, big);
  closesocket(sender);
  closesocket(receiver);
}

TEST_F(WinsockTest, WinsockErrors) {
  EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
  EXPECT_EQ(socket(AF_IPX, SOCK_STREAM, NSPROTO_IPX), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
  EXPECT_EQ(socket(AF_IPX, SOCK_DGRAM, NSPROTO_SPX), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEPROTONOSUPPORT);
  EXPECT_EQ(closesocket(12345), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);

  SOCKET first = Bound(kSapSocket);
  SOCKET second = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
  SOCKADDR_IPX address{};
  address.sa_family = AF_IPX;
  address.sa_socket = htons(kSapSocket);
  EXPECT_EQ(bind(second, reinterpret_cast<sockaddr*>(&address), 8), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(bind(second, reinterpret_cast<sockaddr*>(&address), sizeof address), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
  char buffer[8];
  EXPECT_EQ(recv(second, buffer, sizeof buffer, 0), SOCKET_ERROR);  // never bound
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  int value = 4;
  EXPECT_EQ(setsockopt(first, NSPROTO_IPX, IPX_FILTERPTYPE, reinterpret_cast<char*>(&value), 2),
            SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(setsockopt(first, NSPROTO_IPX, 0x7777, reinterpret_cast<char*>(&value), 4),
            SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
  closesocket(first);
  closesocket(second);

  ASSERT_EQ(WSACleanup(), 0);
  EXPECT_EQ(socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  WSADATA data;
  EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), WSAVERNOTSUPPORTED);
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
}

TEST_F(WinsockTest, WaitsEndOnTimeoutAndOnClose) {
  SOCKET s = Bound(kSapSocket);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Readable(s, 300));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);

  int result = 0, error = 0;
  std::thread waiter([&] {
    char buffer[16];
    result = recv(s, buffer, sizeof buffer, 0);
    error = WSAGetLastError();
  });
  std::this_thread::sleep_for(100ms);
  const auto closing = std::chrono::steady_clock::now();
  EXPECT_EQ(closesocket(s), 0);
  waiter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - closing, 1s);
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(error, WSAEINTR);
}

}  // namespace
