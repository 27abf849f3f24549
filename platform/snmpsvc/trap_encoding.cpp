#include "trap_encoding.h"

namespace snmpsvc {
namespace {

std::string Length(size_t length) {
  std::string out;
  if (length < 0x80) {
    out += static_cast<char>(length);
    return out;
  }
  std::string bytes;
  for (size_t n = length; n != 0; n >>= 8) bytes.insert(bytes.begin(), static_cast<char>(n & 0xFF));
  out += static_cast<char>(0x80 | bytes.size());
  return out + bytes;
}

std::string Tlv(uint8_t tag, const std::string& content) {
  return static_cast<char>(tag) + Length(content.size()) + content;
}

std::string SignedContent(int64_t value) {
  std::string bytes;
  for (int i = 7; i >= 0; --i) bytes += static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xFF);
  // Drop leading bytes that only repeat the sign.
  size_t skip = 0;
  while (skip < 7) {
    const uint8_t b = static_cast<uint8_t>(bytes[skip]);
    const uint8_t next = static_cast<uint8_t>(bytes[skip + 1]);
    if ((b == 0x00 && !(next & 0x80)) || (b == 0xFF && (next & 0x80))) {
      ++skip;
    } else {
      break;
    }
  }
  return bytes.substr(skip);
}

std::string UnsignedContent(uint64_t value) {
  std::string bytes;
  do {
    bytes.insert(bytes.begin(), static_cast<char>(value & 0xFF));
    value >>= 8;
  } while (value != 0);
  if (static_cast<uint8_t>(bytes[0]) & 0x80) bytes.insert(bytes.begin(), '\0');
  return bytes;
}

std::string OidContent(const Oid& oid) {
  // An identifier needs two arcs; a shorter one travels as 0.0.
  const uint32_t first = oid.size() > 0 ? oid[0] : 0;
  const uint32_t second = oid.size() > 1 ? oid[1] : 0;
  std::string out;
  auto arc = [&out](uint64_t value) {
    std::string bytes(1, static_cast<char>(value & 0x7F));
    for (value >>= 7; value != 0; value >>= 7) {
      bytes.insert(bytes.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    }
    out += bytes;
  };
  arc(static_cast<uint64_t>(first > 2 ? 2 : first) * 40 + second);
  for (size_t i = 2; i < oid.size(); ++i) arc(oid[i]);
  return out;
}

std::string EncodeValue(const Value& value) {
  switch (value.type) {
    case tag::kInteger:
      return Tlv(tag::kInteger, SignedContent(static_cast<int32_t>(value.number)));
    case tag::kOctetString:
    case tag::kBits:
      return Tlv(tag::kOctetString, value.bytes);
    case tag::kOpaque:
      return Tlv(tag::kOpaque, value.bytes);
    case tag::kObjectId:
      return Tlv(tag::kObjectId, OidContent(value.oid));
    case tag::kIpAddress: {
      std::string address = value.bytes.substr(0, 4);
      address.resize(4, '\0');
      return Tlv(tag::kIpAddress, address);
    }
    case tag::kCounter32:
    case tag::kTimeTicks:
    case tag::kGauge32:
      return Tlv(value.type, UnsignedContent(value.number & 0xFFFFFFFFu));
    case tag::kUnsigned32:  // the same encoding as Gauge32
      return Tlv(tag::kGauge32, UnsignedContent(value.number & 0xFFFFFFFFu));
    case tag::kCounter64:
      return Tlv(tag::kCounter64, UnsignedContent(value.number));
    default:
      return Tlv(tag::kNull, "");
  }
}

std::string Bindings(const std::vector<VarBind>& bindings, bool version1) {
  std::string list;
  for (const VarBind& binding : bindings) {
    if (version1 && binding.value.type == tag::kCounter64) continue;
    list += Tlv(0x30, Tlv(tag::kObjectId, OidContent(binding.name)) + EncodeValue(binding.value));
  }
  return Tlv(0x30, list);
}

}  // namespace

std::string EncodeV1Trap(const TrapMessage& trap, const std::string& community,
                         const std::array<uint8_t, 4>& agentAddress) {
  const std::string pdu =
      Tlv(tag::kObjectId, OidContent(trap.enterprise)) +
      Tlv(tag::kIpAddress, std::string(agentAddress.begin(), agentAddress.end())) +
      Tlv(tag::kInteger, SignedContent(trap.genericTrap)) +
      Tlv(tag::kInteger, SignedContent(trap.specificTrap)) +
      Tlv(tag::kTimeTicks, UnsignedContent(trap.timeStamp)) + Bindings(trap.bindings, true);
  return Tlv(0x30, Tlv(tag::kInteger, SignedContent(0)) + Tlv(tag::kOctetString, community) +
                       Tlv(0xA4, pdu));
}

std::string EncodeV2Trap(const std::vector<VarBind>& bindings, const std::string& community,
                         int32_t requestId) {
  const std::string pdu = Tlv(tag::kInteger, SignedContent(requestId)) +
                          Tlv(tag::kInteger, SignedContent(0)) +
                          Tlv(tag::kInteger, SignedContent(0)) + Bindings(bindings, false);
  return Tlv(0x30, Tlv(tag::kInteger, SignedContent(1)) + Tlv(tag::kOctetString, community) +
                       Tlv(0xA7, pdu));
}

}  // namespace snmpsvc
