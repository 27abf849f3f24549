// Conversions between the registry's stored text (UTF-8) and the two forms its
// callers use: UTF-16 (the W functions) and 8-bit text (the A functions).
//
// 8-bit text is taken as UTF-8, the host's own encoding; a byte that is not
// part of a well-formed UTF-8 sequence is read as a Windows-1252 character, so
// that every 8-bit input maps to some text and nothing is rejected. UTF-16
// input with an unpaired surrogate gives U+FFFD for that unit.
// Header-only so that the tools share it; no state, any thread.
#pragma once

#include <cstdint>
#include <string>

namespace wl::text {

// Appends the UTF-8 form of code point `cp` to `out`.
inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The Unicode character of a Windows-1252 byte (0x80..0x9F differ from Latin-1).
inline char32_t Windows1252ToUnicode(unsigned char byte) {
  static const char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

// Decodes one code point of `s` at `*pos` and advances `*pos`. Ill-formed
// sequences decode one byte as Windows-1252.
inline char32_t DecodeUtf8(const std::string& s, size_t* pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const size_t i = *pos;
  const unsigned char b0 = byte(i);
  int length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if (b0 < 0x80) {
    *pos = i + 1;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, cp = b0 & 0x07, minimum = 0x10000;
  }
  bool ok = length > 0 && i + length <= s.size();
  for (int k = 1; ok && k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ok = false;
    } else {
      cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
  }
  if (ok && cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
    *pos = i + length;
    return cp;
  }
  *pos = i + 1;
  return Windows1252ToUnicode(b0);
}

// 8-bit text (UTF-8, with stray bytes as Windows-1252) to well-formed UTF-8.
inline std::string NormalizeUtf8(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t pos = 0; pos < s.size();) AppendUtf8(out, DecodeUtf8(s, &pos));
  return out;
}

inline std::string Utf16ToUtf8(const char16_t* s, size_t units) {
  std::string out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

inline std::string Utf16ToUtf8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }

// UTF-16 stored little-endian in `bytes` (an odd last byte is ignored).
inline std::string Utf16LeBytesToUtf8(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return Utf16ToUtf8(units);
}

inline std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t pos = 0; pos < s.size();) {
    char32_t cp = DecodeUtf8(s, &pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

inline std::string Utf8ToUtf16LeBytes(const std::string& s) {
  std::u16string units = Utf8ToUtf16(s);
  std::string out(units.size() * 2, '\0');
  for (size_t i = 0; i < units.size(); ++i) {
    out[2 * i] = static_cast<char>(units[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return out;
}

// Length of a null-terminated UTF-16 string.
inline size_t Utf16Length(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// The key used to compare names without regard to case: ASCII and Latin-1
// letters fold to upper case as Windows does; other characters compare as is.
inline std::string FoldCase(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t cp = DecodeUtf8(utf8, &pos);
    if ((cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)) {
      cp -= 0x20;
    } else if (cp == 0xFF) {
      cp = 0x178;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace wl::text
