// Our packets as an implementation that no one here wrote reads them: the SAP
// advertisement of wlipx and a trap of the SNMP service, caught on their UDP
// port, written to a capture file as IPX in UDP port 213 and decoded by
// tshark, which must find every field and nothing malformed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "agent/trend/tests/snmp_e2e_support.h"
#include "ipx_trap_sender.h"
#include "win32/registry.h"

namespace {

using trend::e2e::buildDir;
using trend::e2e::run;

// One datagram caught on 127.0.0.1:port, or "" after two seconds.
std::string Catch(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 2000) != 1) return "";
  char buffer[65536];
  const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}

void Put16(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v));
}

void PutLe32(std::ofstream& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.put(static_cast<char>(v >> (8 * i)));
}

// IPv4 (raw link type) and UDP from port 213 to port 213 around `payload`.
std::string Packet(const std::string& payload) {
  std::string ip;
  Put16(&ip, 0x4500);
  Put16(&ip, static_cast<uint16_t>(20 + 8 + payload.size()));
  Put16(&ip, 1);
  Put16(&ip, 0);
  Put16(&ip, 0x4011);  // TTL 64, UDP
  Put16(&ip, 0);       // checksum, below
  ip += std::string("\x7f\x00\x00\x01\x7f\x00\x00\x02", 8);
  uint32_t sum = 0;
  for (size_t i = 0; i < 20; i += 2) {
    sum += static_cast<uint8_t>(ip[i]) << 8 | static_cast<uint8_t>(ip[i + 1]);
  }
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  ip[10] = static_cast<char>(~sum >> 8);
  ip[11] = static_cast<char>(~sum);
  std::string udp;
  Put16(&udp, 213);
  Put16(&udp, 213);
  Put16(&udp, static_cast<uint16_t>(8 + payload.size()));
  Put16(&udp, 0);  // no checksum
  return ip + udp + payload;
}

void WriteCapture(const std::string& path, const std::vector<std::string>& payloads) {
  std::ofstream out(path, std::ios::binary);
  PutLe32(out, 0xA1B2C3D4);
  out.put(2).put(0).put(4).put(0);  // version 2.4
  PutLe32(out, 0);
  PutLe32(out, 0);
  PutLe32(out, 65535);
  PutLe32(out, 101);  // raw IP
  uint32_t second = 1700000000;
  for (const std::string& payload : payloads) {
    const std::string packet = Packet(payload);
    PutLe32(out, second++);
    PutLe32(out, 0);
    PutLe32(out, static_cast<uint32_t>(packet.size()));
    PutLe32(out, static_cast<uint32_t>(packet.size()));
    out << packet;
  }
}

TEST(WireFormat, TsharkDecodesOurAdvertisementsAndTraps) {
  if (access("/usr/bin/tshark", X_OK) != 0) GTEST_SKIP() << "tshark is not installed";
  char pattern[] = "/tmp/wl-wire-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  setenv("WARDENLINE_REGISTRY", (dir + "/registry.db").c_str(), 1);

  // The "console's" UDP port, on 127.0.0.1.
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string port = std::to_string(ntohs(address.sin_port));

  run("'" + buildDir() + "/bin/wlipx' advertise --bind 127.0.0.2 --to 127.0.0.1 --port " + port);
  const std::string advertisement = Catch(fd);
  ASSERT_EQ(advertisement.size(), 30u + 66u);

  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Services\\NwlnkIpx\\Parameters", 0, nullptr,
                            0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD udpPort = ntohs(address.sin_port);
  RegSetValueExA(key, "UdpPort", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&udpPort), 4);
  RegSetValueExA(key, "BindAddress", 0, REG_SZ, reinterpret_cast<const BYTE*>("127.0.0.2"), 10);
  RegCloseKey(key);
  snmpsvc::TrapMessage trap;
  trap.enterprise = {1, 3, 6, 1, 4, 1, 64823, 2, 45, 0};
  trap.genericTrap = 6;
  trap.specificTrap = 8;
  trap.timeStamp = 329;
  trap.bindings.push_back(
      {{1, 3, 6, 1, 4, 1, 64823, 2, 45, 2, 1, 0}, snmpsvc::Value::Octets("VM")});
  trap.bindings.push_back({{1, 3, 6, 1, 4, 1, 64823, 2, 45, 2, 4, 0}, snmpsvc::Value::Integer(5)});
  std::string trapDatagram, notificationDatagram;
  {
    snmpsvc::IpxTrapSender sender;
    ASSERT_TRUE(sender.Send("0000000A.00007F000001", "public", {trap}));
    trapDatagram = Catch(fd);
    ASSERT_TRUE(sender.Send("v2c:0000000A.00007F000001", "public", {trap}));
    notificationDatagram = Catch(fd);
  }
  close(fd);
  ASSERT_FALSE(trapDatagram.empty());
  ASSERT_FALSE(notificationDatagram.empty());

  const std::string capture = dir + "/ipx.pcap";
  WriteCapture(capture, {advertisement, trapDatagram, notificationDatagram});
  const std::string decoded = run("/usr/bin/tshark -r '" + capture + "' -V");
  std::filesystem::remove_all(dir);

  EXPECT_EQ(decoded.find("Malformed"), std::string::npos) << decoded;
  EXPECT_EQ(decoded.find("Expert Info (Error"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("Internetwork Packet eXchange"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("Service Advertisement Protocol"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("00007F00000200000000"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("Simple Network Management Protocol"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("trap"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("snmpV2-trap"), std::string::npos) << decoded;
}

}  // namespace
