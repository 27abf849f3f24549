#include "ipx_header.h"

#include <cstring>

namespace wl::ipx {
namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void Put16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value);
}

void ReadAddress(const uint8_t* p, Address* address) {
  std::memcpy(address->network, p, 4);
  std::memcpy(address->node, p + 4, 6);
  address->socket = Get16(p + 10);
}

void WriteAddress(const Address& address, uint8_t* p) {
  std::memcpy(p, address.network, 4);
  std::memcpy(p + 4, address.node, 6);
  Put16(p + 10, address.socket);
}

}  // namespace

bool ReadHeader(const uint8_t* data, size_t size, Header* header) {
  if (data == nullptr || size < kHeaderSize) return false;
  if (Get16(data) != kNoChecksum) return false;
  const uint16_t length = Get16(data + 2);
  if (length < kHeaderSize || length > size) return false;
  header->length = length;
  header->transportControl = data[4];
  header->packetType = data[5];
  ReadAddress(data + 6, &header->destination);
  ReadAddress(data + 18, &header->source);
  return true;
}

void WriteHeader(const Address& destination, const Address& source, uint8_t packetType,
                 size_t dataSize, uint8_t out[kHeaderSize]) {
  if (dataSize > kMaxData) dataSize = kMaxData;
  Put16(out, kNoChecksum);
  Put16(out + 2, static_cast<uint16_t>(kHeaderSize + dataSize));
  out[4] = 0;
  out[5] = packetType;
  WriteAddress(destination, out + 6);
  WriteAddress(source, out + 18);
}

bool NodeToIPv4(const uint8_t node[6], uint32_t* address) {
  if (node[0] != 0 || node[1] != 0) return false;
  *address = static_cast<uint32_t>(node[2]) << 24 | static_cast<uint32_t>(node[3]) << 16 |
             static_cast<uint32_t>(node[4]) << 8 | node[5];
  return true;
}

void IPv4ToNode(uint32_t address, uint8_t node[6]) {
  node[0] = node[1] = 0;
  node[2] = static_cast<uint8_t>(address >> 24);
  node[3] = static_cast<uint8_t>(address >> 16);
  node[4] = static_cast<uint8_t>(address >> 8);
  node[5] = static_cast<uint8_t>(address);
}

bool IsBroadcastNode(const uint8_t node[6]) {
  for (int i = 0; i < 6; ++i) {
    if (node[i] != 0xFF) return false;
  }
  return true;
}

}  // namespace wl::ipx
