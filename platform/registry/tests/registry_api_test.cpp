#include <cstring>
#include <string>
#include <vector>

#include "registry_test_support.h"
#include "win32/registry.h"

namespace {

class RegistryApiTest : public TempRegistryTest {
 protected:
  HKEY Create(const char* path, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, sam, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
  }
  void SetString(HKEY key, const char* name, const char* text) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(strlen(text) + 1)),
              ERROR_SUCCESS);
  }
  void SetDword(HKEY key, const char* name, DWORD value) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_SUCCESS);
  }
};

TEST_F(RegistryApiTest, StringSizesCountTheTerminatorAndTooSmallAsksForMore) {
  HKEY key = Create("Software\\Tarvex\\Wardenline\\CurrentVersion");
  SetString(key, "PathName", "/opt/wardenline");

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "PathName", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 16u);

  char small[8];
  size = sizeof small;
  EXPECT_EQ(
      RegQueryValueExA(key, "PathName", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, 16u);

  char exact[16];
  size = sizeof exact;
  ASSERT_EQ(
      RegQueryValueExA(key, "PathName", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(exact, "/opt/wardenline");

  // The W form sees the same text, in UTF-16 with its own size.
  size = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"pathname", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 32u);
  WCHAR wide[16];
  ASSERT_EQ(
      RegQueryValueExW(key, u"PATHNAME", nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(wide), u"/opt/wardenline");

  // Data pointer without a size pointer, and a reserved pointer, are refused.
  EXPECT_EQ(
      RegQueryValueExA(key, "PathName", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), nullptr),
      ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, WideAndNarrowFormsShareOneStore) {
  HKEY key = Create("Software\\Test");
  const std::u16string text = u"Caf\u00e9 \u20ac";
  ASSERT_EQ(
      RegSetValueExW(key, u"Name\u00e9", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * 2)),
      ERROR_SUCCESS);
  char narrow[32];
  DWORD size = sizeof narrow;
  ASSERT_EQ(RegQueryValueExA(key, "NAME\xc3\x89", nullptr, nullptr, reinterpret_cast<BYTE*>(narrow),
                             &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(narrow, "Caf\xc3\xa9 \xe2\x82\xac");
  EXPECT_EQ(size, strlen(narrow) + 1);

  // A narrow REG_MULTI_SZ read back wide keeps every string and both terminators.
  const char multi[] = "one\0two\0";
  ASSERT_EQ(RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi),
                           sizeof multi),
            ERROR_SUCCESS);
  WCHAR wide[16];
  size = sizeof wide;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"multi", nullptr, &type, reinterpret_cast<BYTE*>(wide), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(size, 9u * 2);
  EXPECT_EQ(std::u16string(wide, 9), std::u16string(u"one\0two\0\0", 9));

  // A string written without its terminator is read back with one.
  ASSERT_EQ(RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
            ERROR_SUCCESS);
  size = sizeof narrow;
  ASSERT_EQ(RegQueryValueExA(key, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(narrow), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(narrow, "abc");
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, BinaryAndDwordKeepTheirBytes) {
  HKEY key = Create("Software\\Test");
  SetDword(key, "Count", 0x12345678);
  const BYTE blob[] = {0, 1, 2, 0, 255};
  ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

  DWORD value = 0, size = 4, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "count", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value, 0x12345678u);

  BYTE out[8] = {};
  size = sizeof out;
  ASSERT_EQ(RegQueryValueExW(key, u"Blob", nullptr, &type, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, sizeof blob);
  EXPECT_EQ(memcmp(out, blob, sizeof blob), 0);

  size = 99;
  ASSERT_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, REG_BINARY);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, KeyAndValueNamesIgnoreCaseButKeepTheirSpelling) {
  HKEY key = Create("Software\\MixedCase");
  SetDword(key, "FirstValue", 1);
  SetDword(key, "Second", 2);
  SetDword(key, "FIRSTVALUE", 3);  // replaces, keeps place and spelling

  HKEY again = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\mixedcase", 0, nullptr, 0, KEY_READ,
                            nullptr, &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  char name[32];
  DWORD nameCount = sizeof name, value = 0, size = 4;
  ASSERT_EQ(RegEnumValueA(again, 0, name, &nameCount, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "FirstValue");
  EXPECT_EQ(nameCount, 10u);
  EXPECT_EQ(value, 3u);

  char keyName[32];
  DWORD keyCount = sizeof keyName;
  HKEY software = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software", 0, KEY_READ, &software), ERROR_SUCCESS);
  ASSERT_EQ(RegEnumKeyExA(software, 0, keyName, &keyCount, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(keyName, "MixedCase");
  RegCloseKey(software);
  RegCloseKey(again);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, EnumerationFollowsCreationOrder) {
  HKEY parent = Create("Software\\Order");
  for (const char* name : {"zeta", "Alpha", "mid"}) {
    HKEY child = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(child);
    SetDword(parent, name, 0);
  }
  std::vector<std::string> keys, values;
  for (DWORD i = 0;; ++i) {
    char name[16];
    DWORD count = sizeof name;
    LONG rc = RegEnumKeyExA(parent, i, name, &count, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    keys.push_back(name);
  }
  for (DWORD i = 0;; ++i) {
    WCHAR name[16];
    DWORD count = 16;
    LONG rc = RegEnumValueW(parent, i, name, &count, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    values.push_back(std::string(name, name + count));
  }
  const std::vector<std::string> expected = {"zeta", "Alpha", "mid"};
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(values, expected);

  // A name buffer one character short answers ERROR_MORE_DATA; so does data.
  char name[5];
  DWORD count = 4;
  EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  BYTE data[2];
  DWORD size = sizeof data;
  count = sizeof name;
  EXPECT_EQ(RegEnumValueA(parent, 0, name, &count, nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  RegCloseKey(parent);
}

TEST_F(RegistryApiTest, DeleteKeyRefusesKeysWithSubkeys) {
  HKEY leaf = Create("Software\\Del\\Leaf");
  RegCloseKey(leaf);
  HKEY del = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Del", 0, KEY_ALL_ACCESS, &del),
            ERROR_SUCCESS);
  SetDword(del, "v", 1);

  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Del"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(del, "LEAF"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(del, "Leaf"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Del"), ERROR_SUCCESS);

  // The handle outlives its key; a key made again under the name is another key.
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(del, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  HKEY fresh = Create("Software\\Del");
  EXPECT_EQ(RegQueryValueExA(del, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryValueExA(fresh, "v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteValueA(fresh, "v"), ERROR_FILE_NOT_FOUND);
  SetDword(fresh, "v", 2);
  EXPECT_EQ(RegDeleteValueA(fresh, "V"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(fresh, "v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(fresh);
  RegCloseKey(del);
}

TEST_F(RegistryApiTest, QueryInfoKeyCountsAndLongestNames) {
  HKEY key = nullptr;
  char keyClass[] = "public";
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Info", 0, keyClass, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  for (const char* name : {"ab", "abcdef"}) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
  }
  SetString(key, "LongerName", "0123456789");  // 11 bytes narrow, 22 wide
  SetDword(key, "x", 1);

  DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0, classLen = 16;
  char cls[16];
  ASSERT_EQ(RegQueryInfoKeyA(key, cls, &classLen, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                             &maxName, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(cls, "public");
  EXPECT_EQ(classLen, 6u);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(maxSubkey, 6u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 10u);
  EXPECT_EQ(maxData, 11u);
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(maxData, 22u);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, HandlesCarryTheirAccessAndUnknownHandlesAreRefused) {
  HKEY writable = Create("Software\\Access");
  RegCloseKey(writable);
  HKEY readOnly = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Access", 0, KEY_READ, &readOnly),
            ERROR_SUCCESS);
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExA(readOnly, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(readOnly), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(readOnly), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(readOnly, "v", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);

  HKEY missing = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nowhere", 0, KEY_READ, &missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryApiTest, PerflibKeyAlwaysOpensAndAnswersItsIndexes) {
  HKEY perflib = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\microsoft\\Windows NT\\CurrentVersion\\PERFLIB",
                    0, KEY_READ, &perflib),
      ERROR_SUCCESS);
  DWORD type = 0, value = 0xFFFFFFFF, size = sizeof value;
  ASSERT_EQ(RegQueryValueExA(perflib, "Last Counter", nullptr, &type,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(RegQueryValueExA(perflib, "Other", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);

  // A value stored under the name wins over the provider's.
  HKEY stored = Create("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib");
  SetDword(stored, "Last Help", 4242);
  size = sizeof value;
  ASSERT_EQ(RegQueryValueExA(perflib, "Last Help", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 4242u);
  RegCloseKey(stored);
  RegCloseKey(perflib);
}

TEST_F(RegistryApiTest, PerformanceDataKeyIsItsOwnHandle) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_PERFORMANCE_DATA, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(key, HKEY_PERFORMANCE_DATA);
  EXPECT_EQ(RegOpenKeyExA(HKEY_PERFORMANCE_DATA, "x", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(HKEY_PERFORMANCE_DATA), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(HKEY_PERFORMANCE_DATA, "x", 0, REG_BINARY, nullptr, 0),
            ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApiTest, TransactionCommitsAllOrNothing) {
  HKEY key = Create("Software\\Tx");
  EXPECT_EQ(wl::RunInRegistryTransaction([&]() -> LONG {
              SetDword(key, "a", 1);
              HKEY child = Create("Software\\Tx\\Child");
              RegCloseKey(child);
              return ERROR_INVALID_DATA;
            }),
            ERROR_INVALID_DATA);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "a", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  HKEY child = nullptr;
  EXPECT_EQ(RegOpenKeyExA(key, "Child", 0, KEY_READ, &child), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(wl::RunInRegistryTransaction([&]() -> LONG {
              SetDword(key, "a", 1);
              return ERROR_SUCCESS;
            }),
            ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "a", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace

namespace {

TEST_F(RegistryApiTest, PerformanceNameTablesReadTheSameInBothForms) {
  DWORD narrowSize = 0, type = 0;
  if (RegQueryValueExA(HKEY_PERFORMANCE_DATA, "Counter 009", nullptr, &type, nullptr,
                       &narrowSize) != ERROR_SUCCESS) {
    GTEST_SKIP() << "no performance data provider";
  }
  std::string narrow(narrowSize + 4096, '\0');
  narrowSize = static_cast<DWORD>(narrow.size());
  ASSERT_EQ(RegQueryValueExA(HKEY_PERFORMANCE_DATA, "Counter 009", nullptr, &type,
                             reinterpret_cast<BYTE*>(narrow.data()), &narrowSize),
            ERROR_SUCCESS);
  DWORD wideSize = 0;
  ASSERT_EQ(
      RegQueryValueExW(HKEY_PERFORMANCE_DATA, u"Counter 009", nullptr, nullptr, nullptr, &wideSize),
      ERROR_SUCCESS);
  std::u16string wide(wideSize / 2, u'\0');
  ASSERT_EQ(RegQueryValueExW(HKEY_PERFORMANCE_DATA, u"Counter 009", nullptr, &type,
                             reinterpret_cast<BYTE*>(wide.data()), &wideSize),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_MULTI_SZ);
  // The same names: each ASCII character becomes one UTF-16 unit.
  narrow.resize(narrowSize);
  while (narrow.size() > 1 && narrow[narrow.size() - 1] == '\0' &&
         narrow[narrow.size() - 2] == '\0')
    narrow.pop_back();
  while (wide.size() > 1 && wide[wide.size() - 1] == 0 && wide[wide.size() - 2] == 0)
    wide.pop_back();
  EXPECT_EQ(std::u16string(narrow.begin(), narrow.end()), wide);
}

}  // namespace
