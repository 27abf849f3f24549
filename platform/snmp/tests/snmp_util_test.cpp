// SnmpUtil helpers: copies are deep and come from the global heap, frees
// release only what the value owns, comparisons follow OID order.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "snmp/snmp.h"
#include "win32/memory.h"

namespace {

AsnObjectIdentifier MakeOid(std::vector<UINT>& arcs) {
  return AsnObjectIdentifier{static_cast<UINT>(arcs.size()), arcs.data()};
}

TEST(SnmpUtilOid, CompareFollowsLexicographicOrderAndLength) {
  std::vector<UINT> a{1, 3, 6, 1}, b{1, 3, 6, 1, 0}, c{1, 3, 7}, d{1, 3, 6, 1};
  AsnObjectIdentifier oa = MakeOid(a), ob = MakeOid(b), oc = MakeOid(c), od = MakeOid(d);
  EXPECT_LT(SnmpUtilOidCmp(&oa, &ob), 0);
  EXPECT_GT(SnmpUtilOidCmp(&ob, &oa), 0);
  EXPECT_LT(SnmpUtilOidCmp(&ob, &oc), 0);
  EXPECT_EQ(SnmpUtilOidCmp(&oa, &od), 0);
  // Only the first n arcs count.
  EXPECT_EQ(SnmpUtilOidNCmp(&oa, &ob, 4), 0);
  EXPECT_LT(SnmpUtilOidNCmp(&oa, &oc, 3), 0);
  EXPECT_EQ(SnmpUtilOidNCmp(&oa, &oc, 2), 0);
  // Arcs above 2^31 compare unsigned.
  std::vector<UINT> big{0x80000000u}, small{1};
  AsnObjectIdentifier obig = MakeOid(big), osmall = MakeOid(small);
  EXPECT_GT(SnmpUtilOidCmp(&obig, &osmall), 0);
}

TEST(SnmpUtilOid, CopyAppendAndFree) {
  std::vector<UINT> prefix{1, 3, 6}, suffix{1, 4, 1};
  AsnObjectIdentifier source = MakeOid(prefix), tail = MakeOid(suffix);
  AsnObjectIdentifier copy;
  ASSERT_EQ(SnmpUtilOidCpy(&copy, &source), SNMPAPI_NOERROR);
  ASSERT_NE(copy.ids, prefix.data());
  prefix[0] = 99;  // the copy does not share arcs
  ASSERT_EQ(SnmpUtilOidAppend(&copy, &tail), SNMPAPI_NOERROR);
  ASSERT_EQ(copy.idLength, 6u);
  EXPECT_EQ(std::vector<UINT>(copy.ids, copy.ids + 6), (std::vector<UINT>{1, 3, 6, 1, 4, 1}));
  // Appending an identifier to itself doubles it.
  ASSERT_EQ(SnmpUtilOidAppend(&copy, &copy), SNMPAPI_NOERROR);
  EXPECT_EQ(copy.idLength, 12u);
  EXPECT_EQ(copy.ids[6], 1u);
  SnmpUtilOidFree(&copy);
  EXPECT_EQ(copy.ids, nullptr);
  EXPECT_EQ(copy.idLength, 0u);

  AsnObjectIdentifier empty{0, nullptr};
  ASSERT_EQ(SnmpUtilOidCpy(&copy, &empty), SNMPAPI_NOERROR);
  EXPECT_EQ(copy.ids, nullptr);
}

TEST(SnmpUtilOid, AppendRefusesIdentifiersPastTheSmiLimit) {
  std::vector<UINT> arcs(100, 7);
  AsnObjectIdentifier source = MakeOid(arcs);
  AsnObjectIdentifier grown;
  ASSERT_EQ(SnmpUtilOidCpy(&grown, &source), SNMPAPI_NOERROR);
  EXPECT_EQ(SnmpUtilOidAppend(&grown, &source), SNMPAPI_ERROR);
  EXPECT_EQ(grown.idLength, 100u);  // unchanged on failure
  SnmpUtilOidFree(&grown);
}

TEST(SnmpUtilVarBind, CopyIsDeepAndFreeHonoursTheDynamicFlag) {
  std::vector<UINT> arcs{1, 3, 6, 1, 2, 1, 1, 5, 0};
  BYTE text[] = {'h', 'o', 's', 't'};
  SnmpVarBind source;
  source.name = MakeOid(arcs);
  source.value.asnType = ASN_OCTETSTRING;
  source.value.asnValue.string = AsnOctetString{text, 4, FALSE};

  SnmpVarBind copy;
  ASSERT_EQ(SnmpUtilVarBindCpy(&copy, &source), SNMPAPI_NOERROR);
  EXPECT_EQ(SnmpUtilOidCmp(&copy.name, &source.name), 0);
  EXPECT_NE(copy.value.asnValue.string.stream, text);
  EXPECT_TRUE(copy.value.asnValue.string.dynamic);
  EXPECT_EQ(memcmp(copy.value.asnValue.string.stream, text, 4), 0);
  SnmpUtilVarBindFree(&copy);
  EXPECT_EQ(copy.name.ids, nullptr);
  EXPECT_EQ(copy.value.asnType, ASN_NULL);

  // A static string is left alone by the free.
  SnmpVarBind borrowed;
  borrowed.name.idLength = 0;
  borrowed.name.ids = nullptr;
  borrowed.value.asnType = ASN_OCTETSTRING;
  borrowed.value.asnValue.string = AsnOctetString{text, 4, FALSE};
  SnmpUtilVarBindFree(&borrowed);
  EXPECT_EQ(text[0], 'h');
}

TEST(SnmpUtilVarBind, ListCopyAndFreeCoverEveryEntry) {
  std::vector<UINT> arcs{1, 3, 6, 1, 4, 1, 99, 1};
  SnmpVarBind entries[2];
  entries[0].name = MakeOid(arcs);
  entries[0].value.asnType = ASN_INTEGER;
  entries[0].value.asnValue.number = -7;
  entries[1].name = MakeOid(arcs);
  entries[1].value.asnType = ASN_OBJECTIDENTIFIER;
  entries[1].value.asnValue.object = MakeOid(arcs);
  SnmpVarBindList source{entries, 2};
  SnmpVarBindList copy;
  ASSERT_EQ(SnmpUtilVarBindListCpy(&copy, &source), SNMPAPI_NOERROR);
  ASSERT_EQ(copy.len, 2u);
  EXPECT_EQ(copy.list[0].value.asnValue.number, -7);
  EXPECT_NE(copy.list[1].value.asnValue.object.ids, arcs.data());
  EXPECT_EQ(SnmpUtilOidCmp(&copy.list[1].value.asnValue.object, &entries[1].name), 0);
  SnmpUtilVarBindListFree(&copy);
  EXPECT_EQ(copy.list, nullptr);
  EXPECT_EQ(copy.len, 0u);
}

TEST(SnmpUtilMem, AllocIsZeroedAndReallocKeepsContents) {
  auto* bytes = static_cast<BYTE*>(SnmpUtilMemAlloc(16));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], 0);
  bytes[15] = 42;
  bytes = static_cast<BYTE*>(SnmpUtilMemReAlloc(bytes, 4096));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[15], 42);
  SnmpUtilMemFree(bytes);
  SnmpUtilMemFree(nullptr);
}

}  // namespace
