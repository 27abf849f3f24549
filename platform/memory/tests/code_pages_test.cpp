// Conversions between UTF-16 and the ANSI (1252), OEM (437) and UTF-8 pages.
#include <gtest/gtest.h>

#include <string>

#include "win32/memory.h"

namespace {

std::u16string Widen(UINT page, const std::string& bytes, DWORD flags = 0) {
  int size =
      MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string wide(static_cast<size_t>(size), u'\0');
  if (size > 0) {
    EXPECT_EQ(MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()),
                                  wide.data(), size),
              size);
  }
  return wide;
}

std::string Narrow(UINT page, const std::u16string& wide, const char* defaultChar = nullptr,
                   BOOL* usedDefault = nullptr) {
  int size = WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                 defaultChar, usedDefault);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size > 0) {
    EXPECT_EQ(WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                                  size, defaultChar, usedDefault),
              size);
  }
  return bytes;
}

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

TEST(CodePages, EightBitPagesRoundTripEveryByte) {
  for (UINT page : {CP_ACP, CP_OEMCP}) {
    std::u16string wide = Widen(page, AllBytes());
    ASSERT_EQ(wide.size(), 256u);
    BOOL usedDefault = TRUE;
    EXPECT_EQ(Narrow(page, wide, "_", &usedDefault), AllBytes()) << "page " << page;
    EXPECT_FALSE(usedDefault);
  }
}

TEST(CodePages, TablesHoldTheWindowsCharacters) {
  std::u16string ansi = Widen(CP_ACP, "\x80\x81\x8A\x9F\xA0\xE9\xFF");
  EXPECT_EQ(ansi, u"\u20AC\u0081\u0160\u0178\u00A0\u00E9\u00FF");
  std::u16string oem = Widen(CP_OEMCP, "\x80\x9E\xB0\xC9\xE1\xE3\xFB\xFF");
  EXPECT_EQ(oem, u"\u00C7\u20A7\u2591\u2554\u00DF\u03C0\u221A\u00A0");

  WCHAR converted[8];
  ASSERT_TRUE(OemToCharW("\x8E\x99 ok", converted));
  EXPECT_EQ(std::u16string(converted), u"\u00C4\u00D6 ok");
}

TEST(CodePages, UnmappableCharactersTakeTheDefault) {
  BOOL usedDefault = FALSE;
  EXPECT_EQ(Narrow(CP_ACP, u"A\u0416\u4E2DB", "_", &usedDefault), "A__B");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(Narrow(CP_ACP, u"\u0416"), "?");
  // No best fit: a letter with a mark outside the page is not replaced by
  // its base letter.
  EXPECT_EQ(Narrow(CP_OEMCP, u"\u0100\u20AC", "_"), "__");
}

TEST(CodePages, TerminatedInputCountsTheTerminatorAndSizesAreChecked) {
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
  char small[3];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, small, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char exact[4];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, exact, 4, nullptr, nullptr), 4);
  EXPECT_STREQ(exact, "abc");

  WCHAR wide[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4), 4);
  EXPECT_EQ(std::u16string(wide), u"abc");
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, wide, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(950, 0, "a", -1, wide, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePages, Utf8HandlesSurrogatesAndInvalidInput) {
  std::u16string text = u"x\u00E9\u20AC\U0001F600";
  std::string utf8 = Narrow(CP_UTF8, text);
  EXPECT_EQ(utf8, "x\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Widen(CP_UTF8, utf8), text);

  EXPECT_EQ(Widen(CP_UTF8, "a\xC3(b\xED\xA0\x80"), u"a\uFFFD(b\uFFFD");
  WCHAR wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  // A truncated sequence at the end is invalid too.
  EXPECT_EQ(Widen(CP_UTF8, "ok\xE2\x82"), u"ok\uFFFD");

  const char16_t lone[] = {u'a', 0xD800, u'b'};
  EXPECT_EQ(Narrow(CP_UTF8, std::u16string(lone, 3)),
            "a\xEF\xBF\xBD"
            "b");
  BOOL used = FALSE;
  char out[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, "_", &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
