#include "query.h"

#include <cstring>

#include "snmp/bulk_answer.h"

namespace hostmib {

namespace {

// Hands a cell to the service as a new value.
bool StoreCell(const Cell& cell, AsnAny* value) {
  SnmpUtilAsnAnyFree(value);
  std::memset(value, 0, sizeof *value);
  value->asnType = cell.type;
  switch (cell.type) {
    case ASN_INTEGER:
      value->asnValue.number = static_cast<AsnInteger32>(cell.number);
      return true;
    case ASN_COUNTER32:
    case ASN_GAUGE32:
    case ASN_TIMETICKS:
      value->asnValue.unsigned32 = cell.number;
      return true;
    case ASN_OCTETSTRING: {
      AsnOctetString& string = value->asnValue.string;
      if (cell.bytes.empty()) return true;
      string.stream = static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(cell.bytes.size())));
      if (string.stream == nullptr) return false;
      std::memcpy(string.stream, cell.bytes.data(), cell.bytes.size());
      string.length = static_cast<UINT>(cell.bytes.size());
      string.dynamic = TRUE;
      return true;
    }
    case ASN_OBJECTIDENTIFIER: {
      AsnObjectIdentifier& oid = value->asnValue.object;
      const size_t bytes = cell.oid.size() * sizeof(UINT);
      oid.ids = static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(bytes)));
      if (oid.ids == nullptr) return false;
      std::memcpy(oid.ids, cell.oid.data(), bytes);
      oid.idLength = static_cast<UINT>(cell.oid.size());
      return true;
    }
    default:
      value->asnType = ASN_NULL;
      return true;
  }
}

bool StoreName(const std::vector<UINT>& arcs, AsnObjectIdentifier* name) {
  SnmpUtilOidFree(name);
  const size_t bytes = arcs.size() * sizeof(UINT);
  name->ids = static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(bytes)));
  if (name->ids == nullptr) return false;
  std::memcpy(name->ids, arcs.data(), bytes);
  name->idLength = static_cast<UINT>(arcs.size());
  return true;
}

// The arcs of a name, none when it announces arcs without an array.
size_t LengthOf(const AsnObjectIdentifier& name) { return name.ids == nullptr ? 0 : name.idLength; }

AsnInteger32 GetOne(FamilyCache& cache, SnmpVarBind& binding) {
  const Cell* cell = nullptr;
  switch (Get(cache, binding.name.ids, LengthOf(binding.name), &cell)) {
    case Answer::kValue:
      return StoreCell(*cell, &binding.value) ? SNMP_ERRORSTATUS_NOERROR : SNMP_ERRORSTATUS_GENERR;
    case Answer::kGenErr:
      return SNMP_ERRORSTATUS_GENERR;
    default:
      return SNMP_ERRORSTATUS_NOSUCHNAME;
  }
}

AsnInteger32 GetNextOne(FamilyCache& cache, SnmpVarBind& binding) {
  const Cell* cell = nullptr;
  std::vector<UINT> next;
  switch (GetNext(cache, binding.name.ids, LengthOf(binding.name), &next, &cell)) {
    case Answer::kValue:
      return StoreName(next, &binding.name) && StoreCell(*cell, &binding.value)
                 ? SNMP_ERRORSTATUS_NOERROR
                 : SNMP_ERRORSTATUS_GENERR;
    case Answer::kEndOfView:
      if (!StoreName(kPastView, &binding.name)) return SNMP_ERRORSTATUS_GENERR;
      StoreCell(Cell(), &binding.value);
      return SNMP_ERRORSTATUS_NOERROR;
    default:
      return SNMP_ERRORSTATUS_GENERR;
  }
}

AsnInteger32 SetOne(FamilyCache& cache, SnmpVarBind& binding) {
  return Exists(cache, binding.name.ids, LengthOf(binding.name)) ? SNMP_ERRORSTATUS_READONLY
                                                                 : SNMP_ERRORSTATUS_NOSUCHNAME;
}

}  // namespace

BOOL Query(FamilyCache& cache, UINT requestType, SnmpVarBindList* list, AsnInteger32* errorStatus,
           AsnInteger32* errorIndex) {
  if (errorStatus == nullptr || errorIndex == nullptr) return FALSE;
  if (requestType == SNMP_EXTENSION_GET_BULK && list != nullptr &&
      (list->len == 0 || list->list != nullptr)) {
    static UINT view[] = {1, 3, 6, 1, 2, 1, 25};
    return wlsnmp::AnswerGetBulk(
        AsnObjectIdentifier{sizeof view / sizeof view[0], view}, list, errorStatus, errorIndex,
        [&cache](SnmpVarBindList* round, AsnInteger32* status, AsnInteger32* index) {
          return Query(cache, SNMP_EXTENSION_GET_NEXT, round, status, index);
        });
  }
  *errorStatus = SNMP_ERRORSTATUS_NOERROR;
  *errorIndex = 0;
  if (list == nullptr || (list->len != 0 && list->list == nullptr)) {
    *errorStatus = SNMP_ERRORSTATUS_GENERR;
    return TRUE;
  }
  AsnInteger32 (*handle)(FamilyCache&, SnmpVarBind&) = nullptr;
  switch (requestType) {
    case SNMP_EXTENSION_GET:
      handle = GetOne;
      break;
    case SNMP_EXTENSION_GET_NEXT:
      handle = GetNextOne;
      break;
    case SNMP_EXTENSION_SET_TEST:
    case SNMP_EXTENSION_SET_COMMIT:
      handle = SetOne;
      break;
    case SNMP_EXTENSION_SET_UNDO:
    case SNMP_EXTENSION_SET_CLEANUP:
      return TRUE;
    default:
      *errorStatus = SNMP_ERRORSTATUS_GENERR;
      return TRUE;
  }
  for (UINT i = 0; i < list->len; ++i) {
    const AsnInteger32 status = handle(cache, list->list[i]);
    if (status != SNMP_ERRORSTATUS_NOERROR) {
      *errorStatus = status;
      *errorIndex = static_cast<AsnInteger32>(i + 1);
      break;
    }
  }
  return TRUE;
}

}  // namespace hostmib
