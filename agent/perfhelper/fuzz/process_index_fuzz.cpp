// Random blocks through the process index, which must answer as the block
// search does: a process name and ID from the input, both counters. A mode bit
// patches random words into a well-formed block of two "Process" objects
// instead of taking the bytes as the block.
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/perfhelper/lookups.h"
#include "wlperf/block_builder.h"

namespace {

void loadNames(perfwalk::CounterNameTable* names) {
  std::string text;
  auto add = [&](int index, const char* name) {
    text += std::to_string(index);
    text.push_back('\0');
    text += name;
    text.push_back('\0');
  };
  add(1, "Process");
  add(2, "ID Process");
  add(3, "Virtual Bytes");
  add(4, "% Processor Time");
  text.push_back('\0');
  auto buffer = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(buffer, text.data(), text.size());
  perfwalk::parseCounterNames(names, 10, buffer, static_cast<DWORD>(text.size()));
}

const std::vector<BYTE>& wellFormedBlock() {
  static const std::vector<BYTE> bytes = [] {
    wlperf::ObjectSpec first;
    first.index = 1;
    first.counters = {{2, 0, 4}, {3, 0, 8}, {4, 0, 8}, {3, 0, 4}};
    first.instances = {{"a", {1, 10, 11, 12}}, {"b", {2, 20, 21, 22}}, {"a", {3, 30, 31, 32}}};
    wlperf::ObjectSpec second;
    second.index = 1;
    second.counters = {{4, 0, 8}, {2, 0, 4}};
    second.instances = {{"a", {40, 1}}, {"c", {50, 5}}};
    wlperf::BlockSpec spec;
    spec.objects = {first, second};
    return wlperf::BuildBlock(spec);
  }();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t mode = data[0];
  const DWORD processId = data[1] % 8;
  const size_t nameLength = data[2] % 4;
  data += 3;
  size -= 3;
  if (nameLength > size) return 0;
  std::string name(reinterpret_cast<const char*>(data), nameLength);
  name = name.c_str();
  data += nameLength;
  size -= nameLength;

  std::vector<BYTE> patched;
  if (mode & 1) {
    patched = wlperf::PatchWords(wellFormedBlock(), data, size);
    data = patched.data();
    size = patched.size();
  }

  perfpeek::Snapshot snapshot;
  loadNames(&snapshot.names);
  perfwalk::PerfBlock& block = snapshot.mainBlock;
  block.buffer = static_cast<BYTE*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(block.buffer, data, size);
  block.capacity = block.length = static_cast<DWORD>(size);

  for (auto which :
       {perfpeek::ProcessCounter::kVirtualBytes, perfpeek::ProcessCounter::kProcessorTime}) {
    int64_t searched = -3, indexed = -3;
    const int expected =
        perfpeek::searchProcessCounter(snapshot, name.c_str(), processId, which, &searched);
    const int result =
        perfpeek::findProcessCounter(snapshot, name.c_str(), processId, which, &indexed);
    if (result != expected || indexed != searched) std::abort();
  }
  return 0;
}
