// The IPX header reader on arbitrary datagrams: never reads past the end, and
// what it accepts is written back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "winsock/ipx_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so that a read past the end is caught.
  std::vector<uint8_t> datagram(data, data + size);
  wl::ipx::Header header;
  if (!wl::ipx::ReadHeader(datagram.data(), datagram.size(), &header)) return 0;
  if (header.length < wl::ipx::kHeaderSize || header.length > size) abort();
  uint8_t again[wl::ipx::kHeaderSize];
  wl::ipx::WriteHeader(header.destination, header.source, header.packetType,
                       header.length - wl::ipx::kHeaderSize, again);
  // Byte 4 (transport control) is always written as 0.
  if (std::memcmp(again, datagram.data(), 4) != 0 ||
      std::memcmp(again + 5, datagram.data() + 5, wl::ipx::kHeaderSize - 5) != 0) {
    abort();
  }
  uint32_t address = 0;
  wl::ipx::NodeToIPv4(header.source.node, &address);
  return 0;
}
