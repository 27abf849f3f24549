// CString: assignment and comparison, Format with wide and narrow arguments,
// the string table, 8-bit text.
#include <gtest/gtest.h>

#include <string>

#include "mfc/afxwin.h"
#include "win32/memory.h"

extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

const WlMessageEntry kMessages[] = {{1, "STRTEST%0\r\n"}};
const WlMessageEntry kStrings[] = {
    {106, "%s-%s: %s, v%lu.%lu"},
    {108, "#%d: %s; Driver: %s; Bus: %s."},
    {115, "Processor "},
};

}  // namespace

WL_DEFINE_MODULE_RESOURCES(kMessages, kStrings);

namespace {

std::u16string Str(const CString& s) { return std::u16string(static_cast<LPCWSTR>(s)); }

TEST(CStringTest, AssignsComparesAndEdits) {
  CString empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(Str(empty), u"");
  CString a(u"Alpha");
  CString b = a;
  b += u" beta";
  b += u'!';
  EXPECT_EQ(Str(a), u"Alpha");
  EXPECT_EQ(Str(b), u"Alpha beta!");
  EXPECT_EQ(b.GetLength(), 11);
  CString& same = a;
  a = same;  // self-assignment keeps the text
  EXPECT_TRUE(a == u"Alpha");
  EXPECT_TRUE(a != CString(u"alpha"));
  EXPECT_EQ(a.CompareNoCase(u"ALPHA"), 0);
  EXPECT_LT(a.Compare(u"Alphb"), 0);
  EXPECT_TRUE(CString(u"abc") < CString(u"abd"));
  EXPECT_TRUE(u"b" > CString(u"a"));
  EXPECT_EQ(Str(a + u"/" + b.Left(5)), u"Alpha/Alpha");
  a += a;  // appending itself
  EXPECT_EQ(Str(a), u"AlphaAlpha");

  CString s(u"  Hello, World \r\n");
  s.TrimLeft();
  s.TrimRight();
  EXPECT_EQ(Str(s), u"Hello, World");
  EXPECT_EQ(Str(s.Mid(7)), u"World");
  EXPECT_EQ(Str(s.Mid(7, 100)), u"World");
  EXPECT_EQ(Str(s.Mid(-3, 2)), u"He");
  EXPECT_EQ(Str(s.Right(5)), u"World");
  EXPECT_EQ(Str(s.Left(-1)), u"");
  EXPECT_EQ(s.Find(u'o'), 4);
  EXPECT_EQ(s.Find(u"World"), 7);
  EXPECT_EQ(s.Find(u"Worlds"), -1);
  EXPECT_EQ(s.ReverseFind(u'o'), 8);
  EXPECT_EQ(s.FindOneOf(u",W"), 5);
  EXPECT_EQ(s.GetAt(100), 0);
  s.MakeUpper();
  EXPECT_EQ(Str(s), u"HELLO, WORLD");
  s.MakeLower();
  s.MakeReverse();
  EXPECT_EQ(Str(s), u"dlrow ,olleh");
  s.Empty();
  EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringTest, EightBitTextAnsiAndOem) {
  // Constructors take ANSI (1252) text.
  CString ansi("caf\xe9 \x80");
  EXPECT_EQ(Str(ansi), u"caf\u00e9 \u20ac");
  // OEM (437) text through OemToCharW into the buffer.
  const char* oem = "SYSTEM \x82\x9c";
  CString name;
  LPWSTR buffer = name.GetBuffer(static_cast<int>(strlen(oem)) + 1);
  ASSERT_NE(buffer, nullptr);
  ASSERT_TRUE(OemToCharW(oem, buffer));
  name.ReleaseBuffer();
  EXPECT_EQ(Str(name), u"SYSTEM \u00e9\u00a3");
  EXPECT_EQ(name.GetLength(), 9);
}

TEST(CStringTest, FormatTakesWideAndNarrowArguments) {
  CString s;
  const WCHAR* wide = u"wide";
  const char* narrow = "narrow";
  s.Format(u"[%s|%S|%hs|%ls|%ws]", wide, narrow, narrow, wide, wide);
  EXPECT_EQ(Str(s), u"[wide|narrow|narrow|wide|wide]");
  // The argument's own type wins over the letter: nothing is misread.
  s.Format(u"[%s|%S]", narrow, wide);
  EXPECT_EQ(Str(s), u"[narrow|wide]");
  CString text(u"from a CString");
  s.Format(u"%s", text);
  EXPECT_EQ(Str(s), u"from a CString");
  s.Format(u"%s %s %d", static_cast<const WCHAR*>(nullptr), 5);
  EXPECT_EQ(Str(s), u"(null) (null) 0");  // a number for %s, and a missing argument

  s.Format(u"%d %u %lu %ld %x %X %#x %5d|%-5d|%05d", -7, 4000000000u, 4000000000ul, -2L, 255u, 255u,
           255u, 42, 42, 42);
  EXPECT_EQ(Str(s), u"-7 4000000000 4000000000 -2 ff FF 0xff    42|42   |00042");
  // l is 32-bit as on Windows; ll and I64 take 64 bits.
  s.Format(u"%lu %llu %I64d", 0x100000001ul, 0x100000001ull, -5000000000ll);
  EXPECT_EQ(Str(s), u"1 4294967297 -5000000000");
  s.Format(u"%c%C %.2f %5.1s| 100%% %q %", u'\u00e9', 'A', 2.5, u"xyz");
  EXPECT_EQ(Str(s), u"\u00e9A 2.50     x| 100% %q %");
  s.Format(u"%*d|%-*s|", 4, 7, 3, u"a");
  EXPECT_EQ(Str(s), u"   7|a  |");
  s.Format(u"%99999d", 1);  // widths are capped
  EXPECT_EQ(s.GetLength(), 4096);
}

TEST(CStringTest, LoadStringAndFormatFromTheStringTable) {
  CString prefix;
  ASSERT_TRUE(prefix.LoadString(115));
  EXPECT_EQ(Str(prefix), u"Processor ");
  CString missing(u"old");
  EXPECT_FALSE(missing.LoadString(999));
  EXPECT_TRUE(missing.IsEmpty());

  CString s;
  s.Format(106u, u"Software", u"", u"coreutils", 9u, 1u);
  EXPECT_EQ(Str(s), u"Software-: coreutils, v9.1");
  s.Format(108u, 2, u"ST1000", u"sd", u"SCSI");
  EXPECT_EQ(Str(s), u"#2: ST1000; Driver: sd; Bus: SCSI.");
}

TEST(CStringTest, BuffersAndMemoryShortage) {
  CString s(u"abc");
  LPWSTR buffer = s.GetBufferSetLength(5);
  ASSERT_NE(buffer, nullptr);
  buffer[3] = u'd';
  buffer[4] = u'e';
  s.ReleaseBuffer();
  EXPECT_EQ(Str(s), u"abcde");
  s.FreeExtra();
  EXPECT_EQ(Str(s), u"abcde");
  // A buffer larger than memory: null, and the string emptied, no exception.
  EXPECT_EQ(s.GetBuffer(INT_MAX), nullptr);
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(s.GetBufferSetLength(-1), nullptr);
}

}  // namespace
