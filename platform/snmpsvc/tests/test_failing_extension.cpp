// Test extension agent whose initialisation fails.
#include "snmp/snmp.h"

extern "C" __attribute__((visibility("default"))) BOOL SnmpExtensionInit(DWORD, HANDLE* trapEvent,
                                                                         AsnObjectIdentifier*) {
  *trapEvent = nullptr;
  return FALSE;
}

extern "C" __attribute__((visibility("default"))) BOOL SnmpExtensionQuery(BYTE, SnmpVarBindList*,
                                                                          AsnInteger32* errorStatus,
                                                                          AsnInteger32*) {
  *errorStatus = SNMP_ERRORSTATUS_GENERR;
  return TRUE;
}
