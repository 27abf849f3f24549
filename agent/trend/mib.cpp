// Placeholder bodies until the MIB dispatch exists: every name is unknown.
#include "agent/trend/mib.h"

namespace trend {

namespace {
BOOL noSuchName(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex) {
  if (list->len > 0) {
    *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
    *errorIndex = 1;
  }
  return TRUE;
}
}  // namespace

BOOL mibGet(SnmpVarBindList* l, AsnInteger32* s, AsnInteger32* i) { return noSuchName(l, s, i); }
BOOL mibGetNext(SnmpVarBindList* l, AsnInteger32* s, AsnInteger32* i) {
  return noSuchName(l, s, i);
}
BOOL mibSetCheck(SnmpVarBindList* l, AsnInteger32* s, AsnInteger32* i) {
  return noSuchName(l, s, i);
}
BOOL mibSetCommit(SnmpVarBindList*, AsnInteger32*, AsnInteger32*) { return TRUE; }

}  // namespace trend
