#include "reg_file.h"

#include <gtest/gtest.h>

#include <string>

#include "reg_writer.h"

namespace {

using wl::regfile::Format;
using wl::regfile::Operation;
using wl::regfile::Parse;
using wl::regfile::ParseResult;

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n";

TEST(RegFileParse, ReadsEveryFormOfAVersion5File) {
  const ParseResult r = Parse(kV5 +
                              "\r\n"
                              "; comment\r\n"
                              "[HKEY_LOCAL_MACHINE\\Software\\Tarvex]\r\n"
                              "\"PathName\"=\"C:\\\\RIREVUD \\\"q\\\"\"\r\n"
                              "@=\"default\"\r\n"
                              "\"Count\"=dword:0000002a\r\n"
                              "\"Blob\"=hex:01,ff,\\\r\n"
                              "  00\r\n"
                              "\"Exp\"=hex(2):41,00,00,00\r\n"
                              "\"Odd\"=hex(b):01\r\n"
                              "\"Gone\"=-\r\n"
                              "[-HKLM\\Software\\Old]\r\n");
  ASSERT_TRUE(r.ok) << r.errorLine << ": " << r.error;
  EXPECT_EQ(r.format, Format::kVersion5);
  ASSERT_EQ(r.operations.size(), 9u);
  const Operation& key = r.operations[0];
  EXPECT_EQ(key.kind, Operation::kCreateKey);
  EXPECT_EQ(key.root, "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(key.subKey, "Software\\Tarvex");
  EXPECT_EQ(key.line, 4);

  EXPECT_EQ(r.operations[1].name, "PathName");
  EXPECT_EQ(r.operations[1].type, 1u);
  EXPECT_EQ(r.operations[1].data, std::string("C:\\RIREVUD \"q\"\0", 15));
  EXPECT_FALSE(r.operations[1].wide);
  EXPECT_EQ(r.operations[2].name, "");
  EXPECT_EQ(r.operations[3].type, 4u);
  EXPECT_EQ(r.operations[3].data, std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(r.operations[4].type, 3u);
  EXPECT_EQ(r.operations[4].data, std::string("\x01\xff\x00", 3));
  EXPECT_EQ(r.operations[5].type, 2u);
  EXPECT_TRUE(r.operations[5].wide);
  EXPECT_EQ(r.operations[6].type, 0xbu);
  EXPECT_FALSE(r.operations[6].wide);
  EXPECT_EQ(r.operations[7].kind, Operation::kDeleteValue);
  EXPECT_EQ(r.operations[7].name, "Gone");
  EXPECT_EQ(r.operations[8].kind, Operation::kDeleteKey);
  EXPECT_EQ(r.operations[8].subKey, "Software\\Old");
  EXPECT_EQ(r.operations[8].line, 13);
}

TEST(RegFileParse, Regedit4StringsAreEightBitAndUtf16FilesAreRead) {
  ParseResult r = Parse("REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"M\"=hex(7):61,00,00\n");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.format, Format::kRegedit4);
  EXPECT_FALSE(r.operations[1].wide);
  EXPECT_EQ(r.operations[1].root, "HKEY_CURRENT_USER");

  const std::string utf8 = kV5 + "[HKLM\\\xc3\xa9]\n";
  std::string utf16 = "\xFF\xFE";
  for (unsigned char c : std::string(kV5 + "[HKLM\\")) {
    utf16.push_back(static_cast<char>(c));
    utf16.push_back('\0');
  }
  utf16 += std::string("\xE9\0]\0\n\0", 6);
  r = Parse(utf16);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.operations[0].subKey, "\xc3\xa9");
}

TEST(RegFileParse, ErrorsNameTheirLineAndYieldNothing) {
  struct Case {
    std::string text;
    int line;
    const char* reason;
  } cases[] = {
      {"REGEDIT5\n", 1, "not a registration file"},
      {kV5 + "\"a\"=\"b\"\n", 2, "value outside a key"},
      {kV5 + "[HKLM\\A]\n\"a\"=hex:01,\\\n  02,zz\n", 4, "bad hex byte"},
      {kV5 + "[HKLM\\A]\n\"a\"=hex:01,\\\n", 3, "file ends inside a continued line"},
      {kV5 + "[HKLM\\A]\n\n\"a\"=\"open\n", 4, "missing closing quote"},
      {kV5 + "[HKLM\\A]\n\"a\"=\"C:\\dir\"\n", 3, "unknown escape"},
      {kV5 + "[HKLM\\A]\n\"a\"=dword:123456789\n", 3, "1 to 8 hex digits"},
      {kV5 + "[HKEY_NOWHERE\\A]\n", 2, "unknown root key"},
      {kV5 + "[-HKLM\\A]\n\"a\"=\"b\"\n", 3, "key being deleted"},
      {kV5 + "[HKLM\\A]\n\"a\"=\"b\" trailing\n", 3, "unexpected text"},
      {kV5 + "[HKLM\\A]\n\"a\"=hex:,01\n", 3, "missing hex byte"},
      {kV5 + "[HKLM\\A]\n\"a\"=word:1\n", 3, "unknown value data"},
      {kV5 + "[HKLM\\A\n", 2, "missing ]"},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(c.text);
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_EQ(r.errorLine, c.line) << c.text;
    EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.text << " -> " << r.error;
    EXPECT_TRUE(r.operations.empty());
  }
}

// What the writer writes, the parser reads back to the same type and bytes.
TEST(RegFileWriter, ValuesReadBackUnchanged) {
  std::string longBlob;
  for (int i = 0; i < 300; ++i) longBlob.push_back(static_cast<char>(i));
  const std::string wideText("a\0\r\0\n\0\0\0", 8);  // REG_SZ with a line break
  struct Case {
    std::string name;
    uint32_t type;
    std::string data;
    Format format;
    bool wide;
  } cases[] = {
      {"Count", 4, std::string("\x01\x02\x03\x04", 4), Format::kVersion5, false},
      {"", 3, longBlob, Format::kVersion5, false},
      {"Empty", 3, "", Format::kVersion5, false},
      {"Q\"uo\\te", 1, std::string("x\0\0\0", 4), Format::kVersion5, true},
      {"Line", 1, wideText, Format::kVersion5, true},
      {"Exp", 2, std::string("%\0P\0%\0\0\0", 8), Format::kVersion5, true},
      {"Multi", 7, std::string("a\0b\0\0", 5), Format::kRegedit4, false},
      {"Short", 4, std::string("\x01\x02", 2), Format::kRegedit4, false},
      {"Odd", 0x20, "\x7f", Format::kRegedit4, false},
  };
  for (const Case& c : cases) {
    const std::string entry = wl::regfile::FormatValue(c.name, c.type, c.data, c.format);
    for (size_t start = 0, end; (end = entry.find('\n', start)) != std::string::npos;
         start = end + 1) {
      EXPECT_LE(end - start, 80u) << entry;
    }
    const ParseResult r = Parse(wl::regfile::Header(c.format) + "[HKLM\\K]\n" + entry);
    ASSERT_TRUE(r.ok) << entry << r.error;
    ASSERT_EQ(r.operations.size(), 2u);
    const Operation& op = r.operations[1];
    EXPECT_EQ(op.name, c.name);
    EXPECT_EQ(op.type, c.type) << entry;
    if (c.type == 1 && op.wide != c.wide) {
      // A quoted string comes back as 8-bit text of the same content.
      EXPECT_EQ(op.data, "x" + std::string(1, '\0'));
    } else {
      EXPECT_EQ(op.data, c.data) << entry;
      EXPECT_EQ(op.wide, c.wide) << entry;
    }
  }
}

}  // namespace
