#include "host_access_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace snmpsvc {
namespace {

class HostAccessCacheTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::TempDir() + "host_access_" + std::to_string(getpid()) + "_" +
           testing::UnitTest::GetInstance()->current_test_info()->name();
    mkdir(dir_.c_str(), 0700);
    allow_ = dir_ + "/hosts.allow";
    deny_ = dir_ + "/hosts.deny";
  }
  void TearDown() override {
    unlink(allow_.c_str());
    unlink(deny_.c_str());
    rmdir(dir_.c_str());
  }
  // Writes the file with a time stamp `age` seconds in the past.
  static void Write(const std::string& path, const std::string& text, int age = 60) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= age;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  // A check that refuses 10.0.0.9 and counts its calls.
  int Ask(HostAccessCache& cache, const char* address) {
    return cache.Answer("snmpd", "unknown", address, "unknown",
                        [this](const char*, const char*, const char* a, const char*) {
                          ++calls_;
                          return std::string(a) == "10.0.0.9" ? 0 : 1;
                        });
  }
  std::string dir_, allow_, deny_;
  int calls_ = 0;
};

TEST_F(HostAccessCacheTest, AnswersAreKeptUntilAFileChanges) {
  Write(deny_, "snmpd: 10.0.0.9\n");
  HostAccessCache cache(allow_, deny_);
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(Ask(cache, "127.0.0.1"), 1);
  EXPECT_EQ(Ask(cache, "127.0.0.1"), 1);
  EXPECT_EQ(calls_, 2);
  EXPECT_EQ(cache.Checks(), 2u);
  // A new file, then a changed one, then a removed one: asked again each time.
  Write(allow_, "snmpd: 127.0.0.1\n");
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(calls_, 3);
  Write(deny_, "snmpd: 10.0.0.9 10.0.0.8\n");
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(calls_, 4);
  unlink(deny_.c_str());
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(calls_, 5);
}

TEST_F(HostAccessCacheTest, RecentOrDynamicRulesAreAskedEveryTime) {
  Write(deny_, "snmpd: 10.0.0.9\n", 0);  // just changed
  HostAccessCache cache(allow_, deny_);
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(calls_, 2);
  Write(deny_, "snmpd: 10.0.0.9 : spawn /bin/true\n");
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(Ask(cache, "10.0.0.9"), 0);
  EXPECT_EQ(calls_, 4);
}

TEST(HostRulesTest, OnlyRulesThatDependOnTheRequestAloneAreCacheable) {
  EXPECT_TRUE(HostRulesCacheable(""));
  EXPECT_TRUE(HostRulesCacheable("# spawn @x /etc/f : a : b\n\nALL: 10.0.0.0/255.0.0.0\n"));
  EXPECT_TRUE(HostRulesCacheable("snmpd: [::1] [fe80::]/10, LOCAL EXCEPT 10.1.\n"));
  EXPECT_FALSE(HostRulesCacheable("ALL: 10.0.0.1 : deny\n"));
  EXPECT_FALSE(HostRulesCacheable("ALL: 10.0.0.1 \\\n : deny\n"));
  EXPECT_FALSE(HostRulesCacheable("ALL: @trusted\n"));
  EXPECT_FALSE(HostRulesCacheable("snmpd: /etc/snmp.hosts\n"));
  EXPECT_FALSE(HostRulesCacheable("snmpd:/etc/snmp.hosts\n"));
}

}  // namespace
}  // namespace snmpsvc
