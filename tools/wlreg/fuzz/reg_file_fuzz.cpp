// Feeds arbitrary bytes to the .reg parser; every value it accepts must come
// back unchanged through the writer.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "reg_file.h"
#include "reg_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace wl::regfile;
  if (size == 0) return 0;
  // The first byte picks a header, so that short runs get past it.
  static const char* const kHeaders[] = {"", "Windows Registry Editor Version 5.00\n[HKLM\\K]\n",
                                         "REGEDIT4\n[HKCU\\K]\n"};
  const std::string text =
      kHeaders[bytes[0] % 3] + std::string(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  const ParseResult parsed = Parse(text);
  if (!parsed.ok) return 0;
  for (const Operation& op : parsed.operations) {
    if (op.kind != Operation::kSetValue || op.type == 1 || op.type == 2 || op.type == 7) continue;
    const std::string text = Header(parsed.format) + "[HKLM\\K]\n" +
                             FormatValue(op.name, op.type, op.data, parsed.format);
    const ParseResult again = Parse(text);
    if (!again.ok || again.operations.size() != 2 || again.operations[1].data != op.data ||
        again.operations[1].type != op.type || again.operations[1].name != op.name) {
      abort();
    }
  }
  return 0;
}
