// Heap blocks, memory status and the computer name.
#include "win32/memory.h"

#include <ctype.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "win32/resources.h"

namespace {

TEST(Heap, ZeroInitAndFreeFromAnotherThread) {
  auto* block = static_cast<unsigned char*>(GlobalAlloc(GPTR, 4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(block[i], 0) << i;
  void* empty = GlobalAlloc(GMEM_FIXED, 0);
  EXPECT_NE(empty, nullptr);
  HGLOBAL result = block;
  std::thread other([&] { result = GlobalFree(block); });
  other.join();
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(GlobalFree(empty), nullptr);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);

  void* local = LocalAlloc(LPTR, 16);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(local)[15], 0);
  EXPECT_EQ(LocalFree(local), nullptr);
}

TEST(MemoryStatus, ReportsPhysicalMemoryOfTheHost) {
  MEMORYSTATUS status;
  memset(&status, 0xAB, sizeof(status));
  GlobalMemoryStatus(&status);
  EXPECT_EQ(status.dwLength, sizeof(MEMORYSTATUS));
  unsigned long long physical =
      static_cast<unsigned long long>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
  // MemTotal and the page count describe the same memory.
  EXPECT_NEAR(static_cast<double>(status.dwTotalPhys), static_cast<double>(physical),
              physical * 0.01);
  EXPECT_LE(status.dwAvailPhys, status.dwTotalPhys);
  EXPECT_GT(status.dwAvailPhys, 0u);
  EXPECT_LE(status.dwMemoryLoad, 100u);
  EXPECT_LE(status.dwAvailPageFile, status.dwTotalPageFile);
  EXPECT_LE(status.dwAvailVirtual, status.dwTotalVirtual);
}

TEST(ComputerName, UpperCaseHostNameWithWindowsBufferRules) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof(host) - 1), 0);
  std::string expected(host, strcspn(host, "."));
  if (expected.size() > MAX_COMPUTERNAME_LENGTH) expected.resize(MAX_COMPUTERNAME_LENGTH);
  for (char& c : expected) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));

  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof(name);
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_EQ(std::string(name), expected);
  EXPECT_EQ(size, expected.size());

  char tiny[1];
  size = sizeof(tiny);
  EXPECT_FALSE(GetComputerNameA(tiny, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(size, expected.size() + 1);
}

}  // namespace
