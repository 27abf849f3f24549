#include "fixture_writer.h"

#include <nlohmann/json.hpp>

#include "counter_types.h"

namespace wl::perf {
namespace {

std::string Quoted(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string NameField(const NameTable& names, DWORD index) {
  const auto entry = names.find(index);
  return entry == names.end() ? std::string() : ", \"name\": " + Quoted(entry->second);
}

std::string Values(const std::vector<wlperf::DecodedValue>& values) {
  std::string out = "[";
  for (size_t k = 0; k < values.size(); ++k) {
    if (k > 0) out += ", ";
    out += std::to_string(values[k].value_or(0));
  }
  return out + "]";
}

std::string Counter(const wlperf::DecodedCounter& counter, const NameTable& names) {
  const char* typeName = CounterTypeName(counter.type);
  return "{ \"index\": " + std::to_string(counter.index) + NameField(names, counter.index) +
         ", \"size\": " + std::to_string(counter.size) +
         ", \"type\": " + (typeName ? Quoted(typeName) : std::to_string(counter.type)) + " }";
}

}  // namespace

std::string WriteFixture(const wlperf::DecodedBlock& block, const NameTable& names,
                         const std::optional<FixtureMemory>& memory,
                         const std::map<std::string, FixtureDrive>& drives) {
  std::string out = "{ \"perfFreq\": " + std::to_string(block.perfFreq) + ",\n";
  out += "  \"perfTime\": " + std::to_string(block.perfTime) + ",\n";
  out += "  \"perfTime100nSec\": " + std::to_string(block.perfTime100nSec) + ",\n";
  if (memory) {
    out += "  \"memory\": { \"totalPhys\": " + std::to_string(memory->totalPhys) +
           ", \"availPhys\": " + std::to_string(memory->availPhys) +
           ", \"totalPageFile\": " + std::to_string(memory->totalPageFile) +
           ", \"availPageFile\": " + std::to_string(memory->availPageFile) +
           ", \"totalVirtual\": " + std::to_string(memory->totalVirtual) +
           ", \"availVirtual\": " + std::to_string(memory->availVirtual) + " },\n";
  }
  out += "  \"drives\": {";
  bool first = true;
  for (const auto& [drive, sizes] : drives) {
    out += first ? "\n" : ",\n";
    first = false;
    out += "    " + Quoted(drive) + ": { \"totalBytes\": " + std::to_string(sizes.totalBytes) +
           ", \"freeBytes\": " + std::to_string(sizes.freeBytes) + " }";
  }
  out += first ? "},\n" : "\n  },\n";
  out += "  \"objects\": [";
  for (size_t o = 0; o < block.objects.size(); ++o) {
    const wlperf::DecodedObject& object = block.objects[o];
    out += o == 0 ? "\n" : ",\n";
    out += "    { \"index\": " + std::to_string(object.index) + NameField(names, object.index) +
           ",\n      \"counters\": [";
    for (size_t c = 0; c < object.counters.size(); ++c) {
      out += c == 0 ? "\n        " : ",\n        ";
      out += Counter(object.counters[c], names);
    }
    out += " ],\n";
    if (object.numInstances == PERF_NO_INSTANCES) {
      out += "      \"values\": " + Values(object.values) + " }";
      continue;
    }
    out += "      \"instances\": [";
    for (size_t i = 0; i < object.instances.size(); ++i) {
      const wlperf::DecodedInstance& instance = object.instances[i];
      out += i == 0 ? "\n        " : ",\n        ";
      out += "{ \"name\": " + Quoted(wlperf::Utf16ToUtf8(instance.name)) +
             ", \"values\": " + Values(instance.values) + " }";
    }
    out += " ] }";
  }
  out += "\n  ] }\n";
  return out;
}

}  // namespace wl::perf
