// Feeds arbitrary text to the fixture parser and lays out whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wl::perf::Fixture fixture;
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (wl::perf::ParseFixture(text, &fixture, &error)) {
    wlperf::BlockSpec spec;
    spec.objects = fixture.objects;
    const std::vector<BYTE> block = wlperf::BuildBlock(spec);
    if (block.size() < sizeof(PERF_DATA_BLOCK)) __builtin_trap();
  }
  return 0;
}
