#include "text.h"

#include <algorithm>

namespace wl::host {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    const size_t start = at;
    while (at < text.size() && !IsBlank(text[at])) ++at;
    if (at > start) words.push_back(text.substr(start, at - start));
  }
  return words;
}

bool ParseUnsigned(std::string_view text, uint64_t* value, int base, uint64_t maximum) {
  text = Trim(text);
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  uint64_t result = 0;
  for (const char c : text) {
    const int digit = DigitValue(c);
    if (digit >= base) return false;
    if (result > (maximum - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
      return false;
    }
    result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  *value = result;
  return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    char32_t c = 0xFFFD;
    size_t length = 1;
    size_t extra = 0;
    char32_t minimum = 0;
    if (byte < 0x80) {
      c = byte;
    } else if ((byte & 0xE0) == 0xC0) {
      extra = 1, c = byte & 0x1F, minimum = 0x80;
    } else if ((byte & 0xF0) == 0xE0) {
      extra = 2, c = byte & 0x0F, minimum = 0x800;
    } else if ((byte & 0xF8) == 0xF0) {
      extra = 3, c = byte & 0x07, minimum = 0x10000;
    }
    if (extra > 0) {
      bool valid = i + extra < text.size();
      for (size_t k = 1; valid && k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
          valid = false;
        } else {
          c = (c << 6) | (next & 0x3F);
        }
      }
      if (valid && c >= minimum && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) {
        length = extra + 1;
      } else {
        c = 0xFFFD;
      }
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(&out, c);
  }
  return out;
}

void CopyWide(WCHAR* field, size_t capacity, std::string_view text) {
  if (capacity == 0) return;
  const std::u16string wide = Utf8ToUtf16(text);
  size_t length = std::min(wide.size(), capacity - 1);
  if (length > 0 && length < wide.size() && wide[length - 1] >= 0xD800 &&
      wide[length - 1] <= 0xDBFF) {
    --length;  // keep a surrogate pair whole
  }
  std::copy(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(length), field);
  std::fill(field + length, field + capacity, u'\0');
}

std::u16string_view WideField(const WCHAR* field, size_t capacity) {
  size_t length = 0;
  while (length < capacity && field[length] != u'\0') ++length;
  return {field, length};
}

bool NaturalLess(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = a[i] >= '0' && a[i] <= '9';
    const bool db = b[j] >= '0' && b[j] <= '9';
    if (da && db) {
      size_t ie = i, je = j;
      while (ie < a.size() && a[ie] == '0') ++ie;
      while (je < b.size() && b[je] == '0') ++je;
      size_t ia = ie, jb = je;
      while (ia < a.size() && a[ia] >= '0' && a[ia] <= '9') ++ia;
      while (jb < b.size() && b[jb] >= '0' && b[jb] <= '9') ++jb;
      if (ia - ie != jb - je) return ia - ie < jb - je;
      const int order = a.substr(ie, ia - ie).compare(b.substr(je, jb - je));
      if (order != 0) return order < 0;
      i = ia, j = jb;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i, ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace wl::host
