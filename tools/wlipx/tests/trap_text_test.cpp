// The trap decoder: a whole SNMPv1 trap, and cut or malformed messages that
// are refused without reading past their end.
#include "trap_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kTrap(
    "\x30\x3c"                                  // message
    "\x02\x01\x00"                              // version 1
    "\x04\x06public"                            // community
    "\xa4\x2f"                                  // Trap-PDU
    "\x06\x08\x2b\x06\x01\x04\x01\x83\xfa\x37"  // 1.3.6.1.4.1.64823
    "\x40\x04\x00\x00\x00\x00"                  // agent-addr 0.0.0.0
    "\x02\x01\x06\x02\x01\x02\x43\x02\x30\x39"  // 6, 2, 12345
    "\x30\x13\x30\x11"                          // one binding
    "\x06\x0a\x2b\x06\x01\x04\x01\x83\xfa\x37\x02\x2d"
    "\x02\x03\xff\x00\x01",  // INTEGER -65535
    62);

std::string Describe(const std::string& bytes) {
  std::string text;
  wlipx::DescribeTrap(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &text);
  return text;
}

TEST(TrapText, DecodesAnSnmpV1Trap) {
  EXPECT_EQ(Describe(kTrap),
            "SNMPv1 trap, community \"public\", enterprise 1.3.6.1.4.1.64823, agent-addr 0.0.0.0, "
            "generic 6, specific 2, time stamp 12345\n"
            "  1.3.6.1.4.1.64823.2.45 = INTEGER -65535\n");
}

TEST(TrapText, RefusesCutAndMalformedMessages) {
  std::string text;
  for (size_t size = 0; size < kTrap.size(); ++size) {
    const std::string cut = kTrap.substr(0, size);
    EXPECT_FALSE(
        wlipx::DescribeTrap(reinterpret_cast<const uint8_t*>(cut.data()), cut.size(), &text))
        << size;
  }
  std::string longLength = kTrap;
  longLength[1] = '\x85';  // five length bytes
  EXPECT_FALSE(wlipx::DescribeTrap(reinterpret_cast<const uint8_t*>(longLength.data()),
                                   longLength.size(), &text));
  std::string getRequest = kTrap;
  getRequest[13] = '\xa0';
  EXPECT_EQ(Describe(getRequest), "not a trap");
}

}  // namespace

// The traps the SNMP service sends over IPX, read back by the decoder.
#include "ipx_trap_sender.h"
#include "trap_conversion.h"
#include "trap_encoding.h"

namespace {

TEST(TrapText, ReadsWhatTheServiceEncodes) {
  snmpsvc::TrapMessage trap;
  trap.enterprise = {1, 3, 6, 1, 4, 1, 64823, 2, 45};
  trap.genericTrap = 6;
  trap.specificTrap = 3;
  trap.timeStamp = 4294967295u;
  trap.bindings.push_back({{1, 3, 6, 1, 4, 1, 64823, 2, 45, 3, 0},
                           snmpsvc::Value::Octets(std::string(200, 'x'))});
  trap.bindings.push_back({{1, 3, 6, 1, 2, 1, 1, 3, 0}, snmpsvc::Value::Integer(-129)});
  trap.bindings.push_back(
      {{1, 3, 6, 1, 2, 1, 1, 4, 0}, snmpsvc::Value::Unsigned(snmpsvc::tag::kCounter64, 1)});
  const std::string v1 = snmpsvc::EncodeV1Trap(trap, "public", {0, 0, 0, 0});
  EXPECT_EQ(Describe(v1),
            "SNMPv1 trap, community \"public\", enterprise 1.3.6.1.4.1.64823.2.45, agent-addr "
            "0.0.0.0, generic 6, specific 3, time stamp 4294967295\n"
            "  1.3.6.1.4.1.64823.2.45.3.0 = STRING \"" +
                std::string(200, 'x') +
                "\"\n"
                "  1.3.6.1.2.1.1.3.0 = INTEGER -129\n");
  const std::string v2 = snmpsvc::EncodeV2Trap(
      snmpsvc::ToV2Notification(trap, {0, 0, 0, 0}, "public"), "public", 7);
  const std::string text = Describe(v2);
  EXPECT_EQ(text.rfind("SNMPv2c notification, community \"public\"\n", 0), 0u) << text;
  EXPECT_NE(text.find("1.3.6.1.6.3.1.1.4.1.0 = OID 1.3.6.1.4.1.64823.2.45.0.3"), std::string::npos);
  EXPECT_NE(text.find("1.3.6.1.2.1.1.4.0 = Counter64 1"), std::string::npos);

  uint8_t network[4], node[6];
  bool v2c = false;
  EXPECT_TRUE(snmpsvc::ParseIpxDestination(" v2c:0000000a.00007F000002 ", network, node, &v2c));
  EXPECT_TRUE(v2c);
  EXPECT_EQ(network[3], 0x0A);
  EXPECT_EQ(node[5], 0x02);
  EXPECT_FALSE(snmpsvc::ParseIpxDestination("0000000G.00007F000002", network, node, &v2c));
  EXPECT_FALSE(snmpsvc::ParseIpxDestination("0000000A.00007F00000", network, node, &v2c));
}

}  // namespace
