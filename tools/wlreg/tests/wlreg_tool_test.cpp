#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "registry/tests/registry_test_support.h"
#include "registry_tool.h"
#include "win32/registry.h"

namespace {

using wl::regfile::Format;

// The bytes of a literal, embedded NULs included, without the implicit one.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

class WlregTest : public TempRegistryTest {
 protected:
  // Switches to a second, empty database.
  void UseFreshDatabase(const char* name) {
    const std::string path = dir_ + "/" + name;
    setenv("WARDENLINE_REGISTRY", path.c_str(), 1);
    wl::ResetRegistryForTesting();
  }
  std::string WriteFile(const char* name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string ExportAll(Format format) {
    std::ostringstream out, err;
    EXPECT_EQ(wl::regtool::Export("", format, out, err), 0) << err.str();
    return out.str();
  }
  void Set(HKEY key, const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  void FillWithEveryValueType() {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex\\Wardenline", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    Set(key, "", REG_SZ, Bytes("default\0"));
    Set(key, "PathName", REG_SZ, Bytes("C:\\RIREVUD \"x\" caf\xc3\xa9\0"));
    Set(key, "Lines", REG_SZ, Bytes("one\r\ntwo\0"));
    Set(key, "Expand", REG_EXPAND_SZ, Bytes("%SystemRoot%\\x\0"));
    Set(key, "Multi", REG_MULTI_SZ, Bytes("a\0\xe2\x82\xac\0\0"));
    Set(key, "Count", REG_DWORD, Bytes("\x2a\0\0\x80"));
    std::string blob;
    for (int i = 0; i < 200; ++i) blob.push_back(static_cast<char>(i * 7));
    Set(key, "Blob", REG_BINARY, blob);
    Set(key, "Nothing", REG_BINARY, "");
    Set(key, "None", REG_NONE, "\x01");
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(key, "Empty\\Deeper", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &child, nullptr),
              ERROR_SUCCESS);
    Set(child, "x", REG_DWORD, Bytes("\1\0\0\0"));
    RegCloseKey(child);
    RegCloseKey(key);
  }
};

TEST_F(WlregTest, ExportThenImportGivesTheSameRegistryInBothFormats) {
  FillWithEveryValueType();
  for (Format format : {Format::kVersion5, Format::kRegedit4}) {
    const std::string first = ExportAll(format);
    EXPECT_NE(first.find("\"Count\"=dword:8000002a"), std::string::npos) << first;
    const std::string file = WriteFile("export.reg", first);
    UseFreshDatabase(format == Format::kVersion5 ? "copy5.db" : "copy4.db");
    std::ostringstream err;
    ASSERT_EQ(wl::regtool::Import(file, err), 0) << err.str();
    EXPECT_EQ(ExportAll(format), first);
  }
  // The copy holds the same text for the W readers too.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TARVEX\\WARDENLINE", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  WCHAR text[64];
  DWORD size = sizeof text;
  ASSERT_EQ(RegQueryValueExW(key, u"Multi", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(text, size / 2), std::u16string(u"a\0\u20ac\0\0", 5));
  RegCloseKey(key);
}

TEST_F(WlregTest, ABrokenLineIsReportedAndNothingIsImported) {
  const std::string file = WriteFile("bad.reg",
                                     "Windows Registry Editor Version 5.00\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Partial]\n"
                                     "\"Good\"=dword:00000001\n"
                                     "\n"
                                     "\"Bad\"=dword:xyz\n");
  std::ostringstream err;
  EXPECT_EQ(wl::regtool::Import(file, err), 1);
  EXPECT_NE(err.str().find(file + ":5: "), std::string::npos) << err.str();
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Partial", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);

  // A file that parses but fails while applying is rolled back too.
  const std::string rootDelete = WriteFile("root.reg",
                                           "REGEDIT4\n"
                                           "[HKEY_LOCAL_MACHINE\\Software\\Partial]\n"
                                           "[-HKEY_LOCAL_MACHINE]\n");
  err.str("");
  EXPECT_EQ(wl::regtool::Import(rootDelete, err), 1);
  EXPECT_NE(err.str().find(":3: "), std::string::npos) << err.str();
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Partial", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(WlregTest, DeleteKeyLinesRemoveWholeTrees) {
  FillWithEveryValueType();
  const std::string file = WriteFile("del.reg",
                                     "REGEDIT4\n"
                                     "[-HKLM\\Software\\Tarvex]\n"
                                     "[-HKLM\\Software\\NeverWasThere]\n"
                                     "[HKEY_CURRENT_USER\\Other]\n"
                                     "\"x\"=-\n");
  std::ostringstream err;
  ASSERT_EQ(wl::regtool::Import(file, err), 0) << err.str();
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Other", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD values = 1;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  EXPECT_EQ(values, 0u);
  RegCloseKey(key);
}

// Windows' limits hold on every way of creating a key: the API, `set`, import.
TEST_F(WlregTest, KeyDepthAndNameLimitsHoldOnEveryWritePath) {
  std::string path = "Software";
  for (int level = 2; level <= 512; ++level) path += "\\L";
  HKEY deepest = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &deepest, nullptr),
            ERROR_SUCCESS);
  HKEY tooDeep = nullptr;
  EXPECT_EQ(
      RegCreateKeyExA(deepest, "One", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &tooDeep, nullptr),
      ERROR_INVALID_PARAMETER);
  RegCloseKey(deepest);
  const std::string longName(256, 'n');
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("Software\\" + longName).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &tooDeep, nullptr),
            ERROR_INVALID_PARAMETER);
  std::ostringstream out, err;
  EXPECT_EQ(wl::regtool::Set("HKLM\\" + path + "\\One", "v", "REG_SZ", "x", err), 1);
  EXPECT_NE(err.str().find("invalid parameter"), std::string::npos) << err.str();
  const std::string file =
      WriteFile("deep.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\" + path +
                                "\\One\\Two]\n\"v\"=\"x\"\n");
  EXPECT_EQ(wl::regtool::Import(file, err), 1);
  // The deepest tree allowed exports and deletes.
  EXPECT_EQ(wl::regtool::Export("HKLM\\Software", Format::kVersion5, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("[HKEY_LOCAL_MACHINE\\" + path + "]"), std::string::npos);
  EXPECT_EQ(wl::regtool::Delete("HKLM\\Software", nullptr, err), 0) << err.str();
}

// A tree stored deeper than the limit (as an older version allowed) is deleted
// without exhausting the stack; its export is refused with a reason.
TEST_F(WlregTest, DeepStoredTreeDeletesAndItsExportIsRefused) {
  HKEY top = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Deep", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &top, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(top);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dbPath_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_stmt* insert = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "INSERT INTO reg_keys(parent, name, fold) VALUES "
                               "(IIF(?, last_insert_rowid(), "
                               "(SELECT id FROM reg_keys WHERE fold = 'DEEP')), 'k', 'K')",
                               -1, &insert, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(db);
  for (int level = 0; level < 20000; ++level) {
    sqlite3_bind_int(insert, 1, level);
    ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  ASSERT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  std::ostringstream out, err;
  EXPECT_EQ(wl::regtool::Export("HKLM\\Deep", Format::kVersion5, out, err), 1);
  EXPECT_NE(err.str().find("deeper than 512"), std::string::npos) << err.str();
  ASSERT_EQ(wl::regtool::Delete("HKLM\\Deep", nullptr, err), 0) << err.str();
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Deep", 0, KEY_READ, &top), ERROR_FILE_NOT_FOUND);
}

// Enumeration steps on from where it stopped, and starts over by counting when
// the key changed in between, whoever changed it.
TEST_F(WlregTest, EnumerationFollowsChangesBetweenSteps) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  for (const char* name : {"a", "b", "c", "d"}) Set(key, name, REG_DWORD, Bytes("\1\0\0\0"));
  const auto nameAt = [&](DWORD index) {
    char name[16];
    DWORD count = sizeof name;
    const LONG rc = RegEnumValueA(key, index, name, &count, nullptr, nullptr, nullptr, nullptr);
    return rc == ERROR_SUCCESS ? std::string(name, count) : "error " + std::to_string(rc);
  };
  EXPECT_EQ(nameAt(0), "a");
  EXPECT_EQ(nameAt(1), "b");
  ASSERT_EQ(RegDeleteValueA(key, "a"), ERROR_SUCCESS);  // this process
  EXPECT_EQ(nameAt(2), "d");
  EXPECT_EQ(nameAt(1), "c");
  const pid_t child = fork();  // another process
  if (child == 0) {
    wl::ResetRegistryForTesting();
    HKEY other = nullptr;
    const bool ok =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_ALL_ACCESS, &other) == ERROR_SUCCESS &&
        RegDeleteValueA(other, "c") == ERROR_SUCCESS;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(nameAt(2), "error " + std::to_string(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(nameAt(0), "b");
  EXPECT_EQ(nameAt(1), "d");
  RegCloseKey(key);
}

// The program itself, as a user runs it.
TEST_F(WlregTest, CommandLineSetQueryDelete) {
  const char* build = getenv("WL_BUILD_DIR");
  if (build == nullptr) GTEST_SKIP() << "WL_BUILD_DIR not set";
  const std::string wlreg = std::string(build) + "/bin/wlreg";
  const auto run = [&](const std::string& args, std::string* output) {
    FILE* pipe = popen((wlreg + " " + args + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    output->clear();
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) *output += buffer;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string out;
  ASSERT_EQ(run("set 'HKLM\\Software\\Cli' Count REG_DWORD 0x10", &out), 0) << out;
  ASSERT_EQ(run("set 'HKLM\\Software\\Cli' Path REG_SZ /opt/wardenline", &out), 0) << out;
  EXPECT_EQ(run("set 'HKLM\\Software\\Cli' Count REG_DWORD 12abc", &out), 2);
  ASSERT_EQ(run("query 'HKEY_LOCAL_MACHINE\\software\\cli' count", &out), 0) << out;
  EXPECT_EQ(out, "    Count    REG_DWORD    0x10\n");
  ASSERT_EQ(run("query 'HKLM\\Software\\Cli'", &out), 0);
  EXPECT_NE(out.find("Path    REG_SZ    /opt/wardenline"), std::string::npos) << out;
  ASSERT_EQ(run("delete 'HKLM\\Software\\Cli' Path", &out), 0) << out;
  EXPECT_EQ(run("query 'HKLM\\Software\\Cli' Path", &out), 1);
  ASSERT_EQ(run("delete 'HKLM\\Software'", &out), 0) << out;
  EXPECT_EQ(run("query 'HKLM\\Software\\Cli'", &out), 1);
  EXPECT_EQ(run("frobnicate", &out), 2);
}

}  // namespace
