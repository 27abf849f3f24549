// Program Manager over DDE on temporary menu directories.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "win32/dde.h"

namespace fs = std::filesystem;

namespace {

HDDEDATA CALLBACK NoCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, UINT_PTR, UINT_PTR) {
  return nullptr;
}

class ProgmanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/progman-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("XDG_CONFIG_DIRS", (dir_ + "/xdg:/etc/xdg").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir_ + "/share:/usr/share").c_str(), 1);
    ASSERT_EQ(DdeInitializeA(&instance_, NoCallback, CBF_FAIL_ALLSVRXACTIONS, 0), DMLERR_NO_ERROR);
  }
  void TearDown() override {
    DdeUninitialize(instance_);
    fs::remove_all(dir_);
  }
  // Sends one command string in a conversation of its own.
  bool Execute(const std::string& command) {
    HSZ progman = DdeCreateStringHandleA(instance_, "PROGMAN", CP_WINANSI);
    HCONV conversation = DdeConnect(instance_, progman, progman, nullptr);
    DdeFreeStringHandle(instance_, progman);
    if (conversation == nullptr) return false;
    HDDEDATA data =
        DdeCreateDataHandle(instance_, (LPBYTE)command.c_str(),
                            static_cast<DWORD>(command.size() + 1), 0, nullptr, CF_TEXT, 0);
    const bool done = DdeClientTransaction((LPBYTE)data, (DWORD)-1, conversation, nullptr, 0,
                                           XTYP_EXECUTE, 1000, nullptr) != nullptr;
    DdeDisconnect(conversation);
    return done;
  }
  // Every file under the menu directories, relative, sorted.
  std::string Files() {
    std::string list;
    for (const auto& e : fs::recursive_directory_iterator(dir_)) {
      if (e.is_regular_file()) list += e.path().string().substr(dir_.size()) + "\n";
    }
    std::istringstream in(list);
    std::string line, sorted;
    std::set<std::string> lines;
    while (std::getline(in, line)) lines.insert(line);
    for (const auto& l : lines) sorted += l + "\n";
    return sorted;
  }
  std::string Read(const std::string& relative) {
    std::ifstream in(dir_ + relative);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string dir_;
  DWORD instance_ = 0;
};

TEST_F(ProgmanTest, GroupsAndItemsAreMenuFilesAndDesktopEntries) {
  ASSERT_TRUE(Execute("[CreateGroup(Tools & <More>)][AddItem(\"prog --opt 50%\",Run \\ It)]"));
  const std::string files = Files();
  EXPECT_NE(files.find("/xdg/menus/applications-merged/wardenline-tools-more-"), std::string::npos)
      << files;
  std::string menu, item;
  for (const auto& e : fs::recursive_directory_iterator(dir_)) {
    if (e.path().extension() == ".menu") menu = Read(e.path().string().substr(dir_.size()));
    if (e.path().extension() == ".desktop") item = Read(e.path().string().substr(dir_.size()));
  }
  EXPECT_NE(menu.find("<Name>Tools &amp; &lt;More&gt;</Name>"), std::string::npos) << menu;
  EXPECT_NE(item.find("Name=Run \\\\ It\n"), std::string::npos) << item;
  EXPECT_NE(item.find("Exec=prog --opt 50%%\n"), std::string::npos) << item;
  // Item deletion acts on the active group, set by ShowGroup (names in any case
  // of the command).
  ASSERT_TRUE(Execute("[showgroup(Tools & <More>,1)][DELETEITEM(Run \\ It)]"));
  EXPECT_FALSE(Execute("[DeleteItem(Run \\ It)]"));  // gone already
  ASSERT_TRUE(Execute("[DeleteGroup(Tools & <More>)]"));
  EXPECT_EQ(Files(), "");
  EXPECT_FALSE(Execute("[DeleteGroup(Tools & <More>)]"));
  EXPECT_FALSE(Execute("[AddItem(x)]"));  // no active group any more
}

TEST_F(ProgmanTest, AMalformedStringChangesNothing) {
  for (const char* bad : {"[CreateGroup(A)][Unknown(B)]", "[CreateGroup(A)", "CreateGroup(A)",
                          "[CreateGroup(A)][AddItem(\"open)]", "[CreateGroup(A\nB)]",
                          "[CreateGroup()]", "", "[DeleteItem(a,b)]"}) {
    EXPECT_FALSE(Execute(bad)) << bad;
    EXPECT_EQ(Files(), "") << bad;
  }
  EXPECT_FALSE(Execute("[CreateGroup(" + std::string(256, 'n') + ")]"));
  EXPECT_EQ(Files(), "");
  // A data handle over 4096 bytes is refused.
  const std::string huge(5000, 'x');
  EXPECT_EQ(DdeCreateDataHandle(instance_, (LPBYTE)huge.c_str(), 5000, 0, nullptr, CF_TEXT, 0),
            nullptr);
}

TEST_F(ProgmanTest, OnlyProgramManagerAnswers) {
  HSZ other = DdeCreateStringHandleA(instance_, "EXCEL", CP_WINANSI);
  EXPECT_EQ(DdeConnect(instance_, other, other, nullptr), nullptr);
  EXPECT_EQ(DdeGetLastError(instance_), DMLERR_NO_CONV_ESTABLISHED);
  DdeFreeStringHandle(instance_, other);
}

}  // namespace
