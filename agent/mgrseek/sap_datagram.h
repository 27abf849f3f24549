// The body of a SAP response as consoles send it: a 2-byte operation, then
// 64-byte server entries (type, 48-byte name, network, node, socket, hops).
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mgrseek {

constexpr size_t kSapEntrySize = 64;
constexpr size_t kSapNameSize = 48;
// The server type of a management console (big-endian on the wire).
constexpr uint16_t kConsoleServerType = 0x026A;

struct SapEntry {
  uint16_t typeAsStored = 0;  // the type's two bytes read in this machine's order
  bool console = false;       // the type is kConsoleServerType
  std::string name;           // up to the first NUL, at most 48 bytes
  bool usable = false;        // the name's first 20 characters are hexadecimal digits
};

// The number of whole entries in a datagram of `size` bytes: (size - 2) / 64.
size_t sapEntryCount(size_t size);
// Entry `index` (below sapEntryCount(size)).
SapEntry readSapEntry(const uint8_t* data, size_t size, size_t index);

}  // namespace mgrseek
