// Test extension agent with the view 1.3.6.1.4.1.64823.99.2, just after the
// table agent's: three read-only scalars .1.0 = 1, .2.0 = "adjacent",
// .3.0 = 3. Past its last object it answers get-next with noSuchName, the
// other way agents say "nothing more here". No traps.
#include <cstring>
#include <string>

#include "snmp/snmp.h"
#include "win32/memory.h"

namespace {

UINT viewArcs[] = {1, 3, 6, 1, 4, 1, 64823, 99, 2};
constexpr UINT kViewLength = 9;
constexpr UINT kScalars = 3;
const char kText[] = "adjacent";

UINT ScalarOf(const AsnObjectIdentifier& name) {
  if (name.idLength != kViewLength + 2 || std::memcmp(name.ids, viewArcs, sizeof viewArcs) != 0)
    return 0;
  UINT scalar = name.ids[kViewLength];
  return scalar >= 1 && scalar <= kScalars && name.ids[kViewLength + 1] == 0 ? scalar : 0;
}

void Fill(SnmpVarBind* binding, UINT scalar) {
  if (scalar == 2) {
    binding->value.asnType = ASN_OCTETSTRING;
    binding->value.asnValue.string.stream = reinterpret_cast<BYTE*>(const_cast<char*>(kText));
    binding->value.asnValue.string.length = sizeof kText - 1;
    binding->value.asnValue.string.dynamic = FALSE;
  } else {
    binding->value.asnType = ASN_INTEGER;
    binding->value.asnValue.number = static_cast<LONG>(scalar);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL SnmpExtensionInit(
    DWORD, HANDLE* trapEvent, AsnObjectIdentifier* view) {
  *trapEvent = nullptr;
  view->idLength = kViewLength;
  view->ids = viewArcs;
  return TRUE;
}

extern "C" __attribute__((visibility("default"))) BOOL SnmpExtensionQuery(
    BYTE requestType, SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex) {
  *errorStatus = SNMP_ERRORSTATUS_NOERROR;
  *errorIndex = 0;
  for (UINT i = 0; i < list->len; ++i) {
    SnmpVarBind* binding = &list->list[i];
    UINT scalar = ScalarOf(binding->name);
    LONG result = SNMP_ERRORSTATUS_NOERROR;
    if (requestType == SNMP_PDU_GET) {
      if (scalar == 0) {
        result = SNMP_ERRORSTATUS_NOSUCHNAME;
      } else {
        Fill(binding, scalar);
      }
    } else if (requestType == SNMP_PDU_GETNEXT) {
      UINT next = 0;
      for (UINT candidate = 1; candidate <= kScalars && next == 0; ++candidate) {
        UINT arcs[kViewLength + 2];
        std::memcpy(arcs, viewArcs, sizeof viewArcs);
        arcs[kViewLength] = candidate;
        arcs[kViewLength + 1] = 0;
        AsnObjectIdentifier name{kViewLength + 2, arcs};
        if (SnmpUtilOidCmp(&name, &binding->name) > 0) {
          next = candidate;
          SnmpUtilOidFree(&binding->name);
          SnmpUtilOidCpy(&binding->name, &name);
        }
      }
      if (next == 0) {
        result = SNMP_ERRORSTATUS_NOSUCHNAME;
      } else {
        Fill(binding, next);
      }
    } else {
      result = scalar == 0 ? SNMP_ERRORSTATUS_NOSUCHNAME : SNMP_ERRORSTATUS_READONLY;
    }
    if (result != SNMP_ERRORSTATUS_NOERROR) {
      *errorStatus = result;
      *errorIndex = static_cast<AsnInteger32>(i + 1);
      return TRUE;
    }
  }
  return TRUE;
}
