// Any bytes, read as a profile file in any of its encodings, parse without
// fault; the text written back parses to the same sections, and a value set
// reads back.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "memory/code_pages.h"
#include "profile/profile_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  size_t length = size - 1;
  std::u16string text;
  switch (data[0] % 3) {
    case 0:
      text = wl::DecodeCodePage(wl::CodePage::kWindows1252, bytes, length);
      break;
    case 1:
      text = wl::DecodeCodePage(wl::CodePage::kUtf8, bytes, length);
      break;
    default:
      for (size_t i = 0; i + 1 < length; i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                             (static_cast<uint8_t>(bytes[i + 1]) << 8)));
      }
  }
  wl::ProfileDocument document(text);
  wl::ProfileDocument again(document.Text());
  if (again.SectionNames() != document.SectionNames()) abort();

  std::vector<std::u16string> keys;
  for (const std::u16string& section : document.SectionNames()) document.KeyNames(section, &keys);
  document.SetValue(u"Fuzz", u"Key", u"value");
  std::u16string value;
  if (!document.Value(u"fuzz", u"KEY", &value) || value != u"value") abort();
  document.DeleteKey(u"Fuzz", u"Key");
  document.DeleteSection(u"Fuzz");
  if (document.Value(u"Fuzz", u"Key", &value)) abort();
  return 0;
}
