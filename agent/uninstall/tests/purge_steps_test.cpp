// The uninstaller's steps on a private registry, menu directories, system
// prefix and install root.
#include "agent/uninstall/purge_steps.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "agent/uninstall/safe_delete.h"
#include "agent/uninstall/search_path.h"
#include "registry_store.h"
#include "win32/registry.h"
#include "win32/winsvc.h"

namespace fs = std::filesystem;
using namespace purgewiz;

namespace {

class PurgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/purgewiz-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    setenv("WARDENLINE_SYSTEM_PREFIX", (dir_ + "/sys").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (dir_ + "/xdg").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir_ + "/share").c_str(), 1);
    wl::ResetRegistryForTesting();
    purgeState = PurgeState{};
    purgeState.configFile = dir_ + "/UNINST.INI";
    purgeState.secondMs = 1;
    purgeState.serviceStopSeconds = 3;
    purgeState.dpkgInfoDir = dir_ + "/dpkg";
    fs::create_directories(purgeState.dpkgInfoDir);
  }
  void TearDown() override {
    wl::ResetRegistryForTesting();
    fs::remove_all(dir_);
  }
  void Config(const std::string& text) { std::ofstream(purgeState.configFile) << text; }
  void SetString(const std::string& key, const char* name, const std::string& value) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(k);
  }
  bool KeyExists(const std::string& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
      return false;
    RegCloseKey(k);
    return true;
  }
  std::string GetString(const std::string& key, const char* name) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
      return "<no key>";
    char buffer[1024] = "";
    DWORD size = sizeof buffer - 1, type = 0;
    const LONG r =
        RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(k);
    return r == ERROR_SUCCESS ? std::string(buffer) : "<none>";
  }
  // A service with an init script that records its state in a file.
  void Service(const std::string& name, bool stops) {
    SetString("SYSTEM\\CurrentControlSet\\Services\\" + name, "ImagePath", "/x/" + name);
    const std::string script = dir_ + "/sys/etc/init.d/" + name;
    fs::create_directories(dir_ + "/sys/etc/init.d");
    std::ofstream(script) << "#!/bin/sh\nstate=" << dir_ << "/" << name << ".state\n"
                          << "case $1 in stop) " << (stops ? "rm -f $state" : "true")
                          << ";; start) touch $state;; status) test -f $state;; esac\n";
    chmod(script.c_str(), 0755);
    std::ofstream(dir_ + "/" + name + ".state");
  }
  std::string dir_;
};

const char kAgent[] = "SOFTWARE\\Tarvex\\Wardenline\\CurrentVersion";
const char kEnv[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

TEST_F(PurgeTest, AgentKeyVersionAndInstallRoot) {
  EXPECT_FALSE(findAgent());  // "No Wardenline Agent found"
  SetString(kAgent, "PathName", std::string(200, 'r'));
  EXPECT_TRUE(findAgent());
  EXPECT_EQ(purgeState.installRoot, "");  // longer than 128 bytes: none
  EXPECT_EQ(purgeState.ntVersion, 0);
  SetString(kAgent, "PathName", "/srv/agent");
  SetString("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", "3.51");
  EXPECT_TRUE(findAgent());
  EXPECT_EQ(purgeState.installRoot, "/srv/agent");
  EXPECT_DOUBLE_EQ(purgeState.ntVersion, 3.51);
}

TEST_F(PurgeTest, CountsAreReadLikeTheProfileFunctionAndCapped) {
  Config("[S]\na= 12x\nb=-3\nc=\nd=99999999999999999999\ne=+7\n");
  EXPECT_EQ(readCount("S", "a"), 12);
  EXPECT_EQ(readCount("S", "b"), 0);
  EXPECT_EQ(readCount("S", "c"), 0);
  EXPECT_EQ(readCount("S", "missing"), 0);
  EXPECT_EQ(readCount("S", "d"), kMaxCount);
  EXPECT_EQ(readCount("S", "e"), 7);
}

TEST_F(PurgeTest, ProgramGroupIsDeletedWithItsItems) {
  const std::string menus = dir_ + "/xdg/menus/applications-merged";
  Config("[Program Group]\nName=Wardenline Agent\nCount=2\n1=Trace Log\n2=Gone Item\n");
  const std::string wlprogman = std::string(getenv("WL_BUILD_DIR")) + "/bin/wlprogman";
  ASSERT_EQ(system((wlprogman + " '[CreateGroup(Wardenline Agent)][AddItem(xdg-open /x,Trace Log)]"
                                "[AddItem(/y,Other)]'")
                       .c_str()),
            0);
  ASSERT_EQ(system((wlprogman + " '[CreateGroup(Half)][Bogus(x)]' 2>/dev/null").c_str()) == 0,
            false);
  EXPECT_TRUE(deleteProgramGroup());  // a missing item does not matter
  EXPECT_TRUE(fs::is_empty(menus)) << "menu files or the active group left";
  EXPECT_TRUE(fs::is_empty(dir_ + "/share/applications"));
  EXPECT_TRUE(fs::is_empty(dir_ + "/share/desktop-directories"));
  Config("[Program Group]\nCount=1\n1=Trace Log\n");
  EXPECT_FALSE(deleteProgramGroup());  // no name: the step fails
}

TEST_F(PurgeTest, SearchPathEdits) {
  std::string p = "D:\\A;D:\\AGENT\\bin;D:\\B";
  EXPECT_TRUE(cutFromPath(&p, "D:\\AGENT\\bin"));
  EXPECT_EQ(p, "D:\\A;D:\\B");
  p = "D:\\A;D:\\AGENT\\bin";
  EXPECT_TRUE(cutFromPath(&p, "D:\\AGENT\\bin"));
  EXPECT_EQ(p, "D:\\A;");
  p = "D:\\AGENT\\binaries;D:\\B";
  EXPECT_TRUE(cutFromPath(&p, "D:\\AGENT\\bin"));  // text, not entries
  EXPECT_EQ(p, "aries;D:\\B");
  p = "d:\\agent\\bin";
  EXPECT_FALSE(cutFromPath(&p, "D:\\AGENT\\bin"));  // case matters

  SetString(kAgent, "ImagePath", "/srv/agent");
  SetString(kEnv, "Path", "/srv/agent\\bin;/usr/bin");
  EXPECT_TRUE(removeBinFromSearchPath());
  EXPECT_EQ(GetString(kEnv, "Path"), "/usr/bin");
  // Over 512 bytes: unchanged.
  const std::string longPath = "/srv/agent\\bin;" + std::string(600, 'p');
  SetString(kEnv, "Path", longPath);
  EXPECT_FALSE(removeBinFromSearchPath());
  EXPECT_EQ(GetString(kEnv, "Path"), longPath);
  // A bin directory over 63 bytes is not cut short: the path stays.
  SetString(kAgent, "ImagePath", "/" + std::string(70, 'a'));
  SetString(kEnv, "Path", "/" + std::string(70, 'a') + "\\bin;/usr/bin");
  EXPECT_FALSE(removeBinFromSearchPath());
}

TEST_F(PurgeTest, RegistryEntriesFromTheLastDownKeepingTopLevelKeys) {
  SetString("SOFTWARE\\Tarvex\\Wardenline\\CurrentVersion", "PathName", "/x");
  SetString("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents", "1",
            "SOFTWARE\\Other");
  SetString("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents", "2",
            "SOFTWARE\\Tarvex\\Wardenline\\CurvemibAgent\\CurrentVersion");
  SetString("SOFTWARE\\Keep", "v", "1");
  SetString("SOFTWARE\\Keep", "w", "2");
  // Entry 3 deletes the agent's key only after entry 1 has used it (order 3,
  // 2, 1 would delete the value first; here entry 1 deletes value "w", entry
  // 2 by data, entry 3 the whole key and its empty parents).
  Config(
      "[Registry]\nCount=3\n"
      "1_key=SOFTWARE\\Keep\n1_valuename=w\n"
      "2_key=SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents\n"
      "2_valuedata=SOFTWARE\\Tarvex\\Wardenline\\CurvemibAgent\\CurrentVersion\n"
      "3_key=SOFTWARE\\Tarvex\\Wardenline\\CurrentVersion\n");
  deleteRegistry();
  EXPECT_FALSE(KeyExists("SOFTWARE\\Tarvex"));
  EXPECT_TRUE(KeyExists("SOFTWARE"));
  EXPECT_EQ(GetString("SOFTWARE\\Keep", "v"), "1");
  EXPECT_EQ(GetString("SOFTWARE\\Keep", "w"), "<none>");
  const std::string agents =
      "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents";
  EXPECT_EQ(GetString(agents, "1"), "SOFTWARE\\Other");
  EXPECT_EQ(GetString(agents, "2"), "<none>");

  // The highest number first: entry 2 (the parent, which still has a
  // subkey) fails before entry 1 deletes the child; in the other order both
  // would go.
  SetString("SOFTWARE\\A\\B", "x", "1");
  SetString("SOFTWARE\\A\\B\\C", "y", "1");
  Config("[Registry]\nCount=2\n1_key=SOFTWARE\\A\\B\\C\n2_key=SOFTWARE\\A\\B\n");
  deleteRegistry();
  EXPECT_FALSE(KeyExists("SOFTWARE\\A\\B\\C"));
  EXPECT_TRUE(KeyExists("SOFTWARE\\A\\B"));
}

TEST_F(PurgeTest, TopLevelKeysAreNeverDeleted) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Only", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  SetString("SYSTEM\\X", "v", "1");
  Config("[Registry]\nCount=3\n1_key=SOFTWARE\\Only\n2_key=SYSTEM\n3_key=SYSTEM\\X\n");
  deleteRegistry();
  EXPECT_FALSE(KeyExists("SOFTWARE\\Only"));
  EXPECT_TRUE(KeyExists("SOFTWARE"));
  EXPECT_TRUE(KeyExists("SYSTEM"));
}

TEST_F(PurgeTest, ServicesStopInOrderAndAMissingOneStopsTheRest) {
  Service("one", true);
  Service("three", true);
  Config("[Service]\nCount=3\n1=one\n2=missing\n3=three\n");
  EXPECT_EQ(deleteServices(), 1);
  EXPECT_FALSE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\one"));
  EXPECT_FALSE(fs::exists(dir_ + "/sys/etc/init.d/one"));
  EXPECT_TRUE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\three"));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  EXPECT_EQ(OpenServiceA(manager, "missing", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  CloseServiceHandle(manager);
}

TEST_F(PurgeTest, AServiceThatNeverStopsIsAFailureAfterABoundedWait) {
  Service("stuck", false);
  Service("after", true);
  Config("[Service]\nCount=2\n1=stuck\n2=after\n");
  EXPECT_EQ(deleteServices(), 0);
  EXPECT_TRUE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\stuck"));
  EXPECT_TRUE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\after"));
}

TEST_F(PurgeTest, TheSnmpServiceIsRestartedUnderItsNameForTheVersion) {
  EXPECT_FALSE(restartSnmp());  // no SNMP service: "Fail to restart SNMP Service"
  Service("snmpsvc", true);
  SetString("SYSTEM\\CurrentControlSet\\Services\\SNMP", "x", "1");
  for (double version : {3.51, 4.0}) {  // "SNMP Service", then "SNMP"
    purgeState.ntVersion = version;
    EXPECT_TRUE(restartSnmp()) << version;
    EXPECT_TRUE(fs::exists(dir_ + "/snmpsvc.state")) << version;  // running again
  }
}

TEST_F(PurgeTest, FilesAndTreeDeletion) {
  const std::string root = dir_ + "/root";
  fs::create_directories(root + "/INI");
  fs::create_directories(root + "/sub/deeper");
  std::ofstream(root + "/INI/A.INI") << "x";
  std::ofstream(root + "/sub/deeper/f") << "x";
  fs::create_directories(dir_ + "/outside");
  std::ofstream(dir_ + "/outside/precious") << "x";
  fs::create_directory_symlink(dir_ + "/outside", root + "/link");
  // The configuration file first on the list: the rest is still deleted.
  std::ofstream(dir_ + "/listed") << "x";
  Config("[Files]\nCount=3\n1=" + purgeState.configFile + "\n2=" + dir_ + "/listed\n3=" + root +
         "/INI/A.INI\n");
  purgeState.installRoot = root;
  deleteFiles();
  EXPECT_FALSE(fs::exists(purgeState.configFile));
  EXPECT_FALSE(fs::exists(dir_ + "/listed"));
  EXPECT_FALSE(fs::exists(root));
  EXPECT_TRUE(fs::exists(dir_ + "/outside/precious"));  // the link went, not its target

  // A dot-directory is not entered: the root stays (and the warning names it).
  fs::create_directories(root + "/.hidden");
  std::ofstream(root + "/file") << "x";
  Config("");
  deleteFiles();
  EXPECT_TRUE(fs::exists(root + "/.hidden"));
  EXPECT_FALSE(fs::exists(root + "/file"));
}

TEST_F(PurgeTest, TheSystemIsNeverDeleted) {
  for (const char* path : {"/", "/usr", "/etc", "/tmp", "/var", "/home"}) {
    EXPECT_NE(refuseRoot(path, purgeState.dpkgInfoDir), "") << path;
  }
  // "C:" and "C:\" map to "/".
  purgeState.installRoot = "C:\\";
  deleteFiles();
  EXPECT_TRUE(fs::exists("/usr"));
  // A directory holding a file of an installed package.
  const std::string packaged = dir_ + "/pkgdir";
  fs::create_directories(packaged);
  std::ofstream(packaged + "/owned") << "x";
  std::ofstream(purgeState.dpkgInfoDir + "/pkg.list") << "/\n" << packaged + "/owned\n";
  EXPECT_NE(refuseRoot(packaged, purgeState.dpkgInfoDir), "");
  purgeState.installRoot = packaged;
  deleteFiles();
  EXPECT_TRUE(fs::exists(packaged + "/owned"));
  EXPECT_EQ(refuseRoot(dir_ + "/elsewhere", purgeState.dpkgInfoDir), "");
  // A link to a system directory resolves to it.
  fs::create_directory_symlink("/usr", dir_ + "/usrlink");
  EXPECT_NE(refuseRoot(dir_ + "/usrlink", purgeState.dpkgInfoDir), "");
}

TEST_F(PurgeTest, AMountInsideTheRootIsNotCrossed) {
  const std::string root = dir_ + "/root";
  fs::create_directories(root + "/mnt");
  if (mount("none", (root + "/mnt").c_str(), "tmpfs", 0, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here";
  }
  std::ofstream(root + "/mnt/kept") << "x";
  purgeState.installRoot = root;
  Config("");
  deleteFiles();
  EXPECT_TRUE(fs::exists(root + "/mnt/kept"));
  umount((root + "/mnt").c_str());
}

}  // namespace
