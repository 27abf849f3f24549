#include "trap_text.h"

#include <cstdio>

namespace wlipx {
namespace {

// One BER element read from a bounded buffer.
struct Element {
  uint8_t tag = 0;
  const uint8_t* value = nullptr;
  size_t length = 0;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

  bool AtEnd() const { return p_ == end_; }

  bool Next(Element* element) {
    if (end_ - p_ < 2) return false;
    element->tag = *p_++;
    size_t length = *p_++;
    if (length & 0x80) {
      const size_t bytes = length & 0x7F;
      if (bytes == 0 || bytes > 4 || static_cast<size_t>(end_ - p_) < bytes) return false;
      length = 0;
      for (size_t i = 0; i < bytes; ++i) length = length << 8 | *p_++;
    }
    if (static_cast<size_t>(end_ - p_) < length) return false;
    element->value = p_;
    element->length = length;
    p_ += length;
    return true;
  }

  bool Expect(uint8_t tag, Element* element) { return Next(element) && element->tag == tag; }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

bool Signed(const Element& e, long long* out) {
  if (e.length == 0 || e.length > 8) return false;
  long long value = (e.value[0] & 0x80) ? -1 : 0;
  for (size_t i = 0; i < e.length; ++i)
    value = static_cast<long long>((static_cast<unsigned long long>(value) << 8) | e.value[i]);
  *out = value;
  return true;
}

bool Unsigned(const Element& e, unsigned long long* out) {
  if (e.length == 0 || e.length > 9 || (e.length == 9 && e.value[0] != 0)) return false;
  unsigned long long value = 0;
  for (size_t i = 0; i < e.length; ++i) value = value << 8 | e.value[i];
  *out = value;
  return true;
}

bool Oid(const Element& e, std::string* out) {
  if (e.length == 0) return false;
  std::string text;
  unsigned long long arc = 0;
  bool first = true;
  for (size_t i = 0; i < e.length; ++i) {
    if (arc > (~0ULL >> 7)) return false;
    arc = arc << 7 | (e.value[i] & 0x7F);
    if (e.value[i] & 0x80) {
      if (i + 1 == e.length) return false;  // the last arc is cut
      continue;
    }
    if (first) {
      const unsigned long long top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
      text = std::to_string(top) + "." + std::to_string(arc - top * 40);
      first = false;
    } else {
      text += "." + std::to_string(arc);
    }
    arc = 0;
  }
  *out = text;
  return true;
}

std::string Octets(const Element& e) {
  bool printable = true;
  for (size_t i = 0; i < e.length; ++i) {
    printable = printable && e.value[i] >= 0x20 && e.value[i] < 0x7F;
  }
  if (printable) return "\"" + std::string(reinterpret_cast<const char*>(e.value), e.length) + "\"";
  std::string hex;
  char byte[4];
  for (size_t i = 0; i < e.length; ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", e.value[i]);
    hex += byte;
  }
  return "hex " + hex;
}

std::string IpAddress(const Element& e) {
  if (e.length != 4) return "bad address";
  return std::to_string(e.value[0]) + "." + std::to_string(e.value[1]) + "." +
         std::to_string(e.value[2]) + "." + std::to_string(e.value[3]);
}

bool Value(const Element& e, std::string* out) {
  long long number = 0;
  unsigned long long count = 0;
  std::string oid;
  switch (e.tag) {
    case 0x02:
      if (!Signed(e, &number)) return false;
      *out = "INTEGER " + std::to_string(number);
      return true;
    case 0x04:
      *out = "STRING " + Octets(e);
      return true;
    case 0x05:
      *out = "NULL";
      return e.length == 0;
    case 0x06:
      if (!Oid(e, &oid)) return false;
      *out = "OID " + oid;
      return true;
    case 0x40:
      *out = "IpAddress " + IpAddress(e);
      return e.length == 4;
    case 0x41:
    case 0x42:
    case 0x43:
    case 0x46:
    case 0x47: {
      if (!Unsigned(e, &count)) return false;
      const char* name = e.tag == 0x41   ? "Counter32 "
                         : e.tag == 0x42 ? "Gauge32 "
                         : e.tag == 0x43 ? "Timeticks "
                         : e.tag == 0x46 ? "Counter64 "
                                         : "Unsigned32 ";
      *out = name + std::to_string(count);
      return true;
    }
    case 0x44:
      *out = "Opaque " + Octets(e);
      return true;
    case 0x80:
      *out = "noSuchObject";
      return true;
    case 0x81:
      *out = "noSuchInstance";
      return true;
    case 0x82:
      *out = "endOfMibView";
      return true;
    default:
      return false;
  }
}

bool Bindings(const Element& list, std::string* text) {
  Reader bindings(list.value, list.length);
  while (!bindings.AtEnd()) {
    Element binding, name, value;
    if (!bindings.Expect(0x30, &binding)) return false;
    Reader parts(binding.value, binding.length);
    std::string oid, shown;
    if (!parts.Expect(0x06, &name) || !Oid(name, &oid) || !parts.Next(&value) ||
        !Value(value, &shown) || !parts.AtEnd()) {
      return false;
    }
    *text += "  " + oid + " = " + shown + "\n";
  }
  return true;
}

bool Fail(std::string* text, const char* reason) {
  *text = reason;
  return false;
}

}  // namespace

bool DescribeTrap(const uint8_t* data, size_t size, std::string* text) {
  Reader outer(data, size);
  Element message, version, community, pdu;
  if (!outer.Expect(0x30, &message) || !outer.AtEnd()) return Fail(text, "not an SNMP message");
  Reader fields(message.value, message.length);
  long long versionNumber = 0;
  if (!fields.Expect(0x02, &version) || !Signed(version, &versionNumber) ||
      !fields.Expect(0x04, &community) || !fields.Next(&pdu) || !fields.AtEnd()) {
    return Fail(text, "malformed SNMP message header");
  }
  const std::string communityText =
      std::string(reinterpret_cast<const char*>(community.value), community.length);
  Reader body(pdu.value, pdu.length);
  std::string out;
  if (pdu.tag == 0xA4 && versionNumber == 0) {
    Element enterprise, agent, generic, specific, stamp, list;
    std::string enterpriseText;
    long long genericNumber = 0, specificNumber = 0;
    unsigned long long ticks = 0;
    if (!body.Expect(0x06, &enterprise) || !Oid(enterprise, &enterpriseText) ||
        !body.Expect(0x40, &agent) || agent.length != 4 || !body.Expect(0x02, &generic) ||
        !Signed(generic, &genericNumber) || !body.Expect(0x02, &specific) ||
        !Signed(specific, &specificNumber) || !body.Expect(0x43, &stamp) ||
        !Unsigned(stamp, &ticks) || !body.Expect(0x30, &list) || !body.AtEnd()) {
      return Fail(text, "malformed SNMPv1 trap");
    }
    out = "SNMPv1 trap, community \"" + communityText + "\", enterprise " + enterpriseText +
          ", agent-addr " + IpAddress(agent) + ", generic " + std::to_string(genericNumber) +
          ", specific " + std::to_string(specificNumber) + ", time stamp " + std::to_string(ticks) +
          "\n";
    if (!Bindings(list, &out)) return Fail(text, "malformed variable bindings");
  } else if (pdu.tag == 0xA7 && versionNumber == 1) {
    Element id, status, index, list;
    if (!body.Expect(0x02, &id) || !body.Expect(0x02, &status) || !body.Expect(0x02, &index) ||
        !body.Expect(0x30, &list) || !body.AtEnd()) {
      return Fail(text, "malformed SNMPv2 notification");
    }
    out = "SNMPv2c notification, community \"" + communityText + "\"\n";
    if (!Bindings(list, &out)) return Fail(text, "malformed variable bindings");
  } else {
    return Fail(text, "not a trap");
  }
  *text = out;
  return true;
}

}  // namespace wlipx
