// scripts/install.sh against a private registry: the values it writes, the
// extension-agent number it picks, the files it lays out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "agent/trend/tests/install_root_fixture.h"

namespace trend {
namespace {

using testing_support::readWholeFile;

std::string envOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

struct CommandResult {
  int status = -1;
  std::string output;
};

CommandResult run(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class InstallScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wl-install-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    registryEnv_ = "WARDENLINE_REGISTRY='" + dir_ + "/registry.db' ";
    buildDir_ = envOr("WL_BUILD_DIR", ".");
    // This file is <source>/agent/trend/tests/install_e2e_test.cpp.
    const std::string fromThisFile =
        std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path();
    sourceDir_ = envOr("WL_SOURCE_DIR", fromThisFile.c_str());
    if (!std::filesystem::exists(buildDir_ + "/bin/wlreg")) GTEST_SKIP() << "wlreg is not built";
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  CommandResult install(const std::string& root) {
    return run(registryEnv_ + "'" + sourceDir_ + "/scripts/install.sh' '" + buildDir_ + "' '" +
               root + "'");
  }
  CommandResult wlreg(const std::string& arguments) {
    return run(registryEnv_ + "'" + buildDir_ + "/bin/wlreg' " + arguments);
  }
  std::string exported() { return wlreg("export 'HKEY_LOCAL_MACHINE'").output; }

  std::string dir_;
  std::string registryEnv_;
  std::string buildDir_;
  std::string sourceDir_;
};

TEST_F(InstallScriptTest, RegistersAgentEventSourceAndInstallRoot) {
  const std::string root = dir_ + "/root";
  const CommandResult result = install(root);
  ASSERT_EQ(result.status, 0) << result.output;

  const std::string registry = exported();
  const std::string library =
      std::filesystem::canonical(buildDir_ + "/lib/libcurvemib.so").string();
  EXPECT_NE(registry.find("[HKEY_LOCAL_MACHINE\\Software\\Tarvex\\Wardenline\\CurrentVersion]\n"
                          "\"PathName\"=\"" +
                          root + "\""),
            std::string::npos)
      << registry;
  EXPECT_NE(registry.find("\\CurvemibAgent\\CurrentVersion]\n\"Pathname\"=\"" + library + "\""),
            std::string::npos)
      << registry;
  EXPECT_NE(registry.find("\\Parameters\\ExtensionAgents]\n"
                          "\"1\"=\"SOFTWARE\\\\Tarvex\\\\Wardenline\\\\CurvemibAgent\\\\"
                          "CurrentVersion\""),
            std::string::npos)
      << registry;
  EXPECT_NE(registry.find("\\Application\\VO DEDAZ]\n\"EventMessageFile\"=\"" + library +
                          "\"\n\"TypesSupported\"=dword:00000007"),
            std::string::npos)
      << registry;

  EXPECT_TRUE(std::filesystem::is_directory(root + "/LOGFILES"));
  EXPECT_EQ(readWholeFile(root + "/INI/CURVEMIB.INI"),
            readWholeFile(sourceDir_ + "/agent/trend/sample/CURVEMIB.INI"));
}

TEST_F(InstallScriptTest, TakesFirstFreeNumberAndKeepsItOnReinstall) {
  ASSERT_EQ(wlreg("set 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\"
                  "ExtensionAgents' 1 REG_SZ 'SOFTWARE\\Other\\CurrentVersion'")
                .status,
            0);
  const std::string root = dir_ + "/root";
  ASSERT_EQ(install(root).status, 0);
  std::ofstream(root + "/INI/CURVEMIB.INI") << "# edited by the operator\n";
  const CommandResult again = install(root);
  ASSERT_EQ(again.status, 0) << again.output;

  const std::string registry = exported();
  EXPECT_NE(registry.find("\"1\"=\"SOFTWARE\\\\Other\\\\CurrentVersion\""), std::string::npos)
      << registry;
  EXPECT_NE(registry.find("\"2\"=\"SOFTWARE\\\\Tarvex\\\\Wardenline\\\\CurvemibAgent"),
            std::string::npos)
      << registry;
  // The host resources agent, when built, takes the next number; a reinstall
  // adds no further one.
  if (std::filesystem::exists(buildDir_ + "/lib/libhostmib.so")) {
    EXPECT_NE(registry.find("\"3\"=\"SOFTWARE\\\\Tarvex\\\\Wardenline\\\\HostmibAgent"),
              std::string::npos)
        << registry;
    EXPECT_EQ(registry.find("\"4\"="), std::string::npos) << registry;
  } else {
    EXPECT_EQ(registry.find("\"3\"="), std::string::npos) << registry;
  }
  EXPECT_EQ(readWholeFile(root + "/INI/CURVEMIB.INI"), "# edited by the operator\n");
}

}  // namespace
}  // namespace trend
