#include "trap_conversion.h"

namespace snmpsvc {

namespace {
const Oid kSysUpTime{1, 3, 6, 1, 2, 1, 1, 3, 0};
const Oid kSnmpTrapOid{1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
const Oid kSnmpTraps{1, 3, 6, 1, 6, 3, 1, 1, 5};
const Oid kSnmpTrapAddress{1, 3, 6, 1, 6, 3, 18, 1, 3, 0};
const Oid kSnmpTrapCommunity{1, 3, 6, 1, 6, 3, 18, 1, 4, 0};
const Oid kSnmpTrapEnterprise{1, 3, 6, 1, 6, 3, 1, 1, 4, 3, 0};
constexpr int32_t kEnterpriseSpecific = 6;
}  // namespace

Oid NotificationOid(const TrapMessage& trap) {
  if (trap.genericTrap >= 0 && trap.genericTrap < kEnterpriseSpecific) {
    Oid oid = kSnmpTraps;
    oid.push_back(static_cast<uint32_t>(trap.genericTrap) + 1);
    return oid;
  }
  Oid oid = trap.enterprise;
  oid.push_back(0);
  oid.push_back(static_cast<uint32_t>(trap.specificTrap));
  return oid;
}

std::vector<VarBind> ToV2Notification(const TrapMessage& trap,
                                      const std::array<uint8_t, 4>& agentAddress,
                                      const std::string& community) {
  std::vector<VarBind> bindings;
  bindings.push_back({kSysUpTime, Value::Unsigned(tag::kTimeTicks, trap.timeStamp)});
  bindings.push_back({kSnmpTrapOid, Value::ObjectId(NotificationOid(trap))});
  for (const VarBind& binding : trap.bindings) {
    // Counter64 cannot travel in a v1 trap but can in v2c: keep everything.
    bindings.push_back(binding);
  }
  bindings.push_back(
      {kSnmpTrapAddress,
       Value::Octets(std::string(agentAddress.begin(), agentAddress.end()), tag::kIpAddress)});
  bindings.push_back({kSnmpTrapCommunity, Value::Octets(community)});
  bindings.push_back({kSnmpTrapEnterprise, Value::ObjectId(trap.enterprise)});
  return bindings;
}

}  // namespace snmpsvc
