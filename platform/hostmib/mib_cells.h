// The values the Host Resources MIB agent answers with, in the form they take
// on the wire: a cell is one column of one row (or one scalar), already in
// its RFC 2790 syntax (text in UTF-8 cut to the object's SIZE, dates as
// DateAndTime, numbers in the range of their type).
//
// Plain values; no thread safety of their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "snmp/snmp.h"
#include "win32/types.h"

namespace hostmib {

// The type of a cell whose value could not be read: get and get-next answer
// genErr for it.
constexpr BYTE kFailedCell = 0xFF;

struct Cell {
  BYTE type = ASN_NULL;   // ASN_NULL: no such column in the row; or kFailedCell
  DWORD number = 0;       // INTEGER (as its 32 bits), Counter32, Gauge32, TimeTicks
  std::string bytes;      // OCTET STRING
  std::vector<UINT> oid;  // OBJECT IDENTIFIER
};

// INTEGER of a value that must stay within 0..2147483647 (Integer32 ranges,
// KBytes): larger values are held at the top.
Cell IntegerCell(uint64_t value);
Cell Counter32Cell(DWORD value);
Cell Gauge32Cell(DWORD value);
Cell TimeTicksCell(DWORD value);
Cell OctetCell(std::string bytes);
Cell OidCell(std::vector<UINT> arcs);
Cell FailedCell();
// TruthValue: true (1) for a non-zero flag, else false (2).
Cell TruthCell(int flag);
// BITS (RFC 2579) of a 32-bit set, bit n of the number being bit n of the
// string; as many octets as the highest bit set needs, at least one.
Cell BitsCell(DWORD bits);
// Four octets, most significant first.
Cell NumberOctetsCell(DWORD value);

// UTF-16 text as UTF-8, cut to at most maxOctets octets without splitting a
// character; a lone surrogate becomes U+FFFD. Reads at most `length` units and
// stops at a NUL.
std::string Utf8Cut(const WCHAR* text, size_t length, size_t maxOctets);
Cell TextCell(const WCHAR* text, size_t length, size_t maxOctets);

// An AutonomousType or ProductID from the library's identifier: its arcs when
// it has 2 to 20 of them (at most 20 are read), else 0.0 (unknown).
std::vector<UINT> ProductId(DWORD length, const DWORD* ids);

// The offset from UTC, in minutes east, of a zone as the Win32 provider
// describes it: kind 2 (daylight) adds the daylight bias, kind 1 (standard)
// the standard bias, anything else (no daylight saving) only the bias.
LONG ZoneOffsetMinutes(const TIME_ZONE_INFORMATION& zone, DWORD kind);

// DateAndTime (RFC 2579): 11 octets with the zone offset, or 8 when the offset
// cannot be told (beyond 13:59). A date that is all zero, or has a field out
// of range, is "unknown": year 0, January 1, midnight (8 octets), as RFC 2790
// asks for dates that are not known.
std::string DateAndTime(const SYSTEMTIME& time, LONG offsetMinutes, bool withZone = true);

}  // namespace hostmib
