// Feeds arbitrary text to the fixture parser, as a whole document and as the
// contents of its "objects" array, and lays out whatever it accepts. Bytes 1 to
// 12 stand for the schema's keys, so that mutations reach the object, counter
// and instance checks without having to spell the keys out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fixture.h"

namespace {

std::string ExpandKeys(std::string_view text) {
  static const char* const kTokens[] = {"",
                                        "\"objects\":[",
                                        "\"index\":",
                                        "\"name\":",
                                        "\"counters\":[",
                                        "\"size\":",
                                        "\"type\":",
                                        "\"instances\":[",
                                        "\"values\":[",
                                        "\"memory\":{",
                                        "\"drives\":{",
                                        "\"perfFreq\":",
                                        "\"PERF_COUNTER_BULK_COUNT\""};
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 1 && byte < sizeof(kTokens) / sizeof(kTokens[0])) {
      out += kTokens[byte];
    } else {
      out.push_back(c);
    }
  }
  return out;
}

void ParseAndLayOut(std::string_view text) {
  wl::perf::Fixture fixture;
  std::string error;
  if (!wl::perf::ParseFixture(text, &fixture, &error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return;
  }
  wlperf::BlockSpec spec;
  spec.objects = fixture.objects;
  const std::vector<BYTE> block = wlperf::BuildBlock(spec);
  if (block.size() < sizeof(PERF_DATA_BLOCK)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = ExpandKeys(std::string_view(reinterpret_cast<const char*>(data), size));
  ParseAndLayOut(text);
  ParseAndLayOut("{\"objects\": [" + text + "]}");
  return 0;
}
