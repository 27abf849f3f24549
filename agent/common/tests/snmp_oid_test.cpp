// Arc access on short or broken names, and name and value replacement on the
// global heap.
#include "agent/common/snmp_oid.h"

#include <gtest/gtest.h>

#include <cstring>

#include "win32/memory.h"

namespace wlsnmp {
namespace {

TEST(SnmpOid, ArcsBeyondTheNameOrWithoutAnArrayReadAsAbsent) {
  UINT arcs[] = {1, 3, 6};
  AsnObjectIdentifier name{3, arcs};
  EXPECT_EQ(oidArc(name, 1), 1u);
  EXPECT_EQ(oidArc(name, 3), 6u);
  EXPECT_EQ(oidArc(name, 4), 0u);
  EXPECT_EQ(oidArc(name, 0), 0u);
  AsnObjectIdentifier broken{5, nullptr};
  EXPECT_EQ(oidLength(broken), 0u);
  EXPECT_EQ(oidArc(broken, 1), 0u);

  const UINT prefix[] = {1, 3};
  const UINT longer[] = {1, 3, 6, 1};
  EXPECT_TRUE(oidHasPrefix(name, prefix, 2));
  EXPECT_FALSE(oidHasPrefix(name, longer, 4));
  EXPECT_FALSE(oidHasPrefix(broken, prefix, 2));
}

TEST(SnmpOid, ReplaceFreesTheOldArcsAndCopiesTheNew) {
  AsnObjectIdentifier name{2, static_cast<UINT*>(GlobalAlloc(GPTR, 2 * sizeof(UINT)))};
  const UINT arcs[] = {1, 3, 6, 1, 4};
  ASSERT_TRUE(replaceOidName(&name, arcs, 5));
  ASSERT_EQ(name.idLength, 5u);
  EXPECT_EQ(std::memcmp(name.ids, arcs, sizeof arcs), 0);
  EXPECT_NE(name.ids, arcs);
  freeOidName(&name);
  EXPECT_EQ(name.ids, nullptr);
  EXPECT_EQ(name.idLength, 0u);
}

TEST(SnmpOid, FillingAValueReleasesWhatTheOldOneOwned) {
  AsnAny value{};
  value.asnType = ASN_OCTETSTRING;
  value.asnValue.string.stream = static_cast<BYTE*>(GlobalAlloc(GPTR, 8));
  value.asnValue.string.length = 8;
  value.asnValue.string.dynamic = TRUE;
  setIntegerValue(&value, -7);  // leak-checked under the sanitizers
  EXPECT_EQ(value.asnType, ASN_INTEGER);
  EXPECT_EQ(value.asnValue.number, -7);

  static const char text[] = "Processor 0";
  setStaticOctetString(&value, text, 11);
  EXPECT_EQ(value.asnType, ASN_OCTETSTRING);
  EXPECT_FALSE(value.asnValue.string.dynamic);
  EXPECT_EQ(value.asnValue.string.length, 11u);
  freeValue(&value);  // must not free the static text
  EXPECT_EQ(value.asnType, ASN_NULL);
}

TEST(SnmpOid, OnlyNumericTypesGiveANumber) {
  AsnAny value{};
  LONG n = 0;
  value.asnType = ASN_GAUGE32;
  value.asnValue.gauge = 0xFFFFFFFFu;
  EXPECT_TRUE(integerOfValue(value, &n));
  EXPECT_EQ(n, -1);
  value.asnType = ASN_INTEGER;
  value.asnValue.number = 42;
  EXPECT_TRUE(integerOfValue(value, &n));
  EXPECT_EQ(n, 42);
  for (BYTE type :
       {ASN_OCTETSTRING, ASN_NULL, ASN_OBJECTIDENTIFIER, ASN_IPADDRESS, ASN_COUNTER64}) {
    value.asnType = type;
    EXPECT_FALSE(integerOfValue(value, &n)) << int(type);
  }
}

}  // namespace
}  // namespace wlsnmp
