// The four entry points of libcurvemib.so, the SNMP service's extension-agent
// interface. These and the resource table are the only symbols the library
// exports (curvemib.map); the shut-down sequence is put on the library's exit
// list by the start-up thread.
#include "agent/trend/entry.h"

#include "agent/trend/lifecycle.h"

WL_EXTENSION_EXPORT BOOL SnmpExtensionInit(DWORD dwUpTimeReference, HANDLE* phSubagentTrapEvent,
                                           AsnObjectIdentifier* pFirstSupportedRegion) {
  return trend::extensionInit(dwUpTimeReference, phSubagentTrapEvent, pFirstSupportedRegion);
}

WL_EXTENSION_EXPORT BOOL SnmpExtensionQuery(BYTE bPduType, SnmpVarBindList* pVarBindList,
                                            AsnInteger32* pErrorStatus, AsnInteger32* pErrorIndex) {
  return trend::extensionQuery(bPduType, pVarBindList, pErrorStatus, pErrorIndex);
}

WL_EXTENSION_EXPORT BOOL SnmpExtensionQueryEx(UINT nRequestType, UINT, SnmpVarBindList* pVarBindList,
                                              AsnOctetString*, AsnInteger32* pErrorStatus,
                                              AsnInteger32* pErrorIndex) {
  return trend::extensionQueryEx(nRequestType, pVarBindList, pErrorStatus, pErrorIndex);
}

WL_EXTENSION_EXPORT BOOL SnmpExtensionTrap(AsnObjectIdentifier* pEnterpriseOid,
                                           AsnInteger32* pGenericTrapId,
                                           AsnInteger32* pSpecificTrapId, AsnTimeticks* pTimeStamp,
                                           SnmpVarBindList* pVarBindList) {
  return trend::extensionTrap(pEnterpriseOid, pGenericTrapId, pSpecificTrapId, pTimeStamp,
                              pVarBindList);
}
