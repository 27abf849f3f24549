// Object identifier and variable binding helpers of the trend MIB dispatch:
// reading arcs of a request's name without running off its end, replacing a
// name with a new arc array from the Windows global heap, and filling values.
//
// Ownership: arc arrays and values that cross to the SNMP service live on the
// global heap (GlobalAlloc/GlobalFree). replaceOidName frees the old arc array
// with GlobalFree before it installs the new one; setIntegerValue and
// setStaticOctetString first release the varbind's previous value (a dynamic
// octet string's bytes, an object identifier value's arcs).
// Thread safety: none of their own; callers serialise access to a varbind.
#pragma once

#include "snmp/snmp.h"

namespace wlsnmp {

// Arc number `position` (1-based) of the name, or 0 when the name is shorter
// (or has no arc array).
UINT oidArc(const AsnObjectIdentifier& name, UINT position);

// Number of arcs that can actually be read: idLength, or 0 when ids is null.
UINT oidLength(const AsnObjectIdentifier& name);

// True when the name has at least prefixLength arcs and they equal the prefix.
bool oidHasPrefix(const AsnObjectIdentifier& name, const UINT* prefix, UINT prefixLength);

// Replaces the name with a zero-initialised global-heap copy of `arcs`. The
// old arc array is freed first. When the new array cannot be allocated the
// name is left empty (no arcs, null array) and false is returned.
bool replaceOidName(AsnObjectIdentifier* name, const UINT* arcs, UINT count);

// Frees the name's arc array (GlobalFree) and leaves the name empty.
void freeOidName(AsnObjectIdentifier* name);

// Releases what the value owns (the bytes of a dynamic octet string, the arcs
// of an object identifier) and leaves it as NULL with no contents.
void freeValue(AsnAny* value);

// INTEGER value with the given 32 bits.
void setIntegerValue(AsnAny* value, LONG number);

// OCTET STRING value pointing at bytes owned by someone else; marked as not
// to be freed with the value.
void setStaticOctetString(AsnAny* value, const char* bytes, UINT length);

// True for the value types that carry a 32-bit number (INTEGER, Counter32,
// Gauge32, TimeTicks, Unsigned32); *number then holds its bits.
bool integerOfValue(const AsnAny& value, LONG* number);

}  // namespace wlsnmp
