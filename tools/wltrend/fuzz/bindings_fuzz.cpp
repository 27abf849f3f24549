// Answers of an agent taken apart into bindings: arbitrary names, types and
// values must be stored or refused, never crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "trend_format.h"
#include "trend_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wltrend::ControlTable table;
  std::vector<std::pair<uint32_t, int32_t>> values;
  size_t at = 0;
  auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  while (at < size) {
    wltrend::Binding binding;
    const bool history = byte() & 1;
    binding.name = history ? wltrend::historyValues(byte() % 4) : wltrend::controlEntry();
    const size_t extra = byte() % 5;
    for (size_t i = 0; i < extra; ++i) binding.name.push_back(byte() % 20);
    binding.kind = static_cast<wltrend::Binding::Kind>(byte() % 5);
    for (int i = 0; i < 5; ++i) binding.integer = (binding.integer << 8) | byte();
    binding.integer -= 1LL << 36;
    const size_t length = byte() * 8u;
    binding.bytes.assign(reinterpret_cast<const char*>(data + at), std::min(length, size - at));
    at += binding.bytes.size();
    std::string error;
    if (history) {
      uint32_t number = 0;
      int32_t value = 0;
      if (wltrend::decodeHistoryBinding(binding, binding.name.size() > 13 ? binding.name[13] : 0,
                                        &number, &value, &error)) {
        values.emplace_back(number, value);
      }
    } else {
      wltrend::storeControlBinding(binding, &table, &error);
    }
  }
  std::string error;
  (void)wltrend::formatControlList(table);
  for (const auto& [key, row] : table) {
    const auto samples = wltrend::buildSamples(row, values);
    (void)wltrend::formatSamples(row, samples);
    (void)wltrend::gnuplotScript(row, samples, wltrend::PlotTarget{}, &error);
  }
  (void)wltrend::parseSince(
      std::string(reinterpret_cast<const char*>(data), std::min<size_t>(size, 48)), 0);
  return 0;
}
