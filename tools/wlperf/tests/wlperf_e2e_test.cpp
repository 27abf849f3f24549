// Runs the wlperf program: a capture of this host replays through
// WARDENLINE_PERFDATA with the same objects and values.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "wltest/platform_env.h"

namespace {

class PerfWlperfProgram : public testing::Test {
 protected:
  void SetUp() override {
    const char* build = getenv("WL_BUILD_DIR");
    ASSERT_NE(build, nullptr) << "run through ctest";
    program_ = std::string(build) + "/bin/wlperf";
    platform_.emplace("wlperf-e2e");
    dir_ = platform_->dir();
    unsetenv("WARDENLINE_PERFDATA");
  }
  void TearDown() override { platform_.reset(); }

  // Runs `arguments` with the environment prefix `env`; returns the exit status
  // and the standard output in *out.
  int Run(const std::string& env, const std::string& arguments, std::string* out) {
    const std::string command = env + " '" + program_ + "' " + arguments + " 2>'" + dir_ + "/err'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    out->clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out->append(buffer, n);
    return pclose(pipe);
  }

  std::string program_;
  std::optional<wltest::IsolatedPlatform> platform_;
  std::string dir_;
};

TEST_F(PerfWlperfProgram, CaptureReplaysTheSameObjectsAndValues) {
  std::string capture;
  ASSERT_EQ(Run("", "capture", &capture), 0);
  const std::string file = dir_ + "/s.json";
  std::ofstream(file) << capture;
  const std::string replayEnv = "WARDENLINE_PERFDATA='" + file + "'";
  std::string again, firstShow, secondShow;
  ASSERT_EQ(Run(replayEnv, "capture", &again), 0);
  EXPECT_EQ(again, capture);  // the replayed data is what was recorded, byte for byte
  ASSERT_EQ(Run(replayEnv, "show", &firstShow), 0);
  ASSERT_EQ(Run(replayEnv, "show", &secondShow), 0);
  EXPECT_EQ(firstShow, secondShow);
  EXPECT_NE(firstShow.find("object 238 \"Processor\""), std::string::npos) << firstShow;
  EXPECT_NE(firstShow.find("instance \"0\":"), std::string::npos);
}

TEST_F(PerfWlperfProgram, ShowSelectsObjectsByNameOrIndex) {
  std::string out;
  ASSERT_EQ(Run("", "show processor 4", &out), 0);
  EXPECT_EQ(out.find("object 238"), 0u) << out;
  EXPECT_NE(out.find("object 4 \"Memory\""), std::string::npos);
  EXPECT_EQ(out.find("object 230"), std::string::npos);
  EXPECT_NE(Run("", "show NoSuchObject", &out), 0);
  EXPECT_NE(Run("", "frobnicate", &out), 0);
  ASSERT_EQ(Run("", "names", &out), 0);
  EXPECT_NE(out.find("238 Processor\n"), std::string::npos);
}

}  // namespace
