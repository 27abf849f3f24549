// Profile (INI) files read and written as on Windows.
#include "win32/profile.h"

#include <gtest/gtest.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "files/tests/files_test_support.h"

namespace {

using files_test::ReadFile;
using files_test::TempDirectory;
using files_test::WriteFile;

const char kReport[] =
    "; RIDOVO settings\r\n"
    "Orphan=before any section\r\n"
    "[Report]\r\n"
    "  Flag1 =  \"  Yes  \"  \r\n"
    "flag2='no'\r\n"
    ";Flag3=commented\r\n"
    "Debug = 0x1F\r\n"
    "Neg = -12\r\n"
    "Bad = abc\r\n"
    "Empty =\r\n"
    "Half=\"open\r\n"
    "\r\n"
    "[ TrendFiles ]\r\n"
    "Directory = C:\\TREND \r\n"
    "[report]\r\n"
    "Flag1=second section\r\n";

class Profile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { files_test::UsePrivateRegistry(); }
  void SetUp() override { WriteFile(temp / "RIDOVO.INI", kReport); }
  std::string Read(const char* section, const char* key, const char* fallback = "dflt") {
    char buffer[256];
    DWORD length =
        GetPrivateProfileStringA(section, key, fallback, buffer, sizeof(buffer), file.c_str());
    EXPECT_EQ(length, strlen(buffer));
    return buffer;
  }
  TempDirectory temp;
  std::string file = temp.path() + "\\ridovo.ini";  // name matched without regard to case
};

TEST_F(Profile, NamesIgnoreCaseValuesAreTrimmedAndUnquoted) {
  EXPECT_EQ(Read("REPORT", "flag1"), "  Yes  ");
  EXPECT_EQ(Read("Report", "FLAG2"), "no");
  EXPECT_EQ(Read("trendfiles", "directory"), "C:\\TREND");
  EXPECT_EQ(Read("Report", "Half"), "\"open");
  EXPECT_EQ(Read("Report", "Empty"), "");
  // Comments, lines outside sections and later duplicates do not answer.
  EXPECT_EQ(Read("Report", "Flag3"), "dflt");
  EXPECT_EQ(Read("", "Orphan"), "dflt");
}

TEST_F(Profile, DefaultsLoseTrailingBlanksAndMissingFilesReadEmpty) {
  EXPECT_EQ(Read("Report", "Absent", "  keep lead  "), "  keep lead");
  EXPECT_EQ(Read("Nowhere", "Flag1", nullptr), "");
  file = temp.path() + "\\MISSING.INI";
  EXPECT_EQ(Read("Report", "Flag1"), "dflt");
  EXPECT_EQ(GetPrivateProfileIntA("Report", "Debug", 7, file.c_str()), 7u);
}

TEST_F(Profile, IntegersFollowWindowsParsing) {
  EXPECT_EQ(GetPrivateProfileIntA("report", "debug", 5, file.c_str()), 31u);
  EXPECT_EQ(GetPrivateProfileIntA("Report", "Neg", 5, file.c_str()), static_cast<UINT>(-12));
  EXPECT_EQ(GetPrivateProfileIntA("Report", "Bad", 5, file.c_str()), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("Report", "Empty", 5, file.c_str()), 5u);
  EXPECT_EQ(GetPrivateProfileIntA("Report", "Absent", -3, file.c_str()), static_cast<UINT>(-3));
}

TEST_F(Profile, TruncationGivesTheWindowsCounts) {
  char buffer[16];
  EXPECT_EQ(GetPrivateProfileStringA("Report", "Flag1", "", buffer, 4, file.c_str()), 3u);
  EXPECT_STREQ(buffer, "  Y");
  EXPECT_EQ(GetPrivateProfileStringA("Report", "Flag1", "", buffer, 0, file.c_str()), 0u);

  // Section list: "Report\0TrendFiles\0report\0\0" needs 27 characters.
  char list[64];
  DWORD length = GetPrivateProfileStringA(nullptr, nullptr, "", list, sizeof(list), file.c_str());
  EXPECT_EQ(length, 25u);
  EXPECT_EQ(std::string(list, length + 1), std::string("Report\0TrendFiles\0report\0", 26));
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", list, 10, file.c_str()), 8u);
  EXPECT_EQ(std::string(list, 10), std::string("Report\0T\0\0", 10));

  // Key list of the first [Report] section.
  length = GetPrivateProfileStringA("report", nullptr, "", list, sizeof(list), file.c_str());
  EXPECT_EQ(std::string(list, length),
            std::string("Flag1\0flag2\0Debug\0Neg\0Bad\0Empty\0Half\0", 37));
  EXPECT_EQ(list[length], '\0');

  // An absent section lists nothing.
  list[0] = list[1] = 'x';
  EXPECT_EQ(GetPrivateProfileStringA("Nowhere", nullptr, "d", list, sizeof(list), file.c_str()),
            0u);
  EXPECT_EQ(list[0], '\0');
}

TEST_F(Profile, WritesKeepTheRestOfTheFile) {
  ASSERT_TRUE(WritePrivateProfileStringA("REPORT", "FLAG2", "maybe", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("TrendFiles", "Size", "12", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Report", "Neg", nullptr, file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("New", "Key", "v", file.c_str()));
  std::string expected = kReport;
  expected.replace(expected.find("flag2='no'"), 10, "flag2=maybe");
  expected.erase(expected.find("Neg = -12\r\n"), 11);
  expected.replace(expected.find("Directory = C:\\TREND \r\n"), 23,
                   "Directory = C:\\TREND \r\nSize=12\r\n");
  expected += "[New]\r\nKey=v\r\n";
  EXPECT_EQ(ReadFile(temp / "RIDOVO.INI"), expected);

  ASSERT_TRUE(WritePrivateProfileStringA("report", nullptr, nullptr, file.c_str()));
  EXPECT_EQ(Read("Report", "Debug"), "dflt");
  EXPECT_EQ(Read("TrendFiles", "Size"), "12");
  EXPECT_EQ(ReadFile(temp / "RIDOVO.INI").find("second section"), std::string::npos);
}

TEST_F(Profile, WriteCreatesTheFileButNotItsDirectory) {
  std::string fresh = temp.path() + "\\MGRSEEK.INI";
  ASSERT_TRUE(WritePrivateProfileStringA("Consoles", "1", "10.0.0.1", fresh.c_str()));
  EXPECT_EQ(ReadFile(temp / "MGRSEEK.INI"), "[Consoles]\r\n1=10.0.0.1\r\n");
  std::string nowhere = temp.path() + "\\nodir\\X.INI";
  EXPECT_FALSE(WritePrivateProfileStringA("a", "b", "c", nowhere.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "b", "c", fresh.c_str()));
}

TEST_F(Profile, Utf16FilesReadThroughBothForms) {
  std::u16string text = u"[Report]\r\nName = Gr\u00fc\u00dfe \u0416\r\nDebug=4\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  WriteFile(temp / "WIDE.INI", bytes);
  std::u16string wideFile = u"";
  for (char c : temp.path() + "/wide.ini") wideFile.push_back(static_cast<char16_t>(c));

  WCHAR wide[32];
  DWORD length = GetPrivateProfileStringW(u"report", u"name", u"", wide, 32, wideFile.c_str());
  EXPECT_EQ(std::u16string(wide, length), u"Gr\u00fc\u00dfe \u0416");
  EXPECT_EQ(GetPrivateProfileIntW(u"Report", u"Debug", 0, wideFile.c_str()), 4u);
  // The A form gives Windows-1252, with "?" for what it cannot show.
  std::string narrowFile = temp.path() + "/WIDE.INI";
  char narrow[32];
  GetPrivateProfileStringA("Report", "Name", "", narrow, 32, narrowFile.c_str());
  EXPECT_STREQ(narrow,
               "Gr\xFC\xDF"
               "e ?");

  // A write keeps the file UTF-16.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Report", u"Debug", u"\u0416", wideFile.c_str()));
  std::string written = ReadFile(temp / "WIDE.INI");
  ASSERT_GE(written.size(), 2u);
  EXPECT_EQ(written.substr(0, 2), "\xFF\xFE");
  length = GetPrivateProfileStringW(u"Report", u"Debug", u"", wide, 32, wideFile.c_str());
  EXPECT_EQ(std::u16string(wide, length), u"\u0416");
}

TEST_F(Profile, EightBitTextSurvivesARoundTrip) {
  std::string value = "caf\xE9 \x80 \x81";  // 0x81 is undefined in 1252 yet kept
  ASSERT_TRUE(WritePrivateProfileStringA("Text", "Value", value.c_str(), file.c_str()));
  EXPECT_EQ(Read("Text", "Value"), value);
  EXPECT_NE(ReadFile(temp / "RIDOVO.INI").find("Value=" + value + "\r\n"), std::string::npos);
}

TEST_F(Profile, ConcurrentWritersLoseNoUpdate) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < 25; ++i) {
        std::string key = "K" + std::to_string(t) + "_" + std::to_string(i);
        EXPECT_TRUE(WritePrivateProfileStringA("Load", key.c_str(), key.c_str(), file.c_str()));
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 25; ++i) {
      std::string key = "K" + std::to_string(t) + "_" + std::to_string(i);
      EXPECT_EQ(Read("Load", key.c_str()), key);
    }
  }
  EXPECT_EQ(Read("Report", "Flag2"), "no");
}

TEST_F(Profile, WritersInTwoProcessesLoseNoUpdate) {
  auto writeKeys = [this](const char* prefix) {
    for (int i = 0; i < 30; ++i) {
      std::string key = prefix + std::to_string(i);
      if (!WritePrivateProfileStringA("Shared", key.c_str(), "1", file.c_str())) return false;
    }
    return true;
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(writeKeys("child") ? 0 : 1);
  EXPECT_TRUE(writeKeys("parent"));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(Read("Shared", ("child" + std::to_string(i)).c_str()), "1");
    EXPECT_EQ(Read("Shared", ("parent" + std::to_string(i)).c_str()), "1");
  }
}

}  // namespace
