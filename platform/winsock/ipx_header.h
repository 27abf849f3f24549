// The 30-byte IPX header as RFC 1234 carries it in UDP. Internal to the
// platform library. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wl::ipx {

constexpr size_t kHeaderSize = 30;
// Every IPX datagram in UDP carries this checksum ("no checksum").
constexpr uint16_t kNoChecksum = 0xFFFF;
// The largest IPX data that fits one UDP datagram.
constexpr size_t kMaxData = 65507 - kHeaderSize;

struct Address {
  uint8_t network[4] = {};
  uint8_t node[6] = {};
  uint16_t socket = 0;  // host byte order
};

struct Header {
  uint16_t length = 0;  // header and data, in bytes
  uint8_t transportControl = 0;
  uint8_t packetType = 0;
  Address destination;
  Address source;
};

// Reads the header at the start of a datagram of `size` bytes. False (and
// nothing read past `size`) when the datagram is shorter than a header, the
// checksum is not FFFF, or the length field is below 30 or beyond `size`
// (bytes after `length` are padding and ignored).
bool ReadHeader(const uint8_t* data, size_t size, Header* header);

// Writes the header for `dataSize` bytes of data (at most kMaxData) with the
// checksum FFFF and transport control 0.
void WriteHeader(const Address& destination, const Address& source, uint8_t packetType,
                 size_t dataSize, uint8_t out[kHeaderSize]);

// The IPv4 address (host byte order) a node number stands for: two zero bytes
// and the address. False for other nodes (the broadcast node included).
bool NodeToIPv4(const uint8_t node[6], uint32_t* address);
void IPv4ToNode(uint32_t address, uint8_t node[6]);
bool IsBroadcastNode(const uint8_t node[6]);

}  // namespace wl::ipx
