// The one UTF-8 / UTF-16 converter of the platform layer and its tools.
//
// Encoding (UTF-16 to UTF-8) turns an unpaired surrogate into U+FFFD. Decoding
// (UTF-8 to code points or UTF-16) accepts exactly the well-formed sequences
// of Unicode (no overlong forms, no surrogates, nothing above U+10FFFF); what
// happens to an ill-formed byte depends on the caller's `Malformed` rule:
//   kReplaceSubpart   one U+FFFD per maximal subpart (Unicode's recommended
//                     practice): "\xED\xA0\x80" gives three, "\xE2\x82" at the
//                     end gives one.
//   kReplaceSequence  one U+FFFD for a lead byte together with the
//                     continuation bytes that follow it, up to the length the
//                     lead announces (the rule of MultiByteToWideChar here):
//                     "\xED\xA0\x80" gives one.
//   kWindows1252      the first byte of the ill-formed sequence is read as a
//                     Windows-1252 character and decoding resumes after it, so
//                     that any 8-bit text maps to some text (the registry's
//                     8-bit names and values).
// Every read is bounded by the size given. Header-only so that the tools and
// header-only test helpers share it; no state, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wl::text {

enum class Malformed { kReplaceSubpart, kReplaceSequence, kWindows1252 };

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of code point `cp` to `out` (surrogates and values
// above U+10FFFF are the caller's concern; Utf16ToUtf8 never passes them).
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

// Appends code point `cp` to `out` as one or two UTF-16 units.
inline void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// The Unicode character of a Windows-1252 byte. 0x80..0x9F differ from
// Latin-1; the five bytes the page leaves undefined map to the C1 controls of
// the same value, as Windows does.
inline char32_t Windows1252ToUnicode(unsigned char byte) {
  static const char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

// Decodes one code point of `s` at `*pos` (which must be < s.size()) and
// advances `*pos` past what it consumed. Sets *invalid (may be null) when the
// input there was ill-formed; it is never cleared.
inline char32_t DecodeUtf8(std::string_view s, size_t* pos, Malformed rule,
                           bool* invalid = nullptr) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const size_t i = *pos;
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    *pos = i + 1;
    return lead;
  }
  // Length and the range of the second byte (Unicode's table of well-formed
  // byte sequences); later bytes are always 0x80..0xBF.
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t cp = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  size_t good = length == 0 ? 0 : 1;  // bytes of a well-formed prefix
  while (good > 0 && good < length && i + good < s.size()) {
    const unsigned char next = byte(i + good);
    const unsigned char lo = good == 1 ? low : 0x80;
    const unsigned char hi = good == 1 ? high : 0xBF;
    if (next < lo || next > hi) break;
    cp = (cp << 6) | (next & 0x3F);
    ++good;
  }
  if (length != 0 && good == length) {
    *pos = i + length;
    return cp;
  }
  if (invalid) *invalid = true;
  switch (rule) {
    case Malformed::kReplaceSubpart:
      *pos = i + (good == 0 ? 1 : good);
      return kReplacementCharacter;
    case Malformed::kReplaceSequence: {
      size_t consumed = 1;
      while (consumed < length && i + consumed < s.size() && (byte(i + consumed) & 0xC0) == 0x80) {
        ++consumed;
      }
      *pos = i + consumed;
      return kReplacementCharacter;
    }
    case Malformed::kWindows1252:
      break;
  }
  *pos = i + 1;
  return Windows1252ToUnicode(lead);
}

// UTF-8 (ill-formed bytes handled by `rule`) to UTF-16.
inline std::u16string Utf8ToUtf16(std::string_view s, Malformed rule, bool* invalid = nullptr) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t pos = 0; pos < s.size();) AppendUtf16(out, DecodeUtf8(s, &pos, rule, invalid));
  return out;
}

// 8-bit text (ill-formed bytes handled by `rule`) to well-formed UTF-8.
inline std::string NormalizeUtf8(std::string_view s, Malformed rule) {
  std::string out;
  out.reserve(s.size());
  for (size_t pos = 0; pos < s.size();) AppendUtf8(out, DecodeUtf8(s, &pos, rule));
  return out;
}

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
inline std::string Utf16ToUtf8(const char16_t* s, size_t units) {
  std::string out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacementCharacter;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

inline std::string Utf16ToUtf8(std::u16string_view s) { return Utf16ToUtf8(s.data(), s.size()); }

// UTF-16 stored little-endian in `bytes` to UTF-8 (an odd last byte is ignored).
inline std::string Utf16LeBytesToUtf8(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return Utf16ToUtf8(units);
}

// UTF-8 to UTF-16 stored little-endian.
inline std::string Utf8ToUtf16LeBytes(std::string_view s, Malformed rule) {
  const std::u16string units = Utf8ToUtf16(s, rule);
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

}  // namespace wl::text
