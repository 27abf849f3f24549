// SnmpUtil helpers of the extension-agent interface. Every arc array and
// string they create comes from GlobalAlloc, so that either side of the
// service/agent boundary may free it with GlobalFree.
#include <stdlib.h>
#include <string.h>

#include "snmp/snmp.h"
#include "win32/memory.h"

namespace {

// Longest object identifier the helpers build (the SMI limit).
constexpr UINT kMaxOidLength = 128;

bool IsOctetType(BYTE type) {
  switch (type) {
    case ASN_OCTETSTRING:
    case ASN_BITS:
    case ASN_SEQUENCE:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
      return true;
    default:
      return false;
  }
}

UINT* AllocArcs(UINT count) {
  return static_cast<UINT*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(count) * sizeof(UINT)));
}

}  // namespace

extern "C" {

WLAPI void* SnmpUtilMemAlloc(UINT nBytes) { return GlobalAlloc(GPTR, nBytes); }

// GlobalAlloc hands out C heap blocks (the pointer is the handle), so realloc
// keeps them compatible with GlobalFree.
WLAPI void* SnmpUtilMemReAlloc(void* pMem, UINT nBytes) {
  if (pMem == nullptr) return SnmpUtilMemAlloc(nBytes);
  if (nBytes == 0) {
    GlobalFree(pMem);
    return nullptr;
  }
  void* grown = realloc(pMem, nBytes);
  if (grown == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return grown;
}

WLAPI void SnmpUtilMemFree(void* pMem) {
  if (pMem != nullptr) GlobalFree(pMem);
}

WLAPI SNMPAPI SnmpUtilOidCpy(AsnObjectIdentifier* pOidDst, AsnObjectIdentifier* pOidSrc) {
  if (pOidDst == nullptr || pOidSrc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SNMPAPI_ERROR;
  }
  pOidDst->idLength = 0;
  pOidDst->ids = nullptr;
  if (pOidSrc->idLength == 0 || pOidSrc->ids == nullptr) return SNMPAPI_NOERROR;
  UINT* arcs = AllocArcs(pOidSrc->idLength);
  if (arcs == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return SNMPAPI_ERROR;
  }
  memcpy(arcs, pOidSrc->ids, pOidSrc->idLength * sizeof(UINT));
  pOidDst->ids = arcs;
  pOidDst->idLength = pOidSrc->idLength;
  return SNMPAPI_NOERROR;
}

WLAPI SNMPAPI SnmpUtilOidAppend(AsnObjectIdentifier* pOidDst, AsnObjectIdentifier* pOidSrc) {
  if (pOidDst == nullptr || pOidSrc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SNMPAPI_ERROR;
  }
  if (pOidSrc->idLength == 0 || pOidSrc->ids == nullptr) return SNMPAPI_NOERROR;
  UINT oldLength = pOidDst->ids == nullptr ? 0 : pOidDst->idLength;
  if (oldLength > kMaxOidLength || pOidSrc->idLength > kMaxOidLength - oldLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SNMPAPI_ERROR;
  }
  UINT total = oldLength + pOidSrc->idLength;
  UINT* arcs = AllocArcs(total);
  if (arcs == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return SNMPAPI_ERROR;
  }
  if (oldLength != 0) memcpy(arcs, pOidDst->ids, oldLength * sizeof(UINT));
  // The source may be the destination itself: copy it before freeing.
  memcpy(arcs + oldLength, pOidSrc->ids, pOidSrc->idLength * sizeof(UINT));
  if (pOidDst->ids != nullptr) GlobalFree(pOidDst->ids);
  pOidDst->ids = arcs;
  pOidDst->idLength = total;
  return SNMPAPI_NOERROR;
}

WLAPI SNMPAPI SnmpUtilOidNCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2,
                              UINT nSubIds) {
  if (pOid1 == nullptr || pOid2 == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT length1 = pOid1->ids == nullptr ? 0 : pOid1->idLength;
  UINT length2 = pOid2->ids == nullptr ? 0 : pOid2->idLength;
  if (length1 > nSubIds) length1 = nSubIds;
  if (length2 > nSubIds) length2 = nSubIds;
  UINT common = length1 < length2 ? length1 : length2;
  for (UINT i = 0; i < common; ++i) {
    if (pOid1->ids[i] != pOid2->ids[i]) return pOid1->ids[i] < pOid2->ids[i] ? -1 : 1;
  }
  if (length1 == length2) return 0;
  return length1 < length2 ? -1 : 1;
}

WLAPI SNMPAPI SnmpUtilOidCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2) {
  if (pOid1 == nullptr || pOid2 == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT longest = pOid1->idLength > pOid2->idLength ? pOid1->idLength : pOid2->idLength;
  return SnmpUtilOidNCmp(pOid1, pOid2, longest);
}

WLAPI void SnmpUtilOidFree(AsnObjectIdentifier* pOid) {
  if (pOid == nullptr) return;
  if (pOid->ids != nullptr) GlobalFree(pOid->ids);
  pOid->ids = nullptr;
  pOid->idLength = 0;
}

WLAPI SNMPAPI SnmpUtilAsnAnyCpy(AsnAny* pAnyDst, AsnAny* pAnySrc) {
  if (pAnyDst == nullptr || pAnySrc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SNMPAPI_ERROR;
  }
  if (pAnySrc->asnType == ASN_OBJECTIDENTIFIER) {
    AsnObjectIdentifier copy;
    if (!SnmpUtilOidCpy(&copy, &pAnySrc->asnValue.object)) return SNMPAPI_ERROR;
    pAnyDst->asnType = ASN_OBJECTIDENTIFIER;
    pAnyDst->asnValue.object = copy;
    return SNMPAPI_NOERROR;
  }
  if (IsOctetType(pAnySrc->asnType)) {
    const AsnOctetString& source = pAnySrc->asnValue.string;
    AsnOctetString copy = {nullptr, 0, FALSE};
    if (source.length != 0 && source.stream != nullptr) {
      copy.stream = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, source.length));
      if (copy.stream == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return SNMPAPI_ERROR;
      }
      memcpy(copy.stream, source.stream, source.length);
      copy.length = source.length;
      copy.dynamic = TRUE;
    }
    pAnyDst->asnType = pAnySrc->asnType;
    pAnyDst->asnValue.string = copy;
    return SNMPAPI_NOERROR;
  }
  *pAnyDst = *pAnySrc;
  return SNMPAPI_NOERROR;
}

WLAPI void SnmpUtilAsnAnyFree(AsnAny* pAny) {
  if (pAny == nullptr) return;
  if (pAny->asnType == ASN_OBJECTIDENTIFIER) {
    SnmpUtilOidFree(&pAny->asnValue.object);
  } else if (IsOctetType(pAny->asnType)) {
    AsnOctetString& string = pAny->asnValue.string;
    if (string.dynamic && string.stream != nullptr) GlobalFree(string.stream);
    string.stream = nullptr;
    string.length = 0;
    string.dynamic = FALSE;
  }
  pAny->asnType = ASN_NULL;
}

WLAPI SNMPAPI SnmpUtilVarBindCpy(SnmpVarBind* pVbDst, SnmpVarBind* pVbSrc) {
  if (pVbDst == nullptr || pVbSrc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SNMPAPI_ERROR;
  }
  SnmpVarBind copy;
  memset(&copy, 0, sizeof copy);
  if (!SnmpUtilOidCpy(&copy.name, &pVbSrc->name)) return SNMPAPI_ERROR;
  if (!SnmpUtilAsnAnyCpy(&copy.value, &pVbSrc->value)) {
    SnmpUtilOidFree(&copy.name);
    return SNMPAPI_ERROR;
  }
  *pVbDst = copy;
  return SNMPAPI_NOERROR;
}

WLAPI void SnmpUtilVarBindFree(SnmpVarBind* pVb) {
  if (pVb == nullptr) return;
  SnmpUtilOidFree(&pVb->name);
  SnmpUtilAsnAnyFree(&pVb->value);
}

WLAPI SNMPAPI SnmpUtilVarBindListCpy(SnmpVarBindList* pVblDst, SnmpVarBindList* pVblSrc) {
  if (pVblDst == nullptr || pVblSrc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SNMPAPI_ERROR;
  }
  pVblDst->list = nullptr;
  pVblDst->len = 0;
  if (pVblSrc->len == 0 || pVblSrc->list == nullptr) return SNMPAPI_NOERROR;
  auto* list = static_cast<SnmpVarBind*>(
      GlobalAlloc(GPTR, static_cast<SIZE_T>(pVblSrc->len) * sizeof(SnmpVarBind)));
  if (list == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return SNMPAPI_ERROR;
  }
  for (UINT i = 0; i < pVblSrc->len; ++i) {
    if (!SnmpUtilVarBindCpy(&list[i], &pVblSrc->list[i])) {
      SnmpVarBindList partial = {list, i};
      SnmpUtilVarBindListFree(&partial);
      return SNMPAPI_ERROR;
    }
  }
  pVblDst->list = list;
  pVblDst->len = pVblSrc->len;
  return SNMPAPI_NOERROR;
}

WLAPI void SnmpUtilVarBindListFree(SnmpVarBindList* pVbl) {
  if (pVbl == nullptr) return;
  if (pVbl->list != nullptr) {
    for (UINT i = 0; i < pVbl->len; ++i) SnmpUtilVarBindFree(&pVbl->list[i]);
    GlobalFree(pVbl->list);
  }
  pVbl->list = nullptr;
  pVbl->len = 0;
}

}  // extern "C"
