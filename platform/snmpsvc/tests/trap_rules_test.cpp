// Trap destinations as the registry writes them, and the SNMPv2c form of a trap.
#include <gtest/gtest.h>

#include "trap_conversion.h"
#include "trap_destination.h"

namespace snmpsvc {
namespace {

TEST(TrapDestination, HostsPortsAndTheV2cMark) {
  TrapDestination destination;
  ASSERT_EQ(ParseTrapDestination("console.example.net", &destination), DestinationParse::kOk);
  EXPECT_EQ(destination.host, "console.example.net");
  EXPECT_EQ(destination.port, 162);
  EXPECT_FALSE(destination.v2c);
  EXPECT_EQ(PeerName(destination), "udp:console.example.net:162");

  ASSERT_EQ(ParseTrapDestination(" V2C:127.0.0.1:1162 ", &destination), DestinationParse::kOk);
  EXPECT_EQ(destination.host, "127.0.0.1");
  EXPECT_EQ(destination.port, 1162);
  EXPECT_TRUE(destination.v2c);

  ASSERT_EQ(ParseTrapDestination("[::1]:2000", &destination), DestinationParse::kOk);
  EXPECT_EQ(destination.host, "::1");
  EXPECT_EQ(PeerName(destination), "udp6:[::1]:2000");
  ASSERT_EQ(ParseTrapDestination("fe80::1", &destination), DestinationParse::kOk);
  EXPECT_EQ(destination.port, 162);
}

TEST(TrapDestination, IpxAndMalformedDestinationsAreRefused) {
  TrapDestination destination;
  destination.host = "unchanged";
  EXPECT_EQ(ParseTrapDestination("0000ABCD.00A0C9123456", &destination), DestinationParse::kIpx);
  EXPECT_EQ(ParseTrapDestination("v2c:0000abcd.00a0c9123456", &destination),
            DestinationParse::kIpx);
  // One hex digit short is no IPX address (and no host name either, but valid text).
  EXPECT_EQ(ParseTrapDestination("0000ABC.00A0C9123456", &destination), DestinationParse::kOk);
  EXPECT_EQ(ParseTrapDestination("", &destination), DestinationParse::kInvalid);
  EXPECT_EQ(ParseTrapDestination("v2c:", &destination), DestinationParse::kInvalid);
  EXPECT_EQ(ParseTrapDestination("host:0", &destination), DestinationParse::kInvalid);
  EXPECT_EQ(ParseTrapDestination("host:65536", &destination), DestinationParse::kInvalid);
  EXPECT_EQ(ParseTrapDestination("host:16x", &destination), DestinationParse::kInvalid);
  EXPECT_EQ(ParseTrapDestination("[::1", &destination), DestinationParse::kInvalid);
  EXPECT_EQ(ParseTrapDestination("[::1]x", &destination), DestinationParse::kInvalid);
  EXPECT_EQ(ParseTrapDestination("bad host", &destination), DestinationParse::kInvalid);
  EXPECT_EQ(ParseTrapDestination("host;rm", &destination), DestinationParse::kInvalid);
}

TEST(TrapConversion, EnterpriseSpecificTrapFollowsRfc3584) {
  TrapMessage trap;
  trap.enterprise = {1, 3, 6, 1, 4, 1, 64823, 2, 45, 0};
  trap.genericTrap = 6;
  trap.specificTrap = 17;
  trap.timeStamp = 12345;
  trap.bindings.push_back({{1, 3, 6, 1, 4, 1, 64823, 2, 45, 2, 3, 0}, Value::Integer(80)});
  std::vector<VarBind> v2 = ToV2Notification(trap, {10, 0, 0, 7}, "public");
  ASSERT_EQ(v2.size(), 6u);
  EXPECT_EQ(v2[0].name, (Oid{1, 3, 6, 1, 2, 1, 1, 3, 0}));
  EXPECT_EQ(v2[0].value.type, tag::kTimeTicks);
  EXPECT_EQ(v2[0].value.number, 12345u);
  EXPECT_EQ(v2[1].name, (Oid{1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0}));
  EXPECT_EQ(v2[1].value.oid, (Oid{1, 3, 6, 1, 4, 1, 64823, 2, 45, 0, 0, 17}));
  EXPECT_EQ(v2[2].name, trap.bindings[0].name);
  EXPECT_EQ(v2[3].value.type, tag::kIpAddress);
  EXPECT_EQ(v2[3].value.bytes, std::string("\x0a\x00\x00\x07", 4));
  EXPECT_EQ(v2[4].value.bytes, "public");
  EXPECT_EQ(v2[5].name, (Oid{1, 3, 6, 1, 6, 3, 1, 1, 4, 3, 0}));
  EXPECT_EQ(v2[5].value.oid, trap.enterprise);
}

TEST(TrapConversion, GenericTrapsUseSnmpTraps) {
  TrapMessage trap;
  trap.enterprise = {1, 3, 6, 1, 4, 1, 64823, 1};
  trap.genericTrap = 4;  // authenticationFailure
  EXPECT_EQ(NotificationOid(trap), (Oid{1, 3, 6, 1, 6, 3, 1, 1, 5, 5}));
  trap.genericTrap = 0;
  EXPECT_EQ(NotificationOid(trap), (Oid{1, 3, 6, 1, 6, 3, 1, 1, 5, 1}));
}

}  // namespace
}  // namespace snmpsvc
