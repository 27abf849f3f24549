// Mapping of Windows paths to host paths and matching of names on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "files_test_support.h"
#include "win32/files.h"

namespace {

using files_test::MapDrive;
using files_test::TempDirectory;

std::string HostPath(const std::string& windowsPath) {
  char buffer[1024];
  DWORD length = wl_host_path(windowsPath.c_str(), buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer))
    return "<error " + std::to_string(GetLastError()) + ">";
  return std::string(buffer, length);
}

class PathMapping : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { files_test::UsePrivateRegistry(); }
  void TearDown() override {
    MapDrive("C:", "");
    MapDrive("D:", "");
  }
  TempDirectory temp;
};

TEST_F(PathMapping, DriveCIsRootUnlessConfigured) {
  EXPECT_EQ(HostPath("C:\\RIREVUD"), "/RIREVUD");
  EXPECT_EQ(HostPath("c:\\"), "/");
  EXPECT_EQ(HostPath("\\tmp\\x"), "/tmp/x");
  ASSERT_TRUE(MapDrive("C:", temp.path()));
  EXPECT_EQ(HostPath("C:\\RIREVUD\\7.NT"), temp / "RIREVUD/7.NT");
  // A changed mapping takes effect at once.
  ASSERT_TRUE(MapDrive("C:", temp / "other"));
  EXPECT_EQ(HostPath("C:\\RIREVUD"), temp / "other/RIREVUD");
}

TEST_F(PathMapping, OtherDrivesNeedAMapping) {
  char buffer[256];
  EXPECT_EQ(wl_host_path("D:\\data", buffer, sizeof(buffer)), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(MapDrive("D:", temp.path() + "/"));
  EXPECT_EQ(HostPath("d:\\data\\x.ini"), temp / "data/x.ini");
}

TEST_F(PathMapping, PosixPathsStayAndSeparatorsMix) {
  EXPECT_EQ(HostPath("/opt/wardenline\\INI\\X.INI"), "/opt/wardenline/INI/X.INI");
  EXPECT_EQ(HostPath("/a//b/./c\\\\d\\"), "/a/b/c/d");
  EXPECT_EQ(HostPath("/srv/a:b\\c"), "/srv/a:b/c");  // ":" is ordinary in host names
}

TEST_F(PathMapping, DotDotNeverClimbsAboveTheDriveDirectory) {
  ASSERT_TRUE(MapDrive("D:", temp.path()));
  EXPECT_EQ(HostPath("D:\\a\\..\\..\\..\\etc\\passwd"), temp / "etc/passwd");
  EXPECT_EQ(HostPath("/a/../../b"), "/b");
}

TEST_F(PathMapping, RelativePathsFollowTheCurrentDirectory) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof(saved)), nullptr);
  ASSERT_TRUE(SetCurrentDirectoryA(temp.path().c_str()));
  EXPECT_EQ(HostPath("INI\\X.INI"), temp / "INI/X.INI");
  EXPECT_EQ(HostPath("..\\" + files_test::LastComponentOf(temp.path()) + "\\x"), temp / "x");
  ASSERT_EQ(chdir(saved), 0);
}

TEST_F(PathMapping, ExistingNamesAreFoundWithoutRegardToCase) {
  ASSERT_EQ(mkdir((temp / "Ini").c_str(), 0755), 0);
  files_test::WriteFile(temp / "Ini/curvemib.ini", "x");
  ASSERT_TRUE(MapDrive("D:", temp.path()));
  EXPECT_EQ(HostPath("D:\\INI\\CURVEMIB.INI"), temp / "Ini/curvemib.ini");
  // A missing name keeps the spelling given, under the existing directory.
  EXPECT_EQ(HostPath("D:\\INI\\NEW.INI"), temp / "Ini/NEW.INI");
  FILE* stream = wl_fopen("D:\\ini\\Curvemib.Ini", "rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(fgetc(stream), 'x');
  fclose(stream);
  // The exact name wins over another spelling.
  files_test::WriteFile(temp / "Ini/CURVEMIB.INI", "y");
  EXPECT_EQ(HostPath("D:\\INI\\CURVEMIB.INI"), temp / "Ini/CURVEMIB.INI");
}

TEST_F(PathMapping, BadArgumentsAndBufferSizes) {
  char small[4];
  EXPECT_EQ(wl_host_path("/abcdef", small, sizeof(small)), 8u);  // size needed
  EXPECT_EQ(wl_host_path(nullptr, small, sizeof(small)), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(wl_host_path("", small, sizeof(small)), 0u);
  EXPECT_EQ(wl_host_path("\\\\server\\share", small, sizeof(small)), 0u);
  EXPECT_EQ(wl_host_path("C:\\a\\b:c", small, sizeof(small)), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));

  EXPECT_EQ(wl_fopen((temp.path() + "\\missing\\x").c_str(), "rb"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(wl_fopen((temp.path() + "\\x").c_str(), "rb"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
