// The process lookup's text search, alone and through the pair index, against
// the standard library's: the first byte splits the input into a text and a
// name of UTF-16 units, whose high bytes are mostly equal so that units
// sharing a low byte meet often.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "agent/hostres/sw_installed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::u16string units;
  for (size_t i = 1; i < size; ++i) {
    const uint8_t byte = data[i];
    units.push_back(static_cast<char16_t>((byte & 0x80 ? 0x100 : 0) | (byte & 0x7F)));
  }
  const size_t split = units.empty() ? 0 : data[0] % (units.size() + 1);
  const std::u16string name = units.substr(0, split);
  const std::u16string text = units.substr(split);
  const size_t expected = text.find(name);
  if (HrFindText(text, name) != expected) abort();
  CHRTEXTINDEX index;
  index.Build(text);
  if (index.Find(name) != expected) abort();
  return 0;
}
