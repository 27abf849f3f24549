#include "sap_datagram.h"

#include <cctype>
#include <cstring>

namespace mgrseek {

size_t sapEntryCount(size_t size) { return size < 2 ? 0 : (size - 2) / kSapEntrySize; }

SapEntry readSapEntry(const uint8_t* data, size_t size, size_t index) {
  SapEntry entry;
  if (data == nullptr || index >= sapEntryCount(size)) return entry;
  const uint8_t* p = data + 2 + kSapEntrySize * index;
  std::memcpy(&entry.typeAsStored, p, 2);
  entry.console = (static_cast<uint16_t>(p[0] << 8 | p[1])) == kConsoleServerType;
  const char* name = reinterpret_cast<const char*>(p + 2);
  entry.name.assign(name, strnlen(name, kSapNameSize));
  entry.usable = entry.name.size() >= 20;
  for (size_t i = 0; i < 20 && entry.usable; ++i) {
    entry.usable = std::isxdigit(static_cast<unsigned char>(entry.name[i])) != 0;
  }
  return entry;
}

}  // namespace mgrseek
