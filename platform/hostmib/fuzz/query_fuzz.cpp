// Names from a manager reach the agent as arbitrary arc arrays: every request
// type over a small fixed MIB must answer without reading out of bounds, and
// a get-next answer must come after the name asked.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "family_cache.h"
#include "query.h"

namespace {

class Builder : public hostmib::FamilyBuilder {
 public:
  void Build(hostmib::Family family, hostmib::NodeData* nodes) override {
    using namespace hostmib;
    if (family == kHardwareFamily) {
      for (UINT i : {1u, 5u, 0xFFFFFFFEu}) {
        Row row;
        row.index[0] = i;
        row.cells = {IntegerCell(i), OidCell({1, 3, 6}), OctetCell("x")};
        nodes[kStorageTable].rows.push_back(row);
        row.index[1] = i;
        row.indexLength = 2;
        nodes[kPartitionTable].rows.push_back(row);
      }
      nodes[kDeviceTable].failed = true;
    } else if (family == kSystemFamily) {
      Row row;
      row.index[0] = 0;
      row.cells = {TimeTicksCell(1), FailedCell(), Cell(), Gauge32Cell(2)};
      nodes[kSystemScalars].rows.push_back(row);
    }
  }
};

bool After(const AsnObjectIdentifier& a, const std::vector<UINT>& b) {
  const std::vector<UINT> arcs(a.ids, a.ids + a.idLength);
  return arcs > b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Builder builder;
  static hostmib::FamilyCache cache(&builder, std::chrono::seconds(5));
  if (size < 1) return 0;
  const UINT types[] = {SNMP_EXTENSION_GET, SNMP_EXTENSION_GET_NEXT, SNMP_EXTENSION_SET_TEST,
                        SNMP_EXTENSION_SET_COMMIT, SNMP_EXTENSION_SET_CLEANUP, 0x42};
  const UINT type = types[data[0] % 6];
  // The rest: names of up to 40 arcs, each arc one byte (small numbers near
  // the MIB's) or, after 0xFF, four bytes.
  std::vector<std::vector<UINT>> names(1, std::vector<UINT>{1, 3, 6, 1, 2, 1, 25});
  for (size_t i = 1; i < size && names.size() < 8;) {
    const uint8_t b = data[i++];
    if (b == 0xFE) {
      names.emplace_back();
    } else if (b == 0xFF && i + 4 <= size) {
      UINT arc;
      std::memcpy(&arc, data + i, 4);
      i += 4;
      if (names.back().size() < 40) names.back().push_back(arc);
    } else if (names.back().size() < 40) {
      names.back().push_back(b % 12);
    }
  }
  SnmpVarBindList list{static_cast<SnmpVarBind*>(
                           SnmpUtilMemAlloc(static_cast<UINT>(names.size() * sizeof(SnmpVarBind)))),
                       static_cast<UINT>(names.size())};
  if (list.list == nullptr) return 0;
  for (size_t i = 0; i < names.size(); ++i) {
    AsnObjectIdentifier name{static_cast<UINT>(names[i].size()), names[i].data()};
    SnmpUtilOidCpy(&list.list[i].name, &name);
  }
  AsnInteger32 status = 0;
  AsnInteger32 index = 0;
  cache.BeginRequest(static_cast<uint32_t>(size));
  hostmib::Query(cache, type, &list, &status, &index);
  if (type == SNMP_EXTENSION_GET_NEXT && status == SNMP_ERRORSTATUS_NOERROR) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (!After(list.list[i].name, names[i]) && list.list[i].name.idLength != 7) __builtin_trap();
    }
  }
  SnmpUtilVarBindListFree(&list);
  return 0;
}
