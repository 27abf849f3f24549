// The trace switch and the notices of unsupported arguments.
#include "core/trace.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace {

using wl::trace::Channel;
using wl::trace::ParseSelection;

uint32_t Bit(Channel channel) { return 1u << static_cast<unsigned>(channel); }

TEST(Trace, SelectionNamesChannelsAllNoneAndUnknownWords) {
  std::string unknown;
  auto selection = ParseSelection("reg,sync  files,", &unknown);
  EXPECT_EQ(selection.channels, Bit(Channel::kReg) | Bit(Channel::kSync) | Bit(Channel::kFiles));
  EXPECT_TRUE(selection.notices);
  EXPECT_EQ(unknown, "");

  selection = ParseSelection("all", &unknown);
  EXPECT_EQ(selection.channels, (1u << static_cast<unsigned>(Channel::kCount)) - 1);

  selection = ParseSelection("none", &unknown);
  EXPECT_EQ(selection.channels, 0u);
  EXPECT_FALSE(selection.notices);

  selection = ParseSelection("regs,eventlog,x", &unknown);
  EXPECT_EQ(selection.channels, Bit(Channel::kEventLog));
  EXPECT_EQ(unknown, "regs,x");
}

TEST(Trace, ShowsSelectedChannelsAndEachNoticeOnce) {
  setenv("WL_DEBUG", "files", 1);
  wl::trace::ReloadForTesting();
  testing::internal::CaptureStderr();
  WL_TRACE(kFiles, "opened %s", "a.txt");
  WL_TRACE(kReg, "hidden %d", 1);
  wl::trace::Unsupported("CreateFileA", "hTemplateFile");
  wl::trace::Unsupported("CreateFileA", "hTemplateFile");
  wl::trace::Unsupported("CreateFileW", "hTemplateFile");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wlplatform[files] opened a.txt\n"
            "wlplatform: CreateFileA: hTemplateFile not supported; ignored\n"
            "wlplatform: CreateFileW: hTemplateFile not supported; ignored\n");

  setenv("WL_DEBUG", "none", 1);
  wl::trace::ReloadForTesting();
  testing::internal::CaptureStderr();
  WL_TRACE(kFiles, "opened %s", "b.txt");
  wl::trace::Unsupported("CreateFileA", "hTemplateFile");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  unsetenv("WL_DEBUG");
  wl::trace::ReloadForTesting();
}

}  // namespace
