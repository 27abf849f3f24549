// Directory, search, file-handle and change-notification functions.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "files_test_support.h"
#include "win32/files.h"
#include "win32/sync.h"

namespace {

using files_test::ReadFile;
using files_test::TempDirectory;
using files_test::WriteFile;

class FileFunctions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { files_test::UsePrivateRegistry(); }
  // The Windows spelling of a name in the temporary directory.
  std::string Win(const std::string& name) const { return temp.path() + "\\" + name; }
  TempDirectory temp;
};

std::vector<std::string> FindAll(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(data.cFileName);
  } while (FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(search));
  return names;
}

TEST_F(FileFunctions, CreateDirectoryTwiceReportsAlreadyExists) {
  EXPECT_TRUE(CreateDirectoryA(Win("TREND").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA(Win("TREND").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), 183u);
  EXPECT_FALSE(CreateDirectoryA(Win("a\\b").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  WriteFile(temp / "TREND/1.NT", "x");
  EXPECT_FALSE(RemoveDirectoryA(Win("trend").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_TRUE(DeleteFileA(Win("trend\\1.nt").c_str()));
  EXPECT_TRUE(RemoveDirectoryA(Win("trend").c_str()));
  EXPECT_EQ(GetFileAttributesA(Win("TREND").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileFunctions, FindListsExactExtensionSortedAndCaseBlind) {
  for (const char* name : {"7.NT", "7.NT$", "12.nt", "3.NT", "notes.txt", "README"}) {
    WriteFile(temp / name, "data");
  }
  EXPECT_EQ(FindAll(Win("*.NT")), (std::vector<std::string>{"12.nt", "3.NT", "7.NT"}));
  EXPECT_EQ(FindAll(Win("7.nt")), (std::vector<std::string>{"7.NT"}));
  std::vector<std::string> everything = FindAll(Win("*.*"));
  ASSERT_EQ(everything.size(), 8u);
  EXPECT_EQ(everything[0], ".");
  EXPECT_EQ(everything[1], "..");
  EXPECT_EQ(everything.back(), "README");

  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(Win("3.NT").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 4u);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(FindClose(search));
  EXPECT_FALSE(FindClose(search));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  EXPECT_EQ(FindFirstFileA(Win("*.XYZ").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA(Win("nodir\\*.NT").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileFunctions, FindSurvivesDeletionDuringTheWalk) {
  for (int i = 1; i <= 5; ++i) WriteFile(temp / (std::to_string(i) + ".NT"), "x");
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(Win("*.NT").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int seen = 0;
  do {
    ++seen;
    EXPECT_TRUE(DeleteFileA(Win(data.cFileName).c_str()));
  } while (FindNextFileA(search, &data));
  FindClose(search);
  EXPECT_EQ(seen, 5);
  EXPECT_TRUE(FindAll(Win("*.NT")).empty());
}

TEST_F(FileFunctions, MoveFileRefusesAnExistingTarget) {
  WriteFile(temp / "7.NT", "old");
  WriteFile(temp / "8.NT", "other");
  EXPECT_TRUE(MoveFileA(Win("7.nt").c_str(), Win("7.NT$").c_str()));
  EXPECT_EQ(ReadFile(temp / "7.NT$"), "old");
  EXPECT_FALSE(MoveFileA(Win("8.NT").c_str(), Win("7.NT$").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ReadFile(temp / "7.NT$"), "old");
  EXPECT_FALSE(MoveFileA(Win("missing").c_str(), Win("x").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A change of case alone renames.
  EXPECT_TRUE(MoveFileA(Win("8.NT").c_str(), Win("8.nt").c_str()));
  EXPECT_EQ(ReadFile(temp / "8.nt"), "other");
}

size_t OpenDescriptorCount() {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST_F(FileFunctions, CreateFileDispositionsAndInformation) {
  size_t descriptorsBefore = OpenDescriptorCount();
  std::string path = Win("RIDOVO.INI");
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(file);

  WriteFile(temp / "RIDOVO.INI", std::string(5000, 'x'));
  const char16_t widePath[] = u"ridovo.ini";
  ASSERT_TRUE(SetCurrentDirectoryA(temp.path().c_str()));
  file = CreateFileW(reinterpret_cast<LPCWSTR>(widePath), GENERIC_READ, FILE_SHARE_READ, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(GetFileInformationByHandle(file, &info));
  EXPECT_EQ(info.nFileSizeLow, 5000u);
  EXPECT_EQ(info.nFileSizeHigh, 0u);
  EXPECT_NE(info.ftLastWriteTime.dwHighDateTime, 0u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(GetFileInformationByHandle(file, &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ASSERT_TRUE(SetCurrentDirectoryA("/"));
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);  // closing a handle closes its file

  EXPECT_EQ(CreateFileA(temp.path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetFileAttributesA(temp.path().c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(FileFunctions, LockFileExcludesOtherHandlesUntilClosed) {
  const std::string path = Win("CURVEMIB.LCK");
  HANDLE first =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  HANDLE second =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(LockFile(first, 0, 0, 1, 0));
  EXPECT_FALSE(LockFile(second, 0, 0, 1, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
  EXPECT_TRUE(LockFile(second, 1, 0, 1, 0));  // another range
  EXPECT_FALSE(LockFile(second, 0, 0, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(CloseHandle(first));  // the lock goes with its handle
  EXPECT_TRUE(LockFile(second, 0, 0, 1, 0));
  EXPECT_TRUE(UnlockFile(second, 0, 0, 1, 0));
  EXPECT_TRUE(CloseHandle(second));
}

// An argument the stand-in ignores is named on standard error, once.
TEST_F(FileFunctions, UnsupportedArgumentsGetOneNotice) {
  const std::string path = Win("notice.txt");
  HANDLE first = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 2; ++i) {
    HANDLE second = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, first);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    CloseHandle(second);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wlplatform: CreateFileA: hTemplateFile not supported; ignored\n");
  CloseHandle(first);
}

TEST_F(FileFunctions, OpenFileDeletes) {
  WriteFile(temp / "CURVEMIB.DLL", "x");
  OFSTRUCT info;
  EXPECT_NE(OpenFile(Win("curvemib.dll").c_str(), &info, OF_EXIST), HFILE_ERROR);
  EXPECT_NE(OpenFile(Win("curvemib.dll").c_str(), &info, OF_DELETE), HFILE_ERROR);
  EXPECT_EQ(access((temp / "CURVEMIB.DLL").c_str(), F_OK), -1);
  EXPECT_EQ(OpenFile(Win("curvemib.dll").c_str(), &info, OF_DELETE), HFILE_ERROR);
  EXPECT_EQ(info.nErrCode, ERROR_FILE_NOT_FOUND);
}

TEST_F(FileFunctions, DiskFreeSpaceReproducesTheSizes) {
  DWORD sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA(Win("").c_str(), &sectors, &bytes, &freeClusters, &totalClusters));
  EXPECT_EQ(bytes, 512u);
  EXPECT_GE(sectors, 1u);
  EXPECT_GT(totalClusters, 0u);
  EXPECT_LE(freeClusters, totalClusters);
  // The 32-bit fields reproduce the file system's sizes to within a cluster.
  struct statvfs info;
  ASSERT_EQ(statvfs(temp.path().c_str(), &info), 0);
  double cluster = static_cast<double>(sectors) * bytes;
  EXPECT_NEAR(cluster * totalClusters, static_cast<double>(info.f_blocks) * info.f_frsize, cluster);
  EXPECT_NEAR(cluster * freeClusters, static_cast<double>(info.f_bavail) * info.f_frsize,
              cluster + 64.0 * 1024 * 1024);  // the free space moves while tests run
  EXPECT_FALSE(
      GetDiskFreeSpaceA(Win("missing\\").c_str(), &sectors, &bytes, &freeClusters, &totalClusters));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileFunctions, SystemDirectoryIsADirectory) {
  char buffer[MAX_PATH];
  UINT length = GetSystemDirectoryA(buffer, sizeof(buffer));
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, sizeof(buffer));
  EXPECT_NE(GetFileAttributesA(buffer) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetSystemDirectoryA(buffer, 2), length + 1);
}

TEST_F(FileFunctions, ChangeNotificationSignalsAfterAWrite) {
  WriteFile(temp / "RIDOVO.INI", "[Report]\n");
  std::u16string wide(temp.path().begin(), temp.path().end());
  HANDLE change =
      FindFirstChangeNotificationW(reinterpret_cast<LPCWSTR>(wide.c_str()), FALSE,
                                   FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
  ASSERT_NE(change, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WaitForSingleObject(change, 50), static_cast<DWORD>(WAIT_TIMEOUT));

  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WriteFile(temp / "RIDOVO.INI", "[Report]\nDebug=1\n");
  });
  EXPECT_EQ(WaitForSingleObject(change, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  writer.join();
  // Stays signalled until re-armed.
  EXPECT_EQ(WaitForSingleObject(change, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(WaitForSingleObject(change, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(FindNextChangeNotification(change));
  EXPECT_EQ(WaitForSingleObject(change, 50), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(FindCloseChangeNotification(change));
  EXPECT_FALSE(FindNextChangeNotification(change));

  std::u16string missing = wide + u"/missing";
  EXPECT_EQ(FindFirstChangeNotificationW(reinterpret_cast<LPCWSTR>(missing.c_str()), FALSE,
                                         FILE_NOTIFY_CHANGE_SIZE),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
