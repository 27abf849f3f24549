// The listener's datagram handling and the update pass, in process with a
// private registry: what enters the console list, what the key holds after a
// pass, what a pass must never lose, and a kill during rewrites.
#include "agent/mgrseek/discovery.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "agent/mgrseek/exclusions.h"
#include "agent/mgrseek/trap_key.h"
#include "registry_store.h"
#include "win32/registry.h"
#include "win32/sync.h"

namespace mgrseek {
namespace {

struct Value {
  DWORD type;
  std::string data;
  bool operator==(const Value& other) const = default;
};
using Values = std::map<std::string, Value>;

// A console entry named `name` (48 bytes, NUL padded) of server type `type`.
std::string SapEntryBytes(const std::string& name, uint16_t type = 0x026A) {
  std::string entry(64, '\0');
  entry[0] = static_cast<char>(type >> 8);
  entry[1] = static_cast<char>(type);
  entry.replace(2, name.size(), name);
  return entry;
}

std::string Datagram(const std::vector<std::string>& entries) {
  std::string datagram("\x00\x02", 2);
  for (const std::string& entry : entries) datagram += entry;
  return datagram;
}

// Console name: node (12 hex digits) then network (8).
std::string ConsoleName(int n) {
  char name[21];
  std::snprintf(name, sizeof name, "00007F%06X0000000A", n);
  return name;
}

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wlmgrseekXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    setenv("WARDENLINE_OBJECT_NAMESPACE", dir_.c_str(), 1);
    wl::ResetRegistryForTesting();
    listSemaphore = CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
    ASSERT_NE(listSemaphore, nullptr);
  }
  void TearDown() override {
    resetForTesting();
    CloseHandle(listSemaphore);
    listSemaphore = nullptr;
    wl::ResetRegistryForTesting();
    std::filesystem::remove_all(dir_);
  }

  void Accept(const std::string& datagram) {
    acceptDatagram(reinterpret_cast<const uint8_t*>(datagram.data()), datagram.size());
  }

  static void Set(const std::string& name, const std::string& data, DWORD type = REG_SZ) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD size = static_cast<DWORD>(data.size() + (type == REG_SZ ? 1 : 0));
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(data.c_str()), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  // The key's values by name; REG_SZ data without the terminator.
  static Values KeyValues() {
    Values values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return values;
    }
    for (DWORD i = 0;; ++i) {
      char name[512];
      BYTE data[512];
      DWORD nameLength = sizeof name, dataLength = sizeof data, type = 0;
      if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength) !=
          ERROR_SUCCESS) {
        break;
      }
      if (type == REG_SZ && dataLength > 0) --dataLength;
      values[name] = {type, std::string(reinterpret_cast<char*>(data), dataLength)};
    }
    RegCloseKey(key);
    return values;
  }

  static std::vector<std::string> Data(const Values& values) {
    std::vector<std::string> all;
    for (const auto& v : values) all.push_back(v.second.data);
    std::sort(all.begin(), all.end());
    return all;
  }

  std::string dir_;
};

TEST_F(DiscoveryTest, DatagramEntriesThatMakeConsoles) {
  testing::internal::CaptureStdout();
  // 65 bytes hold no whole entry; 66 hold one.
  Accept(Datagram({SapEntryBytes(ConsoleName(1))}).substr(0, 65));
  EXPECT_EQ(countEntries(receivedList), 0u);
  Accept(Datagram({SapEntryBytes(ConsoleName(1))}));
  EXPECT_EQ(countEntries(receivedList), 1u);
  // Again and again: still one.
  for (int i = 0; i < 3; ++i) Accept(Datagram({SapEntryBytes(ConsoleName(1))}));
  EXPECT_EQ(countEntries(receivedList), 1u);
  // Other server types, and console names that are no IPX address, add nothing.
  Accept(Datagram({SapEntryBytes(ConsoleName(2), 0x0004),
                   SapEntryBytes("MY\x1b"
                                 "CONSOLE"),
                   SapEntryBytes(std::string(48, 'F'))}));
  EXPECT_EQ(countEntries(receivedList), 2u);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "type = 6a02 name: " + ConsoleName(1) + "\n" +            //
                "type = 6a02 name: " + ConsoleName(1) + "\n" +        //
                "type = 6a02 name: " + ConsoleName(1) + "\n" +        //
                "type = 6a02 name: " + ConsoleName(1) + "\n" +        //
                "type = 6a02 name: MY?CONSOLE\n" +                    //
                "type = 6a02 name: " + std::string(48, 'F') + "\n");  //
  // The node is the name's first 12 characters, the network the next 8.
  const ManagerEntry* first = receivedList->next;
  EXPECT_EQ(ipxText(*first), "0000000A.00007F000001");

  // 2,000 bytes: 31 whole entries and a partial one.
  resetForTesting();
  std::vector<std::string> entries;
  for (int i = 0; i < 32; ++i) entries.push_back(SapEntryBytes(ConsoleName(100 + i)));
  const std::string big = Datagram(entries).substr(0, 2000);
  testing::internal::CaptureStdout();
  Accept(big);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(countEntries(receivedList), 31u);
}

TEST_F(DiscoveryTest, ConsolesHeardAreCapped) {
  testing::internal::CaptureStdout();
  for (int i = 0; i < static_cast<int>(kMaxConsolesHeard) + 100; ++i) {
    Accept(Datagram({SapEntryBytes(ConsoleName(i))}));
  }
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(countEntries(receivedList), kMaxConsolesHeard);
  size_t lines = 0;
  for (size_t at = out.find("FINDWL Error: 1000 consoles heard"); at != std::string::npos;
       at = out.find("FINDWL Error: 1000 consoles heard", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1u);
}

TEST_F(DiscoveryTest, PassAddsConsolesAndKeepsEveryOtherValueWhole) {
  testing::internal::CaptureStdout();
  // No key: nothing heard, nothing written; a console heard creates the key.
  EXPECT_FALSE(updatePass());
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  Accept(Datagram({SapEntryBytes(ConsoleName(1))}));
  EXPECT_TRUE(updatePass());
  EXPECT_EQ(KeyValues(), (Values{{"1", {REG_SZ, "0000000A.00007F000001"}}}));
  char keyClass[32];
  DWORD classLength = sizeof keyClass;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, KEY_READ, &key), ERROR_SUCCESS);
  RegQueryInfoKeyA(key, keyClass, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  EXPECT_STREQ(keyClass, "public");

  // Destinations of every other shape, among them values longer than any
  // fixed buffer and names longer than 19 characters, before and after one
  // that could end an enumeration.
  const std::vector<std::pair<std::string, Value>> foreign = {
      {"a", {REG_SZ, "10.1.2.3"}},
      {"b", {REG_SZ, "console.example"}},  // one dot, not an IPX address
      {"a name longer than nineteen", {REG_SZ, "v2c:console.management.example.net:1162"}},
      {"c", {REG_SZ, std::string(300, 'h') + ".example"}},
      {"d", {REG_SZ, "0000000a.00007F000001"}},  // differs from a console only in case
      {"e", {REG_DWORD, std::string("\x01\x00\x00\x00", 4)}},
      {"f", {REG_SZ, "0000000A.00007F000001x"}},  // IPX text and more
      {"g", {REG_SZ, "ipxhost"}},
  };
  for (const auto& [name, value] : foreign) Set(name, value.data, value.type);
  Accept(Datagram({SapEntryBytes(ConsoleName(2))}));
  EXPECT_TRUE(updatePass());
  const Values after = KeyValues();
  ASSERT_EQ(after.size(), foreign.size() + 2);
  std::vector<std::string> expected = {"0000000A.00007F000001", "0000000A.00007F000002"};
  for (const auto& [name, value] : foreign) expected.push_back(value.data);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Data(after), expected);
  for (size_t n = 1; n <= after.size(); ++n) EXPECT_EQ(after.count(std::to_string(n)), 1u) << n;
  for (const auto& v : after) {
    EXPECT_EQ(v.second.type,
              v.second.data.size() == 4 && v.second.data[0] == 1 ? REG_DWORD : REG_SZ);
  }
  testing::internal::GetCapturedStdout();
}

TEST_F(DiscoveryTest, ExclusionsAndPassesThatChangeNothing) {
  FILE* file = std::tmpfile();
  std::fputs(
      "# consoles that must not receive traps\n"
      "\n"
      "0000000A.00007F000002\n"
      "0000000A.00007F000003\r\n"
      "0000000A.0000.7F000004\n"  // two dots: skipped
      "000000A.000007F0000005\n"  // the dot is not the 9th character
      "not an address\n",
      file);
  std::fputs((std::string(200, '#') + "0000000A.00007F000009\n").c_str(), file);
  std::rewind(file);
  readExclusions(file, &exclusionList);
  std::fclose(file);
  ASSERT_EQ(countEntries(exclusionList), 2u);

  Set("1", "0000000A.00007F000003");  // put by hand, excluded
  Set("2", "10.0.0.1");
  Accept(Datagram({SapEntryBytes(ConsoleName(1)), SapEntryBytes(ConsoleName(2))}));
  EXPECT_TRUE(updatePass());
  Values values = KeyValues();
  EXPECT_EQ(Data(values), (std::vector<std::string>{"0000000A.00007F000001", "10.0.0.1"}));

  // Nothing new: the key is not written (its last write time stays).
  FILETIME before{}, after{};
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, KEY_READ, &key), ERROR_SUCCESS);
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, &before);
  EXPECT_FALSE(updatePass());
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, &after);
  RegCloseKey(key);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_EQ(KeyValues(), values);
}

TEST_F(DiscoveryTest, KilledDuringRewritesTheKeyIsWhole) {
  // 60 foreign destinations and one console that a helper keeps deleting, so
  // that every pass rewrites the whole key.
  std::vector<std::string> foreign;
  for (int i = 0; i < 60; ++i) {
    foreign.push_back("host" + std::to_string(i) + ".example.net:" + std::to_string(1000 + i));
    Set("v" + std::to_string(i), foreign.back());
  }
  std::sort(foreign.begin(), foreign.end());
  std::mt19937 random(18);
  for (int round = 0; round < 20; ++round) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      freopen("/dev/null", "w", stdout);
      Accept(Datagram({SapEntryBytes(ConsoleName(7))}));
      for (;;) {
        updatePass();
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
          for (const auto& v : KeyValues()) {
            if (v.second.data == "0000000A.00007F000007") RegDeleteValueA(key, v.first.c_str());
          }
          RegCloseKey(key);
        }
      }
    }
    ASSERT_GT(child, 0);
    usleep(20000 + random() % 80000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::vector<std::string> data = Data(KeyValues());
    std::erase(data, std::string("0000000A.00007F000007"));
    ASSERT_EQ(data, foreign) << "round " << round;
  }
}

}  // namespace
}  // namespace mgrseek
