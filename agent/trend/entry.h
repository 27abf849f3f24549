// The extension-agent interface of libcurvemib.so: the four entry points the
// SNMP service looks up by name (C linkage, undecorated) and calls.
//
// SnmpExtensionInit returns at once after starting the start-up thread; it
// hands back the trap event and the supported view 1.3.6.1.4.1.64823.2.45
// (both stay owned by the agent). SnmpExtensionQuery answers get (0xA0),
// get-next (0xA1) and set (0xA3) with controlSemaphore held and always
// returns TRUE; errors are in *pErrorStatus and *pErrorIndex.
// SnmpExtensionQueryEx, which the service prefers, serves the same requests
// (the transaction and context are not used: each call stands alone, and a
// set is checked and applied at its commit) and SNMP_EXTENSION_GET_BULK, all
// of a GETBULK's repetitions in one call.
// SnmpExtensionTrap returns one queued threshold trap per call (TRUE), or
// FALSE when none is left; what it hands out stays the agent's and is
// released at the next call.
// Thread safety: any thread of the service; the agent serialises internally.
#pragma once

#include "snmp/snmp.h"

#define WL_EXTENSION_EXPORT extern "C" __attribute__((visibility("default")))

WL_EXTENSION_EXPORT BOOL SnmpExtensionInit(DWORD dwUpTimeReference, HANDLE* phSubagentTrapEvent,
                                           AsnObjectIdentifier* pFirstSupportedRegion);
WL_EXTENSION_EXPORT BOOL SnmpExtensionQuery(BYTE bPduType, SnmpVarBindList* pVarBindList,
                                            AsnInteger32* pErrorStatus, AsnInteger32* pErrorIndex);
WL_EXTENSION_EXPORT BOOL SnmpExtensionQueryEx(UINT nRequestType, UINT nTransactionId,
                                              SnmpVarBindList* pVarBindList,
                                              AsnOctetString* pContextInfo,
                                              AsnInteger32* pErrorStatus, AsnInteger32* pErrorIndex);
WL_EXTENSION_EXPORT BOOL SnmpExtensionTrap(AsnObjectIdentifier* pEnterpriseOid,
                                           AsnInteger32* pGenericTrapId,
                                           AsnInteger32* pSpecificTrapId, AsnTimeticks* pTimeStamp,
                                           SnmpVarBindList* pVarBindList);
