// The store as several processes and damaged files see it.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "registry_test_support.h"
#include "win32/registry.h"

namespace {

class RegistryStoreTest : public TempRegistryTest {};

// Runs `body` in a child process; returns its exit status (or -1).
template <class Body>
int InChild(Body body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

DWORD ReadDword(const char* path, const char* name, LONG* rc) {
  HKEY key = nullptr;
  DWORD value = 0, size = 4;
  *rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
  if (*rc != ERROR_SUCCESS) return 0;
  *rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return value;
}

LONG WriteDword(const char* path, const char* name, DWORD value) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
  RegCloseKey(key);
  return rc;
}

TEST_F(RegistryStoreTest, ProcessesSeeEachOthersWritesInOneOrder) {
  // The parent has the database open before the child exists: the child must
  // not reuse the inherited connection.
  ASSERT_EQ(WriteDword("Software\\Shared", "FromParent", 7), ERROR_SUCCESS);
  const int child = InChild([] {
    LONG rc = 0;
    if (ReadDword("Software\\Shared", "FromParent", &rc) != 7 || rc != ERROR_SUCCESS) return 1;
    for (DWORD i = 0; i < 20; ++i) {
      if (WriteDword("Software\\Shared\\Child", ("v" + std::to_string(i)).c_str(), i) !=
          ERROR_SUCCESS) {
        return 2;
      }
    }
    return 0;
  });
  ASSERT_EQ(child, 0);
  LONG rc = 0;
  EXPECT_EQ(ReadDword("Software\\Shared\\Child", "v19", &rc), 19u);
  EXPECT_EQ(rc, ERROR_SUCCESS);

  // Both processes write at once; nothing is lost, enumeration is the same
  // sequence in both.
  const int writer = fork();
  if (writer == 0) {
    for (int i = 0; i < 50; ++i) {
      if (WriteDword("Software\\Race", ("c" + std::to_string(i)).c_str(), i) != ERROR_SUCCESS) {
        _exit(1);
      }
    }
    _exit(0);
  }
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(WriteDword("Software\\Race", ("p" + std::to_string(i)).c_str(), i), ERROR_SUCCESS);
  }
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  HKEY race = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Race", 0, KEY_READ, &race), ERROR_SUCCESS);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(race, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 100u);
  std::string here;
  for (DWORD i = 0; i < values; ++i) {
    char name[8];
    DWORD count = sizeof name;
    ASSERT_EQ(RegEnumValueA(race, i, name, &count, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    here += std::string(name) + ",";
  }
  RegCloseKey(race);
  EXPECT_EQ(InChild([&] {
              HKEY key = nullptr;
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Race", 0, KEY_READ, &key);
              std::string there;
              char name[8];
              DWORD count = sizeof name;
              for (DWORD i = 0; RegEnumValueA(key, i, name, &count, nullptr, nullptr, nullptr,
                                              nullptr) == ERROR_SUCCESS;
                   ++i, count = sizeof name) {
                there += std::string(name) + ",";
              }
              return there == here ? 0 : 1;
            }),
            0);
}

TEST_F(RegistryStoreTest, ThreadsShareTheConnection) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string key = "Software\\Threads\\T" + std::to_string(t);
      for (int i = 0; i < 25; ++i) {
        if (WriteDword(key.c_str(), ("v" + std::to_string(i)).c_str(), i) != ERROR_SUCCESS) {
          ++failures[t];
        }
        LONG rc = 0;
        if (ReadDword(key.c_str(), ("v" + std::to_string(i)).c_str(), &rc) != DWORD(i) ||
            rc != ERROR_SUCCESS) {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Threads", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD subkeys = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 4u);
  RegCloseKey(key);
}

TEST_F(RegistryStoreTest, CorruptFileAnswersErrorsAndNeverCrashes) {
  {
    std::ofstream junk(dbPath_, std::ios::binary);
    for (int i = 0; i < 4096; ++i) junk.put(static_cast<char>(i * 37 + 11));
  }
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr);
  EXPECT_EQ(rc, ERROR_BADDB);
  EXPECT_EQ(key, nullptr);
  EXPECT_NE(ReadDword("Software\\X", "v", &rc), 1u);
  EXPECT_EQ(rc, ERROR_BADDB);
}

TEST_F(RegistryStoreTest, ValidDatabaseDamagedInsideAnswersErrors) {
  ASSERT_EQ(WriteDword("Software\\Damaged", "v", 1), ERROR_SUCCESS);
  wl::ResetRegistryForTesting();
  // Fold the write-ahead log in, then overwrite the pages after the header.
  {
    int fd = open(dbPath_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::string garbage(8192, '\xA5');
    ASSERT_EQ(pwrite(fd, garbage.data(), garbage.size(), 100),
              static_cast<ssize_t>(garbage.size()));
    close(fd);
  }
  unlink((dbPath_ + "-wal").c_str());
  unlink((dbPath_ + "-shm").c_str());
  LONG rc = 0;
  ReadDword("Software\\Damaged", "v", &rc);
  EXPECT_NE(rc, ERROR_SUCCESS);
  EXPECT_NE(WriteDword("Software\\Damaged", "w", 2), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, MissingDirectoryIsCreatedUnlessItCannotBe) {
  const std::string nested = dir_ + "/a/b/registry.db";
  setenv("WARDENLINE_REGISTRY", nested.c_str(), 1);
  wl::ResetRegistryForTesting();
  EXPECT_EQ(WriteDword("Software\\Nested", "v", 1), ERROR_SUCCESS);

  // A directory that cannot exist (a file is in its way).
  std::ofstream(dir_ + "/file").put('x');
  const std::string blocked = dir_ + "/file/sub/registry.db";
  setenv("WARDENLINE_REGISTRY", blocked.c_str(), 1);
  wl::ResetRegistryForTesting();
  LONG rc = 0;
  ReadDword("Software\\Nested", "v", &rc);
  EXPECT_EQ(rc, ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(WriteDword("Software\\Nested", "v", 1), ERROR_REGISTRY_IO_FAILED);
}

TEST_F(RegistryStoreTest, ReadOnlyDatabaseRefusesWrites) {
  ASSERT_EQ(WriteDword("Software\\ReadOnly", "v", 5), ERROR_SUCCESS);
  wl::ResetRegistryForTesting();
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) GTEST_SKIP() << "no unprivileged user to test with";
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  // As root, file modes do not bind; the check runs as an unprivileged user.
  const int result = InChild([&] {
    if (getuid() == 0 && setuid(nobody->pw_uid) != 0) return 10;
    if (WriteDword("Software\\ReadOnly", "w", 1) == ERROR_SUCCESS) return 1;
    LONG rc = 0;
    const DWORD value = ReadDword("Software\\ReadOnly", "v", &rc);
    // Reading may or may not be possible without write access to the
    // directory; either way the answer is an error code or the true value.
    if (rc == ERROR_SUCCESS && value != 5) return 2;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

}  // namespace
