#include <gtest/gtest.h>

#include <string>

#include "win32/resources.h"

namespace {

const WlMessageEntry kProgramMessages[] = {{7, "from the program %1\r\n"}};
const WlMessageEntry kProgramStrings[] = {{7, "program string"}};

}  // namespace

WL_DEFINE_MODULE_RESOURCES(kProgramMessages, kProgramStrings);

namespace {

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA(WL_TEST_MODULE_PATH);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override { EXPECT_TRUE(FreeLibrary(module_)); }
  HMODULE module_ = nullptr;
};

TEST_F(ModuleTest, MessagesComeFromTheModulesTable) {
  char buffer[128];
  ASSERT_GT(
      FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module_, 1001, 0, buffer, sizeof buffer, nullptr),
      0u);
  EXPECT_STREQ(buffer, "RIREVU001001I: The test module is loaded.\r\n");
  ASSERT_EQ(
      FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module_, 1, 0, buffer, sizeof buffer, nullptr),
      7u);
  EXPECT_STREQ(buffer, "TESTMOD");

  const DWORD_PTR args[] = {12, reinterpret_cast<DWORD_PTR>("disk"), 0xab};
  ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_,
                           1002, 0, buffer, sizeof buffer,
                           reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args))),
            0u);
  EXPECT_STREQ(buffer, "Value 12 of disk, handle 0xab.\r\n");

  EXPECT_EQ(
      FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module_, 1009, 0, buffer, sizeof buffer, nullptr),
      0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));

  // The program's own table, through the null module.
  const DWORD_PTR one[] = {reinterpret_cast<DWORD_PTR>("x")};
  ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, 7,
                           0, buffer, sizeof buffer,
                           reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(one))),
            0u);
  EXPECT_STREQ(buffer, "from the program x\r\n");
  // A handle that is no module is refused, not followed.
  int notAModule = 0;
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, &notAModule, 1, 0, buffer, sizeof buffer,
                           nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ModuleTest, StringsLoadWithWin32Truncation) {
  WCHAR wide[64];
  EXPECT_EQ(LoadStringW(module_, 102, wide, 64), 12);
  EXPECT_EQ(std::u16string(wide), u"caf\u00e9 au lait");
  EXPECT_EQ(LoadStringW(module_, 102, wide, 5), 4);
  EXPECT_EQ(std::u16string(wide), u"caf\u00e9");
  const WCHAR* pointer = nullptr;
  EXPECT_EQ(LoadStringW(module_, 101, reinterpret_cast<LPWSTR>(&pointer), 0), 14);
  EXPECT_EQ(std::u16string(pointer, 14), u"Description %s");
  EXPECT_EQ(LoadStringW(module_, 999, wide, 64), 0);
  EXPECT_EQ(wide[0], 0);

  char narrow[6];
  // "café" is 5 bytes in UTF-8; a 5-byte buffer holds 4 and must not split é.
  EXPECT_EQ(LoadStringA(module_, 102, narrow, 5), 3);
  EXPECT_STREQ(narrow, "caf");
  EXPECT_EQ(LoadStringA(nullptr, 7, narrow, sizeof narrow), 5);
  EXPECT_STREQ(narrow, "progr");
}

TEST_F(ModuleTest, HandlesNamesAndProcedures) {
  EXPECT_EQ(GetModuleHandleA("WL_TEST_RESOURCES.DLL"), module_);
  EXPECT_EQ(LoadLibraryA("wl_test_resources.dll"), module_);  // already loaded: same module
  EXPECT_TRUE(FreeLibrary(module_));
  EXPECT_EQ(GetModuleHandleA("NOT_LOADED.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);

  using Answer = int (*)();
  auto answer = reinterpret_cast<Answer>(GetProcAddress(module_, "wl_test_module_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(GetProcAddress(module_, "no_such_function"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  // Symbols of other modules are not this module's exports.
  EXPECT_EQ(GetProcAddress(module_, "malloc"), nullptr);
  // A library the program was linked with (not opened by LoadLibraryA) is
  // searched too, and has no tables.
  HMODULE platform = GetModuleHandleA("libwlplatform.so");
  ASSERT_NE(platform, nullptr);
  EXPECT_NE(GetProcAddress(platform, "FormatMessageA"), nullptr);
  char text[16];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, platform, 1, 0, text, sizeof text, nullptr),
            0u);

  char path[4096];
  const DWORD length = GetModuleFileNameA(module_, path, sizeof path);
  ASSERT_GT(length, 0u);
  const std::string file(path, length);
  EXPECT_EQ(file.substr(file.rfind('/') + 1), "libwl_test_resources.so");
  char small[8];
  EXPECT_EQ(GetModuleFileNameA(module_, small, sizeof small), 8u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(small), file.substr(0, 7));

  EXPECT_EQ(LoadLibraryA("/nonexistent/NOPE.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  int notAModule = 0;
  EXPECT_FALSE(FreeLibrary(&notAModule));
}

}  // namespace
