// The services every component shares: the install root lookup with its byte
// limit, the log file writer, the thread-failure report and little-endian
// record fields.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "agent/common/failure_report.h"
#include "agent/common/install_root.h"
#include "agent/common/little_endian.h"
#include "agent/common/log_file.h"
#include "agent/testing/agent_environment.h"

namespace wlcommon {
namespace {

const wltest::AgentEnvironment environment("wlcommon-services-test");

TEST(InstallRoot, LimitTypeAndEmptinessDecideTheResult) {
  std::string root = "unchanged";
  wltest::removeInstallPathValue();
  EXPECT_EQ(readInstallPath(kInstallRootBytes, &root), ERROR_FILE_NOT_FOUND);

  ASSERT_TRUE(wltest::setInstallPathValue("C:\\WARDEN"));
  EXPECT_EQ(readInstallPath(kInstallRootBytes, &root), ERROR_SUCCESS);
  EXPECT_EQ(root, "C:\\WARDEN");
  EXPECT_EQ(readInstallPath(kInstallRootBytes, nullptr), ERROR_SUCCESS);

  // 149 characters and the terminator fit 150 bytes; one more does not, and
  // the uninstaller's 128 bytes take neither.
  const std::string longest(149, 'r');
  ASSERT_TRUE(wltest::setInstallPathValue(longest));
  EXPECT_EQ(readInstallPath(kInstallRootBytes, &root), ERROR_SUCCESS);
  EXPECT_EQ(root, longest);
  root = "unchanged";
  EXPECT_EQ(readInstallPath(kUninstallerInstallRootBytes, &root), ERROR_MORE_DATA);
  ASSERT_TRUE(wltest::setInstallPathValue(longest + "r"));
  EXPECT_EQ(readInstallPath(kInstallRootBytes, &root), ERROR_MORE_DATA);
  EXPECT_EQ(root, "unchanged");

  // A value stored without its terminator still reads as its text.
  const std::string unterminated(20, 'u');
  ASSERT_TRUE(wltest::setInstallPathBytes(unterminated.data(), 20));
  EXPECT_EQ(readInstallPath(kUninstallerInstallRootBytes, &root), ERROR_SUCCESS);
  EXPECT_EQ(root, unterminated);

  const DWORD number = 7;
  ASSERT_TRUE(wltest::setInstallPathBytes(&number, sizeof number, REG_DWORD));
  EXPECT_EQ(readInstallPath(kInstallRootBytes, &root), ERROR_INVALID_DATA);
  ASSERT_TRUE(wltest::setInstallPathValue(""));
  EXPECT_EQ(readInstallPath(kInstallRootBytes, &root), ERROR_INVALID_DATA);
  EXPECT_EQ(readInstallPath(0, &root), ERROR_INVALID_DATA);
  EXPECT_EQ(root, unterminated);
}

TEST(LogFileWriter, OpenEmptiesAndEachMessageIsAppended) {
  wltest::TempDirectory root("wl-log");
  std::filesystem::create_directory(root.path() + "/LOGFILES");
  const std::string file = root.path() + "/LOGFILES/TEST.LOG";
  std::ofstream(file) << "left by an earlier load\n";

  LogFile log;
  EXPECT_FALSE(log.hasFile());
  ASSERT_TRUE(log.open(root.path().c_str(), "TEST.LOG"));
  EXPECT_EQ(log.path(), root.path() + "\\LOGFILES\\TEST.LOG");
  EXPECT_EQ(wltest::readWholeFile(file), "");

  testing::internal::CaptureStdout();
  log.write("one\n", 4);
  log.write("two\0three", 9);  // the length counts, not the terminator
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("one\ntwo\0three", 13));
  EXPECT_EQ(wltest::readWholeFile(file), std::string("one\ntwo\0three", 13));

  log.close();
  testing::internal::CaptureStdout();
  log.write("only on stdout\n", 15);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "only on stdout\n");
  EXPECT_EQ(wltest::readWholeFile(file).size(), 13u);
}

TEST(LogFileWriter, PathsThatDoNotFitLeaveNoFile) {
  LogFile log;
  EXPECT_FALSE(log.open("", "A.LOG"));
  EXPECT_FALSE(log.open(nullptr, "A.LOG"));
  EXPECT_FALSE(log.open("/tmp", ""));
  // root + "\LOGFILES\" (10) + name must stay below kLogPathBytes.
  const std::string name = "N.LOG";
  const std::string fits(kLogPathBytes - 1 - 10 - name.size(), 'x');
  EXPECT_TRUE(log.open(fits.c_str(), name.c_str()));
  EXPECT_EQ(log.path().size(), kLogPathBytes - 1);
  EXPECT_FALSE(log.open((fits + "x").c_str(), name.c_str()));
  EXPECT_FALSE(log.hasFile());
  EXPECT_FALSE(log.open(std::string(kLogPathBytes + 5, 'y').c_str(), name.c_str()));
}

std::vector<std::string> reported;
void record(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char text[200];
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  reported.push_back(text);
}

TEST(ThreadFailure, TextsGoOutVerbatimAndMissingPartsAreSkipped) {
  reported.clear();
  reportThreadNotCreated({record, "trace 100%s\n", record, "console\r\n", nullptr, 0});
  EXPECT_EQ(reported, (std::vector<std::string>{"trace 100%s\n", "console\r\n"}));
  reported.clear();
  reportThreadNotCreated({nullptr, "never", record, nullptr, nullptr, 0});
  EXPECT_TRUE(reported.empty());
}

TEST(LittleEndian, FieldsKeepTheirByteOrderAndBounds) {
  unsigned char record[8] = {};
  storeLe32(record + 1, 0x80010203u);
  EXPECT_EQ(record[1], 0x03);
  EXPECT_EQ(record[4], 0x80);
  EXPECT_EQ(loadLe32(record + 1), 0x80010203u);
  EXPECT_EQ(loadLe32Signed(record + 1), static_cast<int32_t>(0x80010203u));
  storeLe16(record + 6, 0xBEEF);
  EXPECT_EQ(record[6], 0xEF);
  EXPECT_EQ(loadLe16(record + 6), 0xBEEF);

  uint32_t value = 5;
  EXPECT_TRUE(readLe32(record, sizeof record, 4, &value));
  EXPECT_FALSE(readLe32(record, sizeof record, 5, &value));
  EXPECT_FALSE(readLe32(record, sizeof record, SIZE_MAX - 1, &value));
  EXPECT_FALSE(readLe32(nullptr, 8, 0, &value));
  static_assert(fieldFits(408, 4, 412) && !fieldFits(409, 4, 412) && !fieldFits(413, 0, 412));
}

}  // namespace
}  // namespace wlcommon
