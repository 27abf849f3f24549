#include "insert_format.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "wltext/utf.h"

namespace wl::msg {
namespace {

constexpr int kMaxDigits = 4;  // width and precision stay below 10000

bool ReadNumber(const std::string& text, size_t* pos, int* value) {
  size_t digits = 0;
  int number = 0;
  while (*pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9') {
    if (++digits > kMaxDigits) return false;
    number = number * 10 + (text[*pos] - '0');
    ++*pos;
  }
  *value = number;
  return digits > 0;
}

// Pads or cuts a string insert; `units` is its length in source units.
void AppendString(const InsertSpec& spec, std::string text, size_t units, std::string* out) {
  const bool left = spec.flags.find('-') != std::string::npos;
  const size_t pad = spec.width > 0 && static_cast<size_t>(spec.width) > units
                         ? static_cast<size_t>(spec.width) - units
                         : 0;
  if (!left) out->append(pad, ' ');
  out->append(text);
  if (left) out->append(pad, ' ');
}

}  // namespace

bool ParseInsertSpec(const std::string& text, bool wideForm, InsertSpec* spec) {
  *spec = InsertSpec();
  size_t pos = 0;
  while (pos < text.size() && strchr("-+ #0", text[pos]) != nullptr && text[pos] != '\0') {
    spec->flags.push_back(text[pos++]);
  }
  if (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
      !ReadNumber(text, &pos, &spec->width)) {
    return false;
  }
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    if (!ReadNumber(text, &pos, &spec->precision)) spec->precision = 0;
    if (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') return false;
  }
  bool hPrefix = false, lPrefix = false, wPrefix = false;
  if (text.compare(pos, 3, "I64") == 0) {
    spec->size = InsertSpec::kLong64;
    pos += 3;
  } else if (text.compare(pos, 3, "I32") == 0) {
    spec->size = InsertSpec::kLong32;
    pos += 3;
  } else if (text.compare(pos, 2, "ll") == 0) {
    spec->size = InsertSpec::kLong64;
    pos += 2;
  } else if (pos < text.size() && text[pos] == 'l') {
    spec->size = InsertSpec::kLong32;
    lPrefix = true;
    ++pos;
  } else if (pos < text.size() && text[pos] == 'h') {
    spec->size = InsertSpec::kShort;
    hPrefix = true;
    ++pos;
  } else if (pos < text.size() && text[pos] == 'w') {
    wPrefix = true;
    ++pos;
  }
  if (pos + 1 != text.size()) return false;
  const char conversion = text[pos];
  if (strchr("diuoxXcCsSp", conversion) == nullptr || conversion == '\0') return false;
  const bool textual = strchr("cCsS", conversion) != nullptr;
  if (wPrefix && !textual) return false;
  if (textual && spec->size == InsertSpec::kLong64) return false;
  spec->conversion = conversion;
  if (textual) {
    const bool upper = conversion == 'S' || conversion == 'C';
    if (lPrefix || wPrefix) {
      spec->forceWide = true;
    } else if (hPrefix) {
      spec->forceNarrow = true;
    } else if (upper) {
      (wideForm ? spec->forceNarrow : spec->forceWide) = true;
    }
    spec->size = InsertSpec::kDefault;
  }
  return true;
}

void AppendInsert(const InsertSpec& spec, bool wideForm, uint64_t slot, std::string* out) {
  const bool wideText = spec.forceWide || (wideForm && !spec.forceNarrow);
  switch (spec.conversion) {
    case 's':
    case 'S': {
      const void* pointer = reinterpret_cast<const void*>(static_cast<uintptr_t>(slot));
      if (pointer == nullptr) {
        AppendString(spec, "(null)", 6, out);
        return;
      }
      const size_t limit = spec.precision >= 0 ? static_cast<size_t>(spec.precision) : SIZE_MAX;
      if (wideText) {
        const char16_t* s = static_cast<const char16_t*>(pointer);
        size_t units = 0;
        while (units < limit && s[units] != 0) ++units;
        AppendString(spec, text::Utf16ToUtf8(s, units), units, out);
      } else {
        const char* s = static_cast<const char*>(pointer);
        size_t units = 0;
        while (units < limit && s[units] != 0) ++units;
        AppendString(spec, std::string(s, units), units, out);
      }
      return;
    }
    case 'c':
    case 'C': {
      std::string one;
      if (wideText) {
        const char16_t unit = static_cast<char16_t>(slot);
        one = text::Utf16ToUtf8(&unit, 1);
      } else {
        one.push_back(static_cast<char>(slot));
      }
      AppendString(spec, one, 1, out);
      return;
    }
    default:
      break;
  }
  std::string format = "%" + spec.flags;
  if (spec.width >= 0) format += std::to_string(spec.width);
  if (spec.precision >= 0) format += "." + std::to_string(spec.precision);
  std::vector<char> buffer(64 + static_cast<size_t>(std::max(spec.width, 0)) +
                           static_cast<size_t>(std::max(spec.precision, 0)));
  int length = 0;
  const bool isSigned = spec.conversion == 'd' || spec.conversion == 'i';
  if (spec.conversion == 'p') {
    format = "%016llX";
    length = snprintf(buffer.data(), buffer.size(), format.c_str(),
                      static_cast<unsigned long long>(slot));
  } else if (spec.size == InsertSpec::kLong64) {
    format += std::string("ll") + spec.conversion;
    length = isSigned ? snprintf(buffer.data(), buffer.size(), format.c_str(),
                                 static_cast<long long>(slot))
                      : snprintf(buffer.data(), buffer.size(), format.c_str(),
                                 static_cast<unsigned long long>(slot));
  } else if (spec.size == InsertSpec::kShort) {
    format += spec.conversion;
    length = isSigned ? snprintf(buffer.data(), buffer.size(), format.c_str(),
                                 static_cast<int>(static_cast<int16_t>(slot)))
                      : snprintf(buffer.data(), buffer.size(), format.c_str(),
                                 static_cast<unsigned>(static_cast<uint16_t>(slot)));
  } else {
    format += spec.conversion;
    length = isSigned ? snprintf(buffer.data(), buffer.size(), format.c_str(),
                                 static_cast<int>(static_cast<int32_t>(slot)))
                      : snprintf(buffer.data(), buffer.size(), format.c_str(),
                                 static_cast<unsigned>(static_cast<uint32_t>(slot)));
  }
  if (length > 0) out->append(buffer.data(), std::min<size_t>(length, buffer.size() - 1));
}

}  // namespace wl::msg
