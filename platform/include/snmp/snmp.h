// The SNMP extension-agent interface: the types, constants and entry points an
// extension agent shares with the SNMP service (snmpsvc), and the SnmpUtil
// helpers. Arc arrays, strings and binding lists that cross between the
// service and an agent are allocated with GlobalAlloc (or SnmpUtilMemAlloc,
// which uses it) and freed with GlobalFree.
//
// This header does not mix with net-snmp's headers in one translation unit:
// both define ASN_* names.
#pragma once

#include "win32/types.h"

typedef INT SNMPAPI;
typedef LONG AsnInteger32;
typedef LONG AsnInteger;
typedef ULONG AsnUnsigned32;
typedef ULONG AsnCounter32;
typedef ULONG AsnGauge32;
typedef ULONG AsnTimeticks;
typedef ULARGE_INTEGER AsnCounter64;

typedef struct {
  BYTE* stream;
  UINT length;
  BOOL dynamic;  // TRUE when stream was allocated and is freed with the value
} AsnOctetString;

typedef struct {
  UINT idLength;
  UINT* ids;
} AsnObjectIdentifier;

typedef AsnOctetString AsnBits;
typedef AsnOctetString AsnSequence;
typedef AsnOctetString AsnIPAddress;
typedef AsnOctetString AsnNetworkAddress;
typedef AsnOctetString AsnDisplayString;
typedef AsnOctetString AsnOpaque;
typedef AsnObjectIdentifier AsnObjectName;

typedef struct {
  BYTE asnType;
  union {
    AsnInteger32 number;
    AsnUnsigned32 unsigned32;
    AsnCounter64 counter64;
    AsnOctetString string;
    AsnBits bits;
    AsnObjectIdentifier object;
    AsnSequence sequence;
    AsnIPAddress address;
    AsnCounter32 counter;
    AsnGauge32 gauge;
    AsnTimeticks ticks;
    AsnOpaque arbitrary;
  } asnValue;
} AsnAny;

typedef AsnAny AsnObjectSyntax;

typedef struct {
  AsnObjectName name;
  AsnObjectSyntax value;
} SnmpVarBind;

typedef struct {
  SnmpVarBind* list;
  UINT len;
} SnmpVarBindList;

// NT 4 names of the same types.
typedef SnmpVarBind RFC1157VarBind;
typedef SnmpVarBindList RFC1157VarBindList;

// ASN.1 / SMI type codes.
#define ASN_UNIVERSAL 0x00
#define ASN_APPLICATION 0x40
#define ASN_CONTEXT 0x80
#define ASN_PRIVATE 0xC0
#define ASN_PRIMITIVE 0x00
#define ASN_CONSTRUCTOR 0x20

#define ASN_INTEGER 0x02
#define ASN_INTEGER32 ASN_INTEGER
#define ASN_BITS 0x03
#define ASN_OCTETSTRING 0x04
#define ASN_NULL 0x05
#define ASN_OBJECTIDENTIFIER 0x06
#define ASN_SEQUENCE 0x30
#define ASN_SEQUENCEOF ASN_SEQUENCE
#define ASN_IPADDRESS 0x40
#define ASN_COUNTER32 0x41
#define ASN_GAUGE32 0x42
#define ASN_TIMETICKS 0x43
#define ASN_OPAQUE 0x44
#define ASN_COUNTER64 0x46
#define ASN_UNSIGNED32 0x47
#define ASN_RFC1155_IPADDRESS ASN_IPADDRESS
#define ASN_RFC1155_COUNTER ASN_COUNTER32
#define ASN_RFC1155_GAUGE ASN_GAUGE32
#define ASN_RFC1155_TIMETICKS ASN_TIMETICKS
#define ASN_RFC1155_OPAQUE ASN_OPAQUE
#define ASN_RFC1213_DISPSTRING ASN_OCTETSTRING

#define SNMP_EXCEPTION_NOSUCHOBJECT 0x80
#define SNMP_EXCEPTION_NOSUCHINSTANCE 0x81
#define SNMP_EXCEPTION_ENDOFMIBVIEW 0x82

// PDU types.
#define SNMP_PDU_GET 0xA0
#define SNMP_PDU_GETNEXT 0xA1
#define SNMP_PDU_RESPONSE 0xA2
#define SNMP_PDU_SET 0xA3
#define SNMP_PDU_V1TRAP 0xA4
#define SNMP_PDU_GETBULK 0xA5
#define ASN_RFC1157_GETREQUEST SNMP_PDU_GET
#define ASN_RFC1157_GETNEXTREQUEST SNMP_PDU_GETNEXT
#define ASN_RFC1157_SETREQUEST SNMP_PDU_SET
#define ASN_RFC1157_TRAP SNMP_PDU_V1TRAP

// Error status.
#define SNMP_ERRORSTATUS_NOERROR 0
#define SNMP_ERRORSTATUS_TOOBIG 1
#define SNMP_ERRORSTATUS_NOSUCHNAME 2
#define SNMP_ERRORSTATUS_BADVALUE 3
#define SNMP_ERRORSTATUS_READONLY 4
#define SNMP_ERRORSTATUS_GENERR 5
#define SNMP_ERRORSTATUS_NOACCESS 6
#define SNMP_ERRORSTATUS_WRONGTYPE 7
#define SNMP_ERRORSTATUS_WRONGLENGTH 8
#define SNMP_ERRORSTATUS_WRONGENCODING 9
#define SNMP_ERRORSTATUS_WRONGVALUE 10
#define SNMP_ERRORSTATUS_NOCREATION 11
#define SNMP_ERRORSTATUS_INCONSISTENTVALUE 12
#define SNMP_ERRORSTATUS_RESOURCEUNAVAILABLE 13
#define SNMP_ERRORSTATUS_COMMITFAILED 14
#define SNMP_ERRORSTATUS_UNDOFAILED 15
#define SNMP_ERRORSTATUS_AUTHORIZATIONERROR 16
#define SNMP_ERRORSTATUS_NOTWRITABLE 17
#define SNMP_ERRORSTATUS_INCONSISTENTNAME 18

// Generic trap numbers.
#define SNMP_GENERICTRAP_COLDSTART 0
#define SNMP_GENERICTRAP_WARMSTART 1
#define SNMP_GENERICTRAP_LINKDOWN 2
#define SNMP_GENERICTRAP_LINKUP 3
#define SNMP_GENERICTRAP_AUTHFAILURE 4
#define SNMP_GENERICTRAP_EGPNEIGHLOSS 5
#define SNMP_GENERICTRAP_ENTERSPECIFIC 6

#define SNMPAPI_NOERROR TRUE
#define SNMPAPI_ERROR FALSE

// Entry points an extension agent exports (C linkage, by name).
typedef BOOL (*PFNSNMPEXTENSIONINIT)(DWORD dwUpTimeReference, HANDLE* phSubagentTrapEvent,
                                     AsnObjectIdentifier* pFirstSupportedRegion);
typedef BOOL (*PFNSNMPEXTENSIONQUERY)(BYTE bPduType, SnmpVarBindList* pVarBindList,
                                      AsnInteger32* pErrorStatus, AsnInteger32* pErrorIndex);
// SnmpExtensionQueryEx: optional; when an agent exports it the service calls it
// instead of SnmpExtensionQuery. nTransactionId is the same for every call
// made for one request (a GETBULK's repetitions, the probes of a get), and
// differs between requests. A set runs SET_TEST, then SET_COMMIT when the
// test passed, SET_UNDO when the commit failed, and always SET_CLEANUP, all
// with the same pContextInfo (the agent's to fill and free).
#define SNMP_EXTENSION_GET SNMP_PDU_GET
#define SNMP_EXTENSION_GET_NEXT SNMP_PDU_GETNEXT
// SNMP_EXTENSION_GET_BULK: a GETBULK in one call, sent only to agents that
// export SnmpExtensionQueryEx. As in the GetBulkRequest-PDU (RFC 3416), the
// error fields carry its parameters on entry: *pErrorStatus the number of
// non-repeaters N, *pErrorIndex the maximum repetitions R (at least 1); the
// list holds the N non-repeaters' names, then the M repeaters'. On success
// the agent replaces the list with the answers in the order of a GetBulk
// response: the N get-next answers, then k rounds of M answers (1 <= k <= R;
// round r holds each repeater's r-th successor). A repeater whose walk has
// left the view is answered as get-next answers it (a name past the view);
// what stands in its place in later rounds is not read. The agent may stop
// before R rounds; the service asks for the rest with get-next. On failure
// the service drops the answer and serves the request with get-next alone,
// which gives the error its usual binding. snmp/bulk_answer.h builds this
// answer from an agent's get-next.
#define SNMP_EXTENSION_GET_BULK SNMP_PDU_GETBULK
#define SNMP_EXTENSION_SET_TEST (ASN_PRIVATE | ASN_CONSTRUCTOR | 0x0)
#define SNMP_EXTENSION_SET_COMMIT SNMP_PDU_SET
#define SNMP_EXTENSION_SET_UNDO (ASN_PRIVATE | ASN_CONSTRUCTOR | 0x1)
#define SNMP_EXTENSION_SET_CLEANUP (ASN_PRIVATE | ASN_CONSTRUCTOR | 0x2)
typedef BOOL (*PFNSNMPEXTENSIONQUERYEX)(UINT nRequestType, UINT nTransactionId,
                                        SnmpVarBindList* pVarBindList, AsnOctetString* pContextInfo,
                                        AsnInteger32* pErrorStatus, AsnInteger32* pErrorIndex);
typedef BOOL (*PFNSNMPEXTENSIONTRAP)(AsnObjectIdentifier* pEnterpriseOid,
                                     AsnInteger32* pGenericTrapId, AsnInteger32* pSpecificTrapId,
                                     AsnTimeticks* pTimeStamp, SnmpVarBindList* pVarBindList);

WL_EXTERN_C_BEGIN
// SnmpUtil helpers (Win32 semantics: SNMPAPI_NOERROR on success, SNMPAPI_ERROR
// on failure; comparisons return <0, 0, >0).
WLAPI SNMPAPI SnmpUtilOidCpy(AsnObjectIdentifier* pOidDst, AsnObjectIdentifier* pOidSrc);
WLAPI SNMPAPI SnmpUtilOidAppend(AsnObjectIdentifier* pOidDst, AsnObjectIdentifier* pOidSrc);
WLAPI SNMPAPI SnmpUtilOidNCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2, UINT nSubIds);
WLAPI SNMPAPI SnmpUtilOidCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2);
WLAPI void SnmpUtilOidFree(AsnObjectIdentifier* pOid);
WLAPI SNMPAPI SnmpUtilVarBindCpy(SnmpVarBind* pVbDst, SnmpVarBind* pVbSrc);
WLAPI void SnmpUtilVarBindFree(SnmpVarBind* pVb);
WLAPI SNMPAPI SnmpUtilVarBindListCpy(SnmpVarBindList* pVblDst, SnmpVarBindList* pVblSrc);
WLAPI void SnmpUtilVarBindListFree(SnmpVarBindList* pVbl);
WLAPI SNMPAPI SnmpUtilAsnAnyCpy(AsnAny* pAnyDst, AsnAny* pAnySrc);
WLAPI void SnmpUtilAsnAnyFree(AsnAny* pAny);
WLAPI void* SnmpUtilMemAlloc(UINT nBytes);
WLAPI void* SnmpUtilMemReAlloc(void* pMem, UINT nBytes);
WLAPI void SnmpUtilMemFree(void* pMem);
WL_EXTERN_C_END
