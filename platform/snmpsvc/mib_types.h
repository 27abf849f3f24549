// Object identifiers, values and variable bindings as the service passes them
// between its two halves: the net-snmp side (protocol, sessions) and the
// extension side (the extension-agent interface). Neither net-snmp's nor the
// extension interface's headers are included here, since both define ASN_*.
// Plain value types; no thread-safety concerns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace snmpsvc {

using Oid = std::vector<uint32_t>;

// Value type tags: the BER tags that both halves use for the same types.
namespace tag {
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kBits = 0x03;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kNull = 0x05;
constexpr uint8_t kObjectId = 0x06;
constexpr uint8_t kIpAddress = 0x40;
constexpr uint8_t kCounter32 = 0x41;
constexpr uint8_t kGauge32 = 0x42;
constexpr uint8_t kTimeTicks = 0x43;
constexpr uint8_t kOpaque = 0x44;
constexpr uint8_t kCounter64 = 0x46;
constexpr uint8_t kUnsigned32 = 0x47;
constexpr uint8_t kNoSuchObject = 0x80;
constexpr uint8_t kNoSuchInstance = 0x81;
constexpr uint8_t kEndOfMibView = 0x82;
}  // namespace tag

// SNMP error status codes (v1 codes 0-5, v2 codes 6-18).
namespace status {
constexpr int kNoError = 0;
constexpr int kTooBig = 1;
constexpr int kNoSuchName = 2;
constexpr int kBadValue = 3;
constexpr int kReadOnly = 4;
constexpr int kGenErr = 5;
constexpr int kNoAccess = 6;
constexpr int kWrongType = 7;
constexpr int kWrongLength = 8;
constexpr int kWrongEncoding = 9;
constexpr int kWrongValue = 10;
constexpr int kNoCreation = 11;
constexpr int kInconsistentValue = 12;
constexpr int kResourceUnavailable = 13;
constexpr int kCommitFailed = 14;
constexpr int kUndoFailed = 15;
constexpr int kAuthorizationError = 16;
constexpr int kNotWritable = 17;
constexpr int kInconsistentName = 18;
}  // namespace status

struct Value {
  uint8_t type = tag::kNull;
  // INTEGER as signed; Counter32, Gauge32, TimeTicks, Unsigned32 and Counter64
  // as unsigned bits.
  uint64_t number = 0;
  std::string bytes;  // OCTET STRING, IpAddress, Opaque, BITS
  Oid oid;            // OBJECT IDENTIFIER

  static Value Integer(int32_t v) {
    Value value;
    value.type = tag::kInteger;
    value.number = static_cast<uint64_t>(static_cast<int64_t>(v));
    return value;
  }
  static Value Unsigned(uint8_t type, uint64_t v) {
    Value value;
    value.type = type;
    value.number = v;
    return value;
  }
  static Value Octets(std::string text, uint8_t type = tag::kOctetString) {
    Value value;
    value.type = type;
    value.bytes = std::move(text);
    return value;
  }
  static Value ObjectId(Oid arcs) {
    Value value;
    value.type = tag::kObjectId;
    value.oid = std::move(arcs);
    return value;
  }
};

struct VarBind {
  Oid name;
  Value value;
};

// A trap as an extension agent produced it, copied out of the agent's memory.
struct TrapMessage {
  Oid enterprise;
  int32_t genericTrap = 0;
  int32_t specificTrap = 0;
  uint32_t timeStamp = 0;
  std::vector<VarBind> bindings;
};

// The longest object identifier the service handles (the SMI limit).
constexpr size_t kMaxOidLength = 128;

// <0, 0, >0 in lexicographic order of the arcs (a prefix sorts first).
int CompareOid(const Oid& a, const Oid& b);
bool OidStartsWith(const Oid& name, const Oid& prefix);
// Dotted text ("1.3.6.1"); empty identifier gives "".
std::string FormatOid(const Oid& oid);
// Parses dotted text with an optional leading dot; false on any other text.
bool ParseOid(const std::string& text, Oid* oid);

}  // namespace snmpsvc
