// The SAP datagram reader and the exclusion line parser on arbitrary bytes:
// never read past the end; what they accept has the promised shape.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent/mgrseek/exclusions.h"
#include "agent/mgrseek/sap_datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> datagram(data, data + size);
  const size_t count = mgrseek::sapEntryCount(size);
  if (count * mgrseek::kSapEntrySize + (count != 0 ? 2 : 0) > size) abort();
  for (size_t i = 0; i <= count; ++i) {
    const mgrseek::SapEntry entry = mgrseek::readSapEntry(datagram.data(), size, i);
    if (entry.name.size() > mgrseek::kSapNameSize) abort();
    if (entry.usable && (entry.name.size() < 20 || !std::isxdigit(entry.name[19]))) abort();
  }
  mgrseek::ManagerEntry* entry =
      mgrseek::parseExclusionLine(std::string(reinterpret_cast<const char*>(data), size));
  if (entry != nullptr && (size < 9 || data[8] != '.')) abort();
  delete entry;
  return 0;
}
