// Configuration from a temporary registry, and the access decisions built on it.
#include "service_config.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "access_policy.h"
#include "win32/registry.h"
#include "wltest/platform_env.h"

namespace snmpsvc {
namespace {

class ServiceConfigTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform_ = new wltest::IsolatedPlatform("snmpsvc-config"); }
  static void TearDownTestSuite() {
    delete platform_;
    platform_ = nullptr;
  }
  static void SetString(const std::string& key, const char* name, const std::string& text) {
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(handle);
  }
  static void SetNumber(const std::string& key, const char* name, DWORD number) {
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegCloseKey(handle);
  }
  static std::string Under(const char* child) { return std::string(kParametersKey) + "\\" + child; }

  static wltest::IsolatedPlatform* platform_;
};

wltest::IsolatedPlatform* ServiceConfigTest::platform_ = nullptr;

TEST_F(ServiceConfigTest, EmptyRegistryGivesDefaults) {
  ServiceConfig config = ReadServiceConfig();
  EXPECT_TRUE(config.extensions.empty());
  EXPECT_TRUE(config.communities.empty());
  EXPECT_FALSE(config.authenticationTraps);
  EXPECT_EQ(config.sysServices, 76u);
  EXPECT_TRUE(ReadTrapConfiguration().empty());
}

TEST_F(ServiceConfigTest, ReadsEverySectionAsTheServiceKeepsIt) {
  SetString(Under("ExtensionAgents"), "10", "SOFTWARE\\Test\\Second");
  SetString(Under("ExtensionAgents"), "2", "SOFTWARE\\Test\\First");
  SetString(Under("ExtensionAgents"), "3", "SOFTWARE\\Test\\Missing");
  SetString("SOFTWARE\\Test\\First", "Pathname", "/opt/first.so");
  SetString("SOFTWARE\\Test\\Second", "Pathname", "/opt/second.so");
  SetNumber(Under("ValidCommunities"), "public", 4);
  SetNumber(Under("ValidCommunities"), "private", 8);
  SetString(Under("PermittedManagers"), "1", "127.0.0.1");
  SetNumber(kParametersKey, "EnableAuthenticationTraps", 1);
  SetString(Under("RFC1156Agent"), "sysContact", "ops@example.net");
  SetString(Under("RFC1156Agent"), "sysLocation", "rack 7");
  SetNumber(Under("RFC1156Agent"), "sysServices", 72);
  SetString(Under("TrapConfiguration\\public"), "1", "127.0.0.1:1162");
  SetString(Under("TrapConfiguration\\public"), "2", "0000ABCD.00A0C9123456");

  ServiceConfig config = ReadServiceConfig();
  ASSERT_EQ(config.extensions.size(), 3u);
  // Numeric order of the value names, not text order.
  EXPECT_EQ(config.extensions[0].library, "/opt/first.so");
  EXPECT_EQ(config.extensions[1].library, "");  // key without Pathname
  EXPECT_EQ(config.extensions[2].library, "/opt/second.so");
  EXPECT_EQ(config.communities.at("public"), 4u);
  EXPECT_EQ(config.communities.at("private"), 8u);
  ASSERT_EQ(config.permittedManagers.size(), 1u);
  EXPECT_TRUE(config.authenticationTraps);
  EXPECT_EQ(config.sysContact, "ops@example.net");
  EXPECT_EQ(config.sysLocation, "rack 7");
  EXPECT_EQ(config.sysServices, 72u);

  std::vector<TrapCommunity> traps = ReadTrapConfiguration();
  ASSERT_EQ(traps.size(), 1u);
  EXPECT_EQ(traps[0].community, "public");
  EXPECT_EQ(traps[0].destinations.size(), 2u);
}

TEST(ExpandEnvironment, ReplacesKnownNamesOnly) {
  setenv("SNMPSVC_TEST_ROOT", "/srv/agent", 1);
  EXPECT_EQ(ExpandEnvironment("%SNMPSVC_TEST_ROOT%/lib.so"), "/srv/agent/lib.so");
  EXPECT_EQ(ExpandEnvironment("%NO_SUCH_VARIABLE_HERE%/x"), "%NO_SUCH_VARIABLE_HERE%/x");
  EXPECT_EQ(ExpandEnvironment("100%"), "100%");
}

sockaddr_in Address(const char* text) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, text, &address.sin_addr);
  return address;
}

TEST(AccessPolicy, CommunityRightsAndPermittedManagers) {
  std::map<std::string, uint32_t> communities{
      {"public", 4}, {"private", 8}, {"create", 16}, {"notify", 2}, {"none", 1}};
  std::vector<std::string> unresolved;
  AccessPolicy anyHost(communities, {}, &unresolved);
  sockaddr_in local = Address("127.0.0.1");
  auto* source = reinterpret_cast<const sockaddr*>(&local);
  EXPECT_EQ(anyHost.ForRequest("public", source, sizeof local), Access::kReadOnly);
  EXPECT_EQ(anyHost.ForRequest("private", source, sizeof local), Access::kReadWrite);
  EXPECT_EQ(anyHost.ForRequest("create", source, sizeof local), Access::kReadWrite);
  EXPECT_EQ(anyHost.ForRequest("notify", source, sizeof local), Access::kNone);
  EXPECT_EQ(anyHost.ForRequest("none", source, sizeof local), Access::kNone);
  EXPECT_EQ(anyHost.ForRequest("Public", source, sizeof local), Access::kNone);  // exact match
  EXPECT_EQ(anyHost.ForRequest("unknown", source, sizeof local), Access::kNone);

  AccessPolicy onlyOne(communities, {"10.1.2.3", "no-such-host.invalid"}, &unresolved);
  EXPECT_EQ(unresolved, std::vector<std::string>{"no-such-host.invalid"});
  sockaddr_in permitted = Address("10.1.2.3");
  EXPECT_EQ(onlyOne.ForRequest("public", source, sizeof local), Access::kNone);
  EXPECT_EQ(
      onlyOne.ForRequest("public", reinterpret_cast<const sockaddr*>(&permitted), sizeof permitted),
      Access::kReadOnly);
  // A truncated or missing address is never permitted.
  EXPECT_FALSE(onlyOne.HostPermitted(reinterpret_cast<const sockaddr*>(&permitted), 4));
  EXPECT_FALSE(onlyOne.HostPermitted(nullptr, 0));
}

}  // namespace
}  // namespace snmpsvc
