#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "win32/resources.h"

namespace {

std::string Format(const char* text, const DWORD_PTR* args, DWORD flags = 0) {
  char buffer[512];
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | flags, text, 0, 0, buffer,
      sizeof buffer, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
  if (length == 0) return "<error " + std::to_string(GetLastError()) + ">";
  EXPECT_EQ(length, strlen(buffer));
  return buffer;
}

std::string FormatV(const char* text, ...) {
  va_list args;
  va_start(args, text);
  char buffer[256];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_STRING, text, 0, 0, buffer, sizeof buffer, &args);
  va_end(args);
  return length == 0 ? "<error " + std::to_string(GetLastError()) + ">" : std::string(buffer);
}

TEST(FormatMessage, InsertsTakeTheirPrintfFormats) {
  const DWORD_PTR args[] = {static_cast<DWORD_PTR>(-5), 0x1f, 4000000000u,
                            reinterpret_cast<DWORD_PTR>("text"), reinterpret_cast<DWORD_PTR>("x")};
  EXPECT_EQ(Format("%1!d! %2!#x! %1!ld! %3!lu! %4!s! %5 %2!u! %2!X!", args),
            "-5 0x1f -5 4000000000 text x 31 1F");
  EXPECT_EQ(Format("[%1!5d!|%1!-5d!|%2!04x!|%4!.2s!|%4!6s!|%4!-6s!]", args),
            "[   -5|-5   |001f|te|  text|text  ]");
  // Inserts may come in any order and more than once.
  EXPECT_EQ(Format("%5%4%5", args), "xtextx");
  const DWORD_PTR none[] = {0};
  EXPECT_EQ(Format("%1!s!", none), "(null)");
}

TEST(FormatMessage, EscapesAndTheEndMark) {
  EXPECT_EQ(Format("100%% done%.%n%tnext%rline%0 never", nullptr), "100% done.\r\n\tnext\rline");
  EXPECT_EQ(Format("VO DEDAZ%0\r\n", nullptr), "VO DEDAZ");
  EXPECT_EQ(Format("keeps\r\nbreaks\r\n", nullptr), "keeps\r\nbreaks\r\n");
  // With a maximum width, written breaks are blanks and %n stays a break.
  EXPECT_EQ(Format("one\r\ntwo%nthree\r\n", nullptr, FORMAT_MESSAGE_MAX_WIDTH_MASK),
            "one two\r\nthree ");
  EXPECT_EQ(Format("aaa bbb ccc dddddddddddd", nullptr, 7), "aaa bbb\r\nccc\r\nddddddd\r\nddddd");
}

TEST(FormatMessage, IgnoredInsertsAreCopiedAndBadOnesRefused) {
  EXPECT_EQ(Format("%1!d! and %2 and %3!q!", nullptr, FORMAT_MESSAGE_IGNORE_INSERTS),
            "%1!d! and %2 and %3!q!");
  const DWORD_PTR args[] = {1};
  EXPECT_EQ(Format("%1!q!", args), "<error 87>");
  EXPECT_EQ(Format("%1!d", args), "<error 87>");
  EXPECT_EQ(Format("%1!99999d!", args), "<error 87>");
  // An insert with no arguments at all.
  char buffer[16];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "%1", 0, 0, buffer, sizeof buffer, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessage, VaListArgumentsFollowEachInsertsType) {
  EXPECT_EQ(FormatV("%2!s!=%1!d!, %3!I64d!, %4!#x!", -7, "seven", 1LL << 40, 255u),
            "seven=-7, 1099511627776, 0xff");
}

TEST(FormatMessage, BufferSizesAndAllocation) {
  char small[5];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "hello", 0, 0, small, sizeof small, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char exact[6];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "hello", 0, 0, exact, sizeof exact, nullptr),
            5u);

  char* allocated = nullptr;
  ASSERT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           "allocated text", 0, 0, reinterpret_cast<LPSTR>(&allocated), 0, nullptr),
            14u);
  ASSERT_NE(allocated, nullptr);
  EXPECT_STREQ(allocated, "allocated text");
  EXPECT_EQ(LocalFree(allocated), nullptr);
}

TEST(FormatMessage, WideFormUsesWideStringsAndNarrowOnRequest) {
  const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(u"wide \u00e9"),
                            reinterpret_cast<DWORD_PTR>("narrow"), 3};
  WCHAR buffer[64];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                     u"CStorageTable::hrInit: %1, %2!S!, %2!hs!, result = %3!d!\r\n", 0, 0, buffer,
                     64, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
  const std::u16string expected =
      u"CStorageTable::hrInit: wide \u00e9, narrow, narrow, result = 3\r\n";
  ASSERT_EQ(length, expected.size());
  EXPECT_EQ(std::u16string(buffer), expected);
}

TEST(FormatMessage, SystemMessagesAndMissingIds) {
  char buffer[128];
  ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, buffer,
                           sizeof buffer, nullptr),
            0u);
  EXPECT_STREQ(buffer, "Access is denied.\r\n");
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0xDEAD, 0, buffer, sizeof buffer,
                           nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(FormatMessageA(0, nullptr, 1, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
