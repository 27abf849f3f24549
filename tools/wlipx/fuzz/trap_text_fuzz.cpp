// The trap decoder on arbitrary bytes: never reads past the end.
#include <cstdint>
#include <string>
#include <vector>

#include "../trap_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> copy(data, data + size);
  std::string text;
  wlipx::DescribeTrap(copy.data(), copy.size(), &text);
  return 0;
}
