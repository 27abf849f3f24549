#include "code_pages.h"

#include <string_view>

#include "wltext/utf.h"

namespace wl {
namespace {

// Windows-1252, bytes 0x80-0x9F; the rest of the page is ISO 8859-1. The
// five undefined bytes map to the C1 control of the same value.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

// Code page 437, bytes 0x80-0xFF.
constexpr char16_t kOem437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

char16_t ByteToUnit(CodePage page, unsigned char byte) {
  if (byte < 0x80) return byte;
  if (page == CodePage::kOem437) return kOem437High[byte - 0x80];
  if (byte < 0xA0) return kWindows1252High[byte - 0x80];
  return byte;
}

// Reverse lookup for one 8-bit page; -1 when the unit has no byte.
int UnitToByte(CodePage page, char16_t unit) {
  if (unit < 0x80) return unit;
  const char16_t* table = page == CodePage::kOem437 ? kOem437High : kWindows1252High;
  size_t count = page == CodePage::kOem437 ? 128 : 32;
  for (size_t i = 0; i < count; ++i) {
    if (table[i] == unit) return static_cast<int>(0x80 + i);
  }
  if (page == CodePage::kWindows1252 && unit >= 0xA0 && unit <= 0xFF) return unit;
  return -1;
}

}  // namespace

bool CodePageFromId(UINT id, CodePage* page) {
  switch (id) {
    case 0:  // CP_ACP
    case 1252:
      *page = CodePage::kWindows1252;
      return true;
    case 1:  // CP_OEMCP
    case 437:
      *page = CodePage::kOem437;
      return true;
    case 65001:  // CP_UTF8
      *page = CodePage::kUtf8;
      return true;
    default:
      return false;
  }
}

std::u16string DecodeCodePage(CodePage page, const char* data, size_t size, bool* hadInvalid) {
  if (hadInvalid) *hadInvalid = false;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
  if (page == CodePage::kUtf8) {
    return text::Utf8ToUtf16(std::string_view(data, size), text::Malformed::kReplaceSequence,
                             hadInvalid);
  }
  std::u16string out;
  out.reserve(size);
  for (size_t i = 0; i < size; ++i) out.push_back(ByteToUnit(page, bytes[i]));
  return out;
}

std::string EncodeCodePage(CodePage page, const char16_t* text, size_t size, char defaultChar,
                           bool* usedDefault) {
  if (usedDefault) *usedDefault = false;
  if (page == CodePage::kUtf8) return text::Utf16ToUtf8(text, size);
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    int byte = UnitToByte(page, text[i]);
    if (byte < 0) {
      if (usedDefault) *usedDefault = true;
      out.push_back(defaultChar);
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  return out;
}

}  // namespace wl
