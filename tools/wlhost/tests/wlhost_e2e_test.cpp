// Runs the wlhost program: what this machine's providers answer, captured,
// replays through WARDENLINE_PROVIDERS to the same listing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class WlhostProgram : public testing::Test {
 protected:
  void SetUp() override {
    const char* build = getenv("WL_BUILD_DIR");
    ASSERT_NE(build, nullptr) << "run through ctest";
    program_ = std::string(build) + "/bin/wlhost";
    std::string pattern = (std::filesystem::temp_directory_path() / "wlhost-e2e-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    setenv("WARDENLINE_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    unsetenv("WARDENLINE_PROVIDERS");
    unsetenv("WARDENLINE_HOST_ROOT");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs `arguments` with the environment prefix `env`; the exit status, the
  // standard output in *out and the error output in *err.
  int Run(const std::string& env, const std::string& arguments, std::string* out,
          std::string* err = nullptr) {
    const std::string command = env + " '" + program_ + "' " + arguments + " 2>'" + dir_ + "/err'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    out->clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out->append(buffer, n);
    const int status = pclose(pipe);
    if (err) {
      std::ifstream in(dir_ + "/err");
      *err = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string program_;
  std::string dir_;
};

TEST_F(WlhostProgram, CaptureReplaysToTheSameListing) {
  std::string capture;
  ASSERT_EQ(0, Run("", "capture", &capture));
  const std::string file = dir_ + "/machine.json";
  std::ofstream(file) << capture;
  const std::string replay = "WARDENLINE_PROVIDERS='" + file + "'";
  std::string again, show, live;
  ASSERT_EQ(0, Run(replay, "capture", &again));
  EXPECT_EQ(capture, again);  // byte for byte
  ASSERT_EQ(0, Run(replay, "show", &show));
  EXPECT_NE(std::string::npos, show.find("W32GetStorage: ")) << show;
  EXPECT_NE(std::string::npos, show.find("label=\"/\"")) << show;
  EXPECT_NE(std::string::npos, show.find("description=\"Processor 0: ")) << show;
  EXPECT_NE(std::string::npos, show.find("RegGetSoftwareInstalled: ")) << show;
  // Calls whose answers do not move with time read the same live.
  const std::string stable = "W32GetProcessor W32GetNetwork W32GetDiskStorage RegGetSerialComm";
  ASSERT_EQ(0, Run(replay, "show " + stable, &show));
  ASSERT_EQ(0, Run("", "show " + stable, &live));
  EXPECT_EQ(live, show);
}

TEST_F(WlhostProgram, FailuresAndFaults) {
  const std::string file = dir_ + "/failing.json";
  std::ofstream(file) << R"({"W32GetStorage": {"result": -2}, "W32GetUserCount": {"result": 5}})";
  std::string out, err;
  ASSERT_EQ(0,
            Run("WARDENLINE_PROVIDERS='" + file + "'", "show W32GetStorage W32GetUserCount", &out));
  EXPECT_EQ("W32GetStorage: failed, result -2\nW32GetUserCount: failed, result 5\n", out);

  std::ofstream(file) << R"({"W32GetStorage": [{"used": "many"}]})";
  ASSERT_EQ(0, Run("WARDENLINE_PROVIDERS='" + file + "'", "show W32GetStorage", &out, &err));
  EXPECT_EQ("W32GetStorage: failed, result -1\n", out);
  EXPECT_NE(std::string::npos, err.find(file)) << err;
  EXPECT_NE(std::string::npos, err.find("W32GetStorage[0].used: must be an integer")) << err;

  EXPECT_EQ(2, Run("", "show W32GetNothing", &out, &err));
  EXPECT_NE(std::string::npos, err.find("W32GetNothing")) << err;
  EXPECT_EQ(2, Run("", "", &out));
}

}  // namespace
