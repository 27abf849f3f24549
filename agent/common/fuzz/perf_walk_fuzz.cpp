// Random blocks through the walk: a random class, instance text and matching
// form, the base lookup (each also through a resolved instance table, which
// must give the walk's answers) and the instance listing of a random group. The names
// sit at small title indexes so that random bytes often hit them. A mode bit
// instead feeds the bytes to the counter-name parser.
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/common/counter_classes.h"
#include "agent/common/counter_names.h"
#include "agent/common/instance_table.h"
#include "agent/common/perf_walk.h"
#include "wlperf/block_builder.h"

namespace {

perfwalk::CounterNameTable* standardNames() {
  static perfwalk::CounterNameTable* table = [] {
    auto names = new perfwalk::CounterNameTable;
    std::string text;
    DWORD index = 1;
    auto add = [&](const char* name) {
      text += std::to_string(index++);
      text.push_back('\0');
      text += name;
      text.push_back('\0');
    };
    for (int group = 1; group <= 6; ++group) add(perfwalk::instanceGroupObjectName(group));
    for (int classId = 1; classId < perfwalk::kLastCounterClass; ++classId) {
      const perfwalk::CounterClass* row = perfwalk::counterClass(classId);
      add(row->objectName);
      add(row->counterName);
    }
    text.push_back('\0');
    auto buffer = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(buffer, text.data(), text.size());
    perfwalk::parseCounterNames(names, index, buffer, static_cast<DWORD>(text.size()));
    return names;
  }();
  return table;
}

// A well-formed block holding every object of the class table with two
// instances each, for the mode that patches random words into it.
const std::vector<BYTE>& wellFormedBlock() {
  static const std::vector<BYTE> bytes = [] {
    wlperf::BlockSpec spec;
    DWORD index = 1;
    for (int group = 1; group <= 6; ++group) ++index;  // group names come first
    for (int classId = 1; classId < perfwalk::kLastCounterClass; ++classId) {
      wlperf::ObjectSpec object;
      object.index = index++;
      object.counters = {{index++, 0, 8}, {1, 0, 4}};
      object.hasInstances = classId % 3 != 0;
      object.values = {1, 2};
      object.instances = {{"0", {3, 4}}, {"_Total", {5, 6}}};
      spec.objects.push_back(object);
    }
    return wlperf::BuildBlock(spec);
  }();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t classByte = data[0];
  const uint8_t mode = data[1];
  const size_t textLength = data[2] % 48;
  data += 3;
  size -= 3;

  if (mode & 0x80) {
    // The counter-name parser on the same bytes.
    auto text = static_cast<char*>(std::malloc(size + 1));
    if (size) std::memcpy(text, data, size);
    perfwalk::CounterNameTable table;
    perfwalk::parseCounterNames(&table, classByte * 7u, text, static_cast<DWORD>(size));
    for (DWORD i = 0; i < 2000; i += 13) (void)table.name(i);
    return 0;
  }

  if (textLength > size) return 0;
  std::string instanceText(reinterpret_cast<const char*>(data), textLength);
  instanceText = instanceText.c_str();  // up to the first NUL, as a C string
  data += textLength;
  size -= textLength;

  std::vector<BYTE> patched;
  if (mode & 0x40) {
    patched = wlperf::PatchWords(wellFormedBlock(), data, size);
    data = patched.data();
    size = patched.size();
  }

  // The block in a buffer of exactly its size so that any overread is caught.
  perfwalk::PerfBlock block;
  block.buffer = static_cast<BYTE*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(block.buffer, data, size);
  block.capacity = block.length = static_cast<DWORD>(size);

  const perfwalk::CounterNameTable& names = *standardNames();
  const int classId = classByte % 31 - 1;  // -1 .. 29
  const auto match =
      (mode & 1) ? perfwalk::InstanceMatch::kNameOnly : perfwalk::InstanceMatch::kObjectNamePrefix;
  const char* text = (mode & 2) ? nullptr : instanceText.c_str();
  const perfwalk::CounterClass* row = perfwalk::counterClass(classId);
  perfwalk::InstanceTable table;
  if (row) table.resolve(perfwalk::BlockView(block), names, row->objectName);
  for (bool base : {false, true}) {
    int64_t walked = 7, indexed = 7;
    const int result =
        base ? perfwalk::findBaseValue(names, classId, text, block, match, &walked)
             : perfwalk::findCounterValue(names, classId, text, block, match, &walked);
    if (!row) continue;
    const int tabled =
        base ? perfwalk::findBaseValue(names, classId, text, block, match, table, &indexed)
             : perfwalk::findCounterValue(names, classId, text, block, match, table, &indexed);
    if (tabled != result || indexed != walked) std::abort();
  }

  perfwalk::BlockView view(block);
  (void)view.perfFreq();
  size_t listed = 0;
  const char* groupName = perfwalk::instanceGroupObjectName((mode >> 2) % 7);
  perfwalk::listInstances(view, names, groupName ? groupName : "",
                          [&](const perfwalk::InstanceRef& instance, const char* name) {
                            listed += std::strlen(name);
                            DWORD processId = 0;
                            view.readDword(instance.counterBlock + 8, &processId);
                            return false;
                          });
  return 0;
}
