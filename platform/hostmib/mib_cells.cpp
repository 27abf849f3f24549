#include "mib_cells.h"

namespace hostmib {

namespace {

constexpr uint64_t kInteger32Max = 2147483647u;

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

size_t Utf8Length(uint32_t code) {
  return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

}  // namespace

Cell IntegerCell(uint64_t value) {
  Cell cell;
  cell.type = ASN_INTEGER;
  cell.number = static_cast<DWORD>(value > kInteger32Max ? kInteger32Max : value);
  return cell;
}

Cell Counter32Cell(DWORD value) {
  Cell cell;
  cell.type = ASN_COUNTER32;
  cell.number = value;
  return cell;
}

Cell Gauge32Cell(DWORD value) {
  Cell cell;
  cell.type = ASN_GAUGE32;
  cell.number = value;
  return cell;
}

Cell TimeTicksCell(DWORD value) {
  Cell cell;
  cell.type = ASN_TIMETICKS;
  cell.number = value;
  return cell;
}

Cell OctetCell(std::string bytes) {
  Cell cell;
  cell.type = ASN_OCTETSTRING;
  cell.bytes = std::move(bytes);
  return cell;
}

Cell OidCell(std::vector<UINT> arcs) {
  Cell cell;
  cell.type = ASN_OBJECTIDENTIFIER;
  cell.oid = std::move(arcs);
  return cell;
}

Cell FailedCell() {
  Cell cell;
  cell.type = kFailedCell;
  return cell;
}

Cell TruthCell(int flag) { return IntegerCell(uint64_t{flag != 0 ? 1u : 2u}); }

Cell BitsCell(DWORD bits) {
  std::string octets(1, '\0');
  for (unsigned bit = 0; bit < 32; ++bit) {
    if ((bits >> bit & 1) == 0) continue;
    if (octets.size() < bit / 8 + 1) octets.resize(bit / 8 + 1, '\0');
    octets[bit / 8] = static_cast<char>(octets[bit / 8] | (0x80 >> (bit % 8)));
  }
  return OctetCell(std::move(octets));
}

Cell NumberOctetsCell(DWORD value) {
  std::string octets;
  for (int shift = 24; shift >= 0; shift -= 8) octets += static_cast<char>(value >> shift & 0xFF);
  return OctetCell(std::move(octets));
}

std::string Utf8Cut(const WCHAR* text, size_t length, size_t maxOctets) {
  std::string out;
  if (text == nullptr) return out;
  for (size_t i = 0; i < length && text[i] != 0;) {
    uint32_t code = text[i++];
    if (code >= 0xD800 && code <= 0xDBFF && i < length && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i++] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (out.size() + Utf8Length(code) > maxOctets) break;
    AppendUtf8(out, code);
  }
  return out;
}

Cell TextCell(const WCHAR* text, size_t length, size_t maxOctets) {
  return OctetCell(Utf8Cut(text, length, maxOctets));
}

std::vector<UINT> ProductId(DWORD length, const DWORD* ids) {
  if (ids == nullptr || length < 2 || length > 20) return {0, 0};
  return std::vector<UINT>(ids, ids + length);
}

LONG ZoneOffsetMinutes(const TIME_ZONE_INFORMATION& zone, DWORD kind) {
  int64_t bias = zone.Bias;
  if (kind == 2) bias += zone.DaylightBias;
  if (kind == 1) bias += zone.StandardBias;
  if (bias > 24 * 60 || bias < -24 * 60) return 24 * 60;  // no zone on Earth
  return static_cast<LONG>(-bias);
}

std::string DateAndTime(const SYSTEMTIME& t, LONG offsetMinutes, bool withZone) {
  const bool known = t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 &&
                     t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 60 && t.wMilliseconds <= 999;
  if (!known) return std::string("\x00\x00\x01\x01\x00\x00\x00\x00", 8);
  std::string out;
  out += static_cast<char>(t.wYear >> 8);
  out += static_cast<char>(t.wYear & 0xFF);
  out += static_cast<char>(t.wMonth);
  out += static_cast<char>(t.wDay);
  out += static_cast<char>(t.wHour);
  out += static_cast<char>(t.wMinute);
  out += static_cast<char>(t.wSecond);
  out += static_cast<char>(t.wMilliseconds / 100);
  const LONG magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  if (withZone && magnitude / 60 <= 13) {
    out += offsetMinutes < 0 ? '-' : '+';
    out += static_cast<char>(magnitude / 60);
    out += static_cast<char>(magnitude % 60);
  }
  return out;
}

}  // namespace hostmib
