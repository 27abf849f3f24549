#include "agent/common/snmp_oid.h"

#include <cstring>

#include "win32/memory.h"

namespace wlsnmp {

UINT oidLength(const AsnObjectIdentifier& name) { return name.ids == nullptr ? 0 : name.idLength; }

UINT oidArc(const AsnObjectIdentifier& name, UINT position) {
  if (position == 0 || position > oidLength(name)) return 0;
  return name.ids[position - 1];
}

bool oidHasPrefix(const AsnObjectIdentifier& name, const UINT* prefix, UINT prefixLength) {
  if (oidLength(name) < prefixLength) return false;
  for (UINT i = 0; i < prefixLength; ++i) {
    if (name.ids[i] != prefix[i]) return false;
  }
  return true;
}

void freeOidName(AsnObjectIdentifier* name) {
  if (name->ids != nullptr) GlobalFree(name->ids);
  name->ids = nullptr;
  name->idLength = 0;
}

bool replaceOidName(AsnObjectIdentifier* name, const UINT* arcs, UINT count) {
  freeOidName(name);
  if (count == 0) return true;
  auto* copy = static_cast<UINT*>(GlobalAlloc(GPTR, sizeof(UINT) * count));
  if (copy == nullptr) return false;
  std::memcpy(copy, arcs, sizeof(UINT) * count);
  name->ids = copy;
  name->idLength = count;
  return true;
}

void freeValue(AsnAny* value) {
  switch (value->asnType) {
    case ASN_OCTETSTRING:
    case ASN_BITS:
    case ASN_SEQUENCE:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
      if (value->asnValue.string.dynamic && value->asnValue.string.stream != nullptr) {
        GlobalFree(value->asnValue.string.stream);
      }
      break;
    case ASN_OBJECTIDENTIFIER:
      freeOidName(&value->asnValue.object);
      break;
    default:
      break;
  }
  std::memset(value, 0, sizeof(*value));
  value->asnType = ASN_NULL;
}

void setIntegerValue(AsnAny* value, LONG number) {
  freeValue(value);
  value->asnType = ASN_INTEGER;
  value->asnValue.number = number;
}

void setStaticOctetString(AsnAny* value, const char* bytes, UINT length) {
  freeValue(value);
  value->asnType = ASN_OCTETSTRING;
  // The stream is never written through: the value is marked not dynamic.
  value->asnValue.string.stream = reinterpret_cast<BYTE*>(const_cast<char*>(bytes));
  value->asnValue.string.length = length;
  value->asnValue.string.dynamic = FALSE;
}

bool integerOfValue(const AsnAny& value, LONG* number) {
  switch (value.asnType) {
    case ASN_INTEGER:
      *number = value.asnValue.number;
      return true;
    case ASN_COUNTER32:
    case ASN_GAUGE32:
    case ASN_TIMETICKS:
    case ASN_UNSIGNED32:
      *number = static_cast<LONG>(value.asnValue.unsigned32);
      return true;
    default:
      return false;
  }
}

}  // namespace wlsnmp
