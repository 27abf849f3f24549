#include "reg_writer.h"

#include <cstdio>

#include "registry/name_case.h"

namespace wl::regfile {
namespace {

constexpr uint32_t kRegSz = 1, kRegDword = 4;
constexpr size_t kLineWidth = 80;

std::string HexEntry(const std::string& prefix, uint32_t type, const std::string& data) {
  char typeText[24];
  if (type == 3) {
    snprintf(typeText, sizeof typeText, "hex:");
  } else {
    snprintf(typeText, sizeof typeText, "hex(%x):", type);
  }
  std::string out = prefix + typeText;
  size_t lineStart = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    char byte[4];
    snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
    out += byte;
    if (i + 1 == data.size()) break;
    out += ',';
    // Room for the next "xx," and a backslash on this line?
    if (out.size() - lineStart + 4 > kLineWidth - 1) {
      out += "\\\n  ";
      lineStart = out.size() - 2;
    }
  }
  return out + "\n";
}

}  // namespace

std::string Header(Format format) {
  return std::string(format == Format::kVersion5 ? kVersion5Header : kRegedit4Header) + "\n";
}

std::string FormatValue(const std::string& name, uint32_t type, const std::string& data,
                        Format format) {
  const std::string prefix = (name.empty() ? std::string("@") : Quote(name)) + "=";
  if (type == kRegDword && data.size() == 4) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[i]);
    char text[24];
    snprintf(text, sizeof text, "dword:%08x\n", value);
    return prefix + text;
  }
  if (type == kRegSz) {
    std::string text = format == Format::kVersion5 ? text::Utf16LeBytesToUtf8(data) : data;
    // Quoted form only for text that reads back unchanged: one terminator,
    // nothing a line could not hold.
    if (!text.empty() && text.back() == '\0') {
      text.pop_back();
      if (text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) {
        return prefix + Quote(text) + "\n";
      }
    }
  }
  return HexEntry(prefix, type, data);
}

}  // namespace wl::regfile
