// Feeds arbitrary bytes to the block reader: every length and offset must be
// checked against the bytes given.
#include <cstddef>
#include <cstdint>

#include "wlperf/block_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wlperf::DecodedBlock block;
  std::string error;
  wlperf::DecodeBlock(data, size, &block, &error);
  return 0;
}
