// The agent's MIB without the library: the tree's get and get-next over fake
// rows, failed tables, the family cache's refresh policy, the query entry with
// its sets, and the wire forms of the values.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "family_cache.h"
#include "mib_cells.h"
#include "mib_tree.h"
#include "query.h"

namespace hostmib {
namespace {

using Oid = std::vector<UINT>;

Oid Under(std::initializer_list<UINT> tail) {
  Oid name = kViewPrefix;
  name.insert(name.end(), tail);
  return name;
}

Row MakeRow(std::initializer_list<UINT> index, std::vector<Cell> cells) {
  Row row;
  row.indexLength = 0;
  for (UINT arc : index) row.index[row.indexLength++] = arc;
  row.cells = std::move(cells);
  return row;
}

// Rows of every family, with the build number in the values; failures on demand.
class FakeBuilder : public FamilyBuilder {
 public:
  void Build(Family family, NodeData* nodes) override {
    const DWORD build = ++builds[family];
    if (family == kSystemFamily) {
      nodes[kSystemScalars].rows.push_back(MakeRow({0}, {TimeTicksCell(build)}));
    } else if (family == kHardwareFamily) {
      // Out of order on purpose: the cache sorts.
      nodes[kStorageTable].rows.push_back(
          MakeRow({7}, {IntegerCell(7), OidCell(Under({2, 1, 4})), OctetCell("/home")}));
      nodes[kStorageTable].rows.push_back(
          MakeRow({2}, {IntegerCell(2), OidCell(Under({2, 1, 2})), OctetCell("RAM")}));
      nodes[kStorageScalars].rows.push_back(MakeRow({0}, {Cell(), IntegerCell(build)}));
      nodes[kPartitionTable].rows.push_back(MakeRow({5, 2}, {IntegerCell(2)}));
      nodes[kPartitionTable].rows.push_back(MakeRow({5, 1}, {IntegerCell(1)}));
      if (failDevices) nodes[kDeviceTable].failed = true;
    } else {
      for (DWORD pid : {40u, 3u, 1000u}) {
        nodes[kSWRunPerfTable].rows.push_back(
            MakeRow({pid}, {IntegerCell(build), IntegerCell(pid)}));
      }
    }
  }
  DWORD builds[kFamilyCount] = {};
  bool failDevices = false;
};

struct Fixture {
  FakeBuilder builder;
  std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
  FamilyCache cache{&builder, std::chrono::seconds(5), [this] { return now; }};
};

// Walks the whole view with get-next within one request; names and cells.
std::vector<std::pair<Oid, Cell>> Walk(NodeSource& source, Answer* end) {
  std::vector<std::pair<Oid, Cell>> seen;
  Oid name = kViewPrefix;
  for (int guard = 0; guard < 1000; ++guard) {
    Oid next;
    const Cell* cell = nullptr;
    *end = GetNext(source, name.data(), name.size(), &next, &cell);
    if (*end != Answer::kValue) break;
    seen.emplace_back(next, *cell);
    name = next;
  }
  return seen;
}

TEST(MibTree, WalkIsOrderedAndComplete) {
  Fixture f;
  Answer end;
  const auto seen = Walk(f.cache, &end);
  EXPECT_EQ(end, Answer::kEndOfView);
  std::vector<Oid> names;
  for (const auto& item : seen) names.push_back(item.first);
  const std::vector<Oid> expected = {
      Under({1, 1, 0}),          Under({2, 2, 0}),       Under({2, 3, 1, 1, 2}),
      Under({2, 3, 1, 1, 7}),    Under({2, 3, 1, 2, 2}), Under({2, 3, 1, 2, 7}),
      Under({2, 3, 1, 3, 2}),    Under({2, 3, 1, 3, 7}), Under({3, 7, 1, 1, 5, 1}),
      Under({3, 7, 1, 1, 5, 2}), Under({5, 1, 1, 1, 3}), Under({5, 1, 1, 1, 40}),
      Under({5, 1, 1, 1, 1000}), Under({5, 1, 1, 2, 3}), Under({5, 1, 1, 2, 40}),
      Under({5, 1, 1, 2, 1000}),
  };
  EXPECT_EQ(names, expected);
  EXPECT_EQ(seen[2].second.type, ASN_INTEGER);
  EXPECT_EQ(seen[6].second.bytes, "RAM");
}

TEST(MibTree, GetNextFromOddNamesAndGet) {
  Fixture f;
  Oid next;
  const Cell* cell = nullptr;
  struct Case {
    Oid from;
    Oid to;
  };
  const std::vector<Case> cases = {
      {{1, 3, 6}, Under({1, 1, 0})},                        // before the view
      {Under({2, 1, 4}), Under({2, 2, 0})},                 // inside hrStorageTypes
      {Under({2, 2, 0, 9}), Under({2, 3, 1, 1, 2})},        // past the scalar
      {Under({2, 3}), Under({2, 3, 1, 1, 2})},              // the table's own name
      {Under({2, 3, 1, 0, 99}), Under({2, 3, 1, 1, 2})},    // column 0
      {Under({2, 3, 1, 1, 2, 0}), Under({2, 3, 1, 1, 7})},  // below an instance
      {Under({2, 3, 1, 1, 0xFFFFFFFF}), Under({2, 3, 1, 2, 2})},
      {Under({2, 3, 1, 3, 7}), Under({3, 7, 1, 1, 5, 1})},  // the table's last
      {Under({3, 7, 1, 1, 5}), Under({3, 7, 1, 1, 5, 1})},  // half a two-arc index
  };
  for (const Case& c : cases) {
    ASSERT_EQ(GetNext(f.cache, c.from.data(), c.from.size(), &next, &cell), Answer::kValue);
    EXPECT_EQ(next, c.to);
  }
  const Oid last = Under({5, 1, 1, 2, 1000});
  EXPECT_EQ(GetNext(f.cache, last.data(), last.size(), &next, &cell), Answer::kEndOfView);
  EXPECT_EQ(GetNext(f.cache, kPastView.data(), kPastView.size(), &next, &cell), Answer::kEndOfView);

  const Oid exact = Under({2, 3, 1, 3, 7});
  ASSERT_EQ(Get(f.cache, exact.data(), exact.size(), &cell), Answer::kValue);
  EXPECT_EQ(cell->bytes, "/home");
  for (const Oid& missing :
       {Under({2, 3, 1, 3, 8}), Under({2, 3, 1, 3, 7, 0}), Under({2, 3, 1, 3}),
        Under({2, 3, 1, 8, 7}), Under({2, 2, 1}), Under({2, 1, 0}), Under({1, 2, 0}), Oid{1, 3}}) {
    EXPECT_EQ(Get(f.cache, missing.data(), missing.size(), &cell), Answer::kNoSuchName);
  }
  EXPECT_EQ(Get(f.cache, nullptr, 0, &cell), Answer::kNoSuchName);
}

TEST(MibTree, FailedTableAnswersGenErrAloneAndDuplicatesGo) {
  Fixture f;
  f.builder.failDevices = true;
  Oid next;
  const Cell* cell = nullptr;
  const Oid device = Under({3, 2, 1, 1, 1});
  EXPECT_EQ(Get(f.cache, device.data(), device.size(), &cell), Answer::kGenErr);
  // A walk that reaches the device table stops there; the tables after it
  // still answer.
  const Oid storageLast = Under({2, 3, 1, 3, 7});
  EXPECT_EQ(GetNext(f.cache, storageLast.data(), storageLast.size(), &next, &cell),
            Answer::kGenErr);
  const Oid partition = Under({3, 7});
  EXPECT_EQ(GetNext(f.cache, partition.data(), partition.size(), &next, &cell), Answer::kValue);
  const Oid storage = Under({2, 3, 1, 1, 2});
  EXPECT_EQ(Get(f.cache, storage.data(), storage.size(), &cell), Answer::kValue);

  std::vector<Row> rows = {MakeRow({4}, {}), MakeRow({2}, {}), MakeRow({4}, {IntegerCell(1)})};
  SortRows(rows);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].index[0], 4u);
  EXPECT_TRUE(rows[1].cells.empty()) << "the first of two equal indexes stays";
}

TEST(FamilyCache, OneBuildPerRequestAndAgePolicy) {
  Fixture f;
  const Oid perf = Under({5, 1, 1, 1, 3});
  const Oid uptime = Under({1, 1, 0});
  const Cell* cell = nullptr;
  auto read = [&](const Oid& name) {
    EXPECT_EQ(Get(f.cache, name.data(), name.size(), &cell), Answer::kValue);
    return cell->number;
  };
  f.cache.BeginRequest(1);
  EXPECT_EQ(read(perf), 1u);
  // Within one request nothing is rebuilt, however long it takes.
  f.now += std::chrono::seconds(60);
  Answer end;
  for (const auto& item : Walk(f.cache, &end)) {
    if (item.first.size() == perf.size() && item.first[7] == 5 && item.first[10] == 1) {
      EXPECT_EQ(item.second.number, 1u);
    }
  }
  EXPECT_EQ(f.cache.Builds(kSoftwareFamily), 1u);
  EXPECT_EQ(f.cache.Builds(kSystemFamily), 1u);
  // The next request finds the rows old: one rebuild; a request within the
  // age keeps them; the system group is read again for every request.
  f.cache.BeginRequest(2);
  EXPECT_EQ(read(perf), 2u);
  EXPECT_EQ(read(perf), 2u);
  f.now += std::chrono::seconds(4);
  f.cache.BeginRequest(3);
  EXPECT_EQ(read(perf), 2u);
  EXPECT_EQ(read(uptime), 2u);  // the second request that asked
  f.now += std::chrono::seconds(1);
  f.cache.BeginRequest(4);
  EXPECT_EQ(read(perf), 3u);
  EXPECT_EQ(f.cache.Builds(kHardwareFamily), 1u) << "a family nobody asked for is not built";
}

// A binding list as the service hands it over.
struct Bindings {
  explicit Bindings(const std::vector<Oid>& names) {
    list.len = static_cast<UINT>(names.size());
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(list.len * sizeof(SnmpVarBind)));
    for (UINT i = 0; i < list.len; ++i) {
      AsnObjectIdentifier name{static_cast<UINT>(names[i].size()),
                               const_cast<UINT*>(names[i].data())};
      SnmpUtilOidCpy(&list.list[i].name, &name);
      list.list[i].value.asnType = ASN_INTEGER;
    }
  }
  ~Bindings() { SnmpUtilVarBindListFree(&list); }
  Oid Name(UINT i) const {
    return Oid(list.list[i].name.ids, list.list[i].name.ids + list.list[i].name.idLength);
  }
  SnmpVarBindList list{};
};

TEST(Query, AnswersAndRefusesSets) {
  Fixture f;
  AsnInteger32 status = -1;
  AsnInteger32 index = -1;
  Bindings next({Under({2, 3, 1, 2, 7}), Under({5, 1, 1, 2, 1000}), Under({2, 3, 1, 3})});
  ASSERT_TRUE(Query(f.cache, SNMP_EXTENSION_GET_NEXT, &next.list, &status, &index));
  EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(next.Name(0), Under({2, 3, 1, 3, 2}));
  EXPECT_EQ(next.list.list[0].value.asnType, ASN_OCTETSTRING);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(next.list.list[0].value.asnValue.string.stream),
                        next.list.list[0].value.asnValue.string.length),
            "RAM");
  EXPECT_EQ(next.Name(1), kPastView);
  EXPECT_EQ(next.list.list[1].value.asnType, ASN_NULL);
  Bindings types({Under({2, 3, 1, 2, 2})});
  ASSERT_TRUE(Query(f.cache, SNMP_EXTENSION_GET, &types.list, &status, &index));
  ASSERT_EQ(types.list.list[0].value.asnType, ASN_OBJECTIDENTIFIER);
  const AsnObjectIdentifier& type = types.list.list[0].value.asnValue.object;
  EXPECT_EQ(Oid(type.ids, type.ids + type.idLength), Under({2, 1, 2}));

  Bindings get({Under({2, 3, 1, 1, 2}), Under({2, 3, 1, 1, 3})});
  ASSERT_TRUE(Query(f.cache, SNMP_EXTENSION_GET, &get.list, &status, &index));
  EXPECT_EQ(status, SNMP_ERRORSTATUS_NOSUCHNAME);
  EXPECT_EQ(index, 2);

  for (UINT type : {UINT(SNMP_EXTENSION_SET_TEST), UINT(SNMP_EXTENSION_SET_COMMIT)}) {
    Bindings set({Under({2, 3, 1, 1, 2}), Under({2, 3, 1, 1, 9})});
    ASSERT_TRUE(Query(f.cache, type, &set.list, &status, &index));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_READONLY);
    EXPECT_EQ(index, 1);
    Bindings missing({Under({2, 3, 1, 1, 9})});
    ASSERT_TRUE(Query(f.cache, type, &missing.list, &status, &index));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOSUCHNAME);
  }
  ASSERT_TRUE(Query(f.cache, SNMP_EXTENSION_SET_CLEANUP, &get.list, &status, &index));
  EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
  ASSERT_TRUE(Query(f.cache, 0x42, &get.list, &status, &index));
  EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
  SnmpVarBindList broken{nullptr, 3};
  ASSERT_TRUE(Query(f.cache, SNMP_EXTENSION_GET, &broken, &status, &index));
  EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
}

TEST(Cells, DateAndTimeTextAndIdentifiers) {
  SYSTEMTIME t{2026, 3, 0, 29, 1, 30, 59, 950};
  TIME_ZONE_INFORMATION zone{};
  zone.Bias = -60;  // UTC+1
  zone.DaylightBias = -60;
  EXPECT_EQ(DateAndTime(t, ZoneOffsetMinutes(zone, 2)),
            std::string("\x07\xEA\x03\x1D\x01\x1E\x3B\x09+\x02\x00", 11));
  EXPECT_EQ(ZoneOffsetMinutes(zone, 1), 60);
  zone.Bias = 330;  // UTC-5:30
  EXPECT_EQ(DateAndTime(t, ZoneOffsetMinutes(zone, 0)).substr(8), std::string("-\x05\x1E", 3));
  EXPECT_EQ(DateAndTime(t, 14 * 60).size(), 8u) << "no zone is 14 hours away";
  const std::string unknown("\x00\x00\x01\x01\x00\x00\x00\x00", 8);
  EXPECT_EQ(DateAndTime(SYSTEMTIME{}, 0), unknown);
  EXPECT_EQ(DateAndTime(SYSTEMTIME{2026, 13, 0, 1, 0, 0, 0, 0}, 0), unknown);

  // Cut at the limit without splitting a character; lone surrogates replaced.
  const std::u16string text = u"ab\u00e9\u20ac\U0001F600";
  EXPECT_EQ(Utf8Cut(text.data(), text.size(), 64), "ab\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8Cut(text.data(), text.size(), 4), "ab\xC3\xA9");
  EXPECT_EQ(Utf8Cut(text.data(), text.size(), 8), "ab\xC3\xA9\xE2\x82\xAC");
  const std::u16string broken = {u'a', 0xD800, u'b', 0xDC00};
  EXPECT_EQ(Utf8Cut(broken.data(), broken.size(), 64),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(Utf8Cut(u"x\0y", 3, 64), "x");
  EXPECT_EQ(Utf8Cut(nullptr, 5, 64), "");

  const DWORD ids[20] = {1, 3, 6, 1, 4};
  EXPECT_EQ(ProductId(5, ids), (Oid{1, 3, 6, 1, 4}));
  EXPECT_EQ(ProductId(0, ids), (Oid{0, 0}));
  EXPECT_EQ(ProductId(1, ids), (Oid{0, 0}));
  EXPECT_EQ(ProductId(21, ids), (Oid{0, 0}));
  EXPECT_EQ(IntegerCell(uint64_t{5000000000}).number, 2147483647u);
}

}  // namespace
}  // namespace hostmib
