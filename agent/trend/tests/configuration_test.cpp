// The configuration reader and control creation.
#include "agent/trend/configuration.h"

#include <gtest/gtest.h>

#include "agent/trend/perf_acquisition.h"
#include "agent/trend/tests/history_test_support.h"

namespace trend {
namespace {

using testing::readBytes;
using testing::TrendSandbox;

// Two processors and two logical disks (one an 8 GiB C:) plus the total.
const char kFixture[] = R"({ "perfFreq": 10000000,
  "memory": { "totalPhys": 67108864, "availPhys": 16777216 },
  "drives": { "C:": { "totalBytes": 8589934592, "freeBytes": 2147483648 } },
  "objects": [
    { "index": 238, "name": "Processor",
      "counters": [ { "index": 6, "name": "% Processor Time", "size": 8,
                      "type": "PERF_100NSEC_TIMER_INV" } ],
      "instances": [ { "name": "0", "values": [123400000] },
                     { "name": "1", "values": [246800000] } ] },
    { "index": 236, "name": "LogicalDisk",
      "counters": [ { "index": 408, "name": "% Free Space", "size": 4,
                      "type": "PERF_RAW_FRACTION" },
                    { "index": 408, "name": "% Free Space", "size": 4,
                      "type": "PERF_RAW_BASE" } ],
      "instances": [ { "name": "C:", "values": [2097, 8388] },
                     { "name": "D:", "values": [1, 2] },
                     { "name": "_Total", "values": [2098, 8390] } ] } ] })";

class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string fixture = sandbox.root() + "/perfdata.json";
    std::ofstream(fixture) << kFixture;
    setenv("WARDENLINE_PERFDATA", fixture.c_str(), 1);
  }
  void writeConfiguration(const std::string& text) {
    std::ofstream(sandbox.root() + "/INI/CURVEMIB.INI", std::ios::binary) << text;
  }
  static std::vector<const ControlConfig*> configs() {
    std::vector<const ControlConfig*> all;
    for (const ControlConfig* c = configList; c != nullptr; c = c->next) all.push_back(c);
    return all;
  }
  static std::vector<Control*> controls() {
    std::vector<Control*> all;
    for (Control* c = controlList; c != nullptr; c = c->next) all.push_back(c);
    return all;
  }
  TrendSandbox sandbox;
};

TEST_F(ConfigurationTest, LineBecomesARecord) {
  writeConfiguration(
      "# comment line\r\n"
      "\r\n"
      "[TrendFiles]\r\n"
      "Directory=C:\\Trend\r\n"
      "  pctProcessorTime   5 100 1 90 10 1 rising\r\n"
      "fileReads 6 +60 2 -1 7x 0 Rising\n"
      "fileWrites\t6 60 1 1 1 1 rising\n"
      "pctCacheHitRate 1 2\n");
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(readConfiguration(), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "record - pctProcessorTime\nrecord - fileReads\nrecord - pctCacheHitRate\n");

  auto all = configs();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0]->classId, 1u);
  EXPECT_EQ(all[0]->intervalIndex, 5u);
  EXPECT_EQ(all[0]->buckets, 100u);
  EXPECT_EQ(all[0]->historyStatus, 1);
  EXPECT_EQ(all[0]->risingThreshold, 90u);
  EXPECT_EQ(all[0]->fallingThreshold, 10u);
  EXPECT_EQ(all[0]->thresholdStatus, 1);
  EXPECT_STREQ(all[0]->thresholdTypeText, "rising");  // carriage return gone
  EXPECT_EQ(all[1]->classId, 9u);
  EXPECT_EQ(all[1]->buckets, 60u);
  EXPECT_EQ(all[1]->risingThreshold, 0xFFFFFFFFu);
  EXPECT_EQ(all[1]->fallingThreshold, 7u);
  EXPECT_STREQ(all[1]->thresholdTypeText, "Rising");
  EXPECT_EQ(all[2]->classId, 13u);  // missing words are empty: zeros
  EXPECT_EQ(all[2]->historyStatus, 0);
  EXPECT_STREQ(all[2]->thresholdTypeText, "");
}

TEST_F(ConfigurationTest, LongWordsAreCutAndLongLinesReadInPieces) {
  // Word 3 has 20 digits and is cut to 15; word 8 is cut to 15 characters.
  std::string line = "fileReads 6 12345678901234567890 1 2 3 1 risingrisingrising\n";
  // 160 characters: the first 149 form one piece, the rest another.
  std::string longLine =
      "fileWrites 6 60 1 1 1 1 rising" + std::string(119, ' ') + "fileReadKBytes 6 70\n";
  writeConfiguration(line + longLine);
  ASSERT_EQ(readConfiguration(), 0);
  auto all = configs();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0]->buckets, 2147483647u);  // 123456789012345 saturates
  EXPECT_STREQ(all[0]->thresholdTypeText, "risingrisingris");
  EXPECT_EQ(all[1]->classId, 10u);
  EXPECT_EQ(all[2]->classId, 11u);
  EXPECT_EQ(all[2]->buckets, 70u);
}

TEST_F(ConfigurationTest, LinesThatBreakTheRingRulesCreateNothing) {
  writeConfiguration(
      "fileReads 0 60 1 1 1 1 rising\n"
      "fileReads 13 60 1 1 1 1 rising\n"
      "fileReads 5 1 1 1 1 1 rising\n"
      "fileReads 5 -100 1 1 1 1 rising\n"
      "fileReads 5 2 1 1 1 1 rising\n");
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(readConfiguration(), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Ignoring invalid entry fileReads 13 60 1 1 1 1 rising in the CURVEMIB.INI "
                     "file.\r\n"),
            std::string::npos);
  EXPECT_NE(out.find("fileReads 5 -100"), std::string::npos);
  ASSERT_EQ(configs().size(), 1u);
  EXPECT_EQ(configs()[0]->buckets, 2u);
}

TEST_F(ConfigurationTest, MissingFileIsReported) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(readConfiguration(), 1);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("fopen(ntrend.ini) failed.\n"), std::string::npos);
  EXPECT_NE(out.find("CURVEMIB Error: unable to open the file - " + sandbox.root() +
                     "\\INI\\CURVEMIB.INI.\r\n"),
            std::string::npos);
  EXPECT_EQ(configList, nullptr);
}

TEST_F(ConfigurationTest, SingleInstanceControlsDuplicatesAndTheIllegalClass) {
  writeConfiguration(
      "fileReads 5 100 0 90 10 3 Rising\n"
      "fileReads 5 200 1 90 10 1 rising\n"
      "fileReads 6 100 1 90 10 1 rising\n"
      "THIS_IS_NOT_A_LEGAL_CLASS 5 100 1 1 1 1 rising\n");
  ASSERT_EQ(readConfiguration(), 0);
  ::testing::internal::CaptureStdout();
  auto all = configs();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(create_this_control(all[0]), 0);
  EXPECT_EQ(create_this_control(all[1]), 1);
  EXPECT_EQ(create_this_control(all[2]), 0);
  EXPECT_EQ(create_this_control(all[3]), 1);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("control fileReads\n"), std::string::npos);
  EXPECT_NE(out.find("Ignoring duplicate entry fileReads in the CURVEMIB.INI file.\r\n"),
            std::string::npos);
  EXPECT_NE(out.find("CURVEMIB Error: internal error in create_this_control(). Call Tarvex Tech "
                     "Support.\r\n"),
            std::string::npos);

  auto made = controls();
  ASSERT_EQ(made.size(), 2u);
  const Control* c = made[0];
  EXPECT_EQ(c->bucketsGranted, 100u);
  EXPECT_EQ(c->historyStatus, 2);    // line says 0
  EXPECT_EQ(c->thresholdStatus, 2);  // line says 3
  EXPECT_EQ(c->thresholdType, 2);    // "Rising" is not "rising"
  EXPECT_EQ(c->valueType, 2);
  EXPECT_EQ(made[1]->intervalIndex, 6u);
  EXPECT_EQ(made[1]->thresholdType, 1);
}

TEST_F(ConfigurationTest, TwoProcessorsGiveControlsInReverseOrder) {
  writeConfiguration(
      "pctProcessorTime 5 100 1 90 10 1 rising\n"
      "pctProcessorTime 5 100 1 90 10 1 rising\n"
      "pctProcessorTime 6 100 1 90 10 1 rising\n");
  ASSERT_EQ(readConfiguration(), 0);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(createControlsFromConfiguration(), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Ignoring duplicate entry pctProcessorTime"), std::string::npos);
  numberControls();
  sortControls();
  auto made = controls();
  ASSERT_EQ(made.size(), 4u);
  EXPECT_STREQ(made[0]->instanceName, "Processor 1");
  EXPECT_EQ(made[0]->controlIndex, 1u);
  EXPECT_STREQ(made[1]->instanceName, "Processor 0");
  EXPECT_EQ(made[1]->controlIndex, 2u);
  EXPECT_EQ(made[0]->valueType, 3);
  EXPECT_EQ(made[0]->instanceNameLength, 11u);
  EXPECT_EQ(made[2]->intervalIndex, 6u);
}

TEST_F(ConfigurationTest, ARestartRestoresFromFilesAndTheLinesCreateNothing) {
  writeConfiguration("pctProcessorTime 5 100 1 90 10 1 rising\n");
  // First start: no history file, so the controls come from the lines.
  ASSERT_EQ(readConfiguration(), 0);
  ASSERT_EQ(removeStaleHistoryFiles(), 1);
  ASSERT_EQ(createControlsFromConfiguration(), 0);
  numberControls();
  sortControls();
  buildIndexList();
  for (Control* c : controls()) ASSERT_EQ(createHistoryFile(c->controlIndex), 0);
  freeLists();

  // Restart: the files rebuild the controls, the line is only a template.
  ASSERT_EQ(readConfiguration(), 0);
  ASSERT_EQ(removeStaleHistoryFiles(), 0);
  ASSERT_EQ(restoreControlsFromHistoryFiles(), 0);
  numberControls();
  sortControls();
  auto made = controls();
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[0]->controlIndex, 1u);
  EXPECT_STREQ(made[0]->instanceName, "Processor 1");
  EXPECT_EQ(made[1]->controlIndex, 2u);
  EXPECT_STREQ(made[1]->instanceName, "Processor 0");
  EXPECT_EQ(nextControlIndex, 3u);
  ASSERT_NE(configList, nullptr);
}

TEST_F(ConfigurationTest, LogicalDisksNeedADriveLetterAndGetTheirSize) {
  EXPECT_EQ(logicalDiskSizeMB("LogicalDisk C:"), 8388);
  EXPECT_EQ(logicalDiskSizeMB("LogicalDisk D:"), 0);  // not in the fixture: query fails
  EXPECT_EQ(logicalDiskSizeMB(":"), 0);
  writeConfiguration("pctLogicalDiskFreeSpace 5 100 1 90 10 1 rising\n");
  ASSERT_EQ(readConfiguration(), 0);
  ASSERT_EQ(createControlsFromConfiguration(), 0);
  auto made = controls();
  ASSERT_EQ(made.size(), 2u);  // "_Total" has no drive letter
  EXPECT_STREQ(made[0]->instanceName, "LogicalDisk D:");
  EXPECT_STREQ(made[1]->instanceName, "LogicalDisk C:");
  EXPECT_EQ(made[1]->diskSizeMB, 8388);
  EXPECT_EQ(made[1]->valueType, 1);
}

TEST_F(ConfigurationTest, InstanceControlIsNumberedFiledAndIndexed) {
  writeConfiguration("pctProcessorTime 5 100 1 90 10 1 rising\n");
  ASSERT_EQ(readConfiguration(), 0);
  nextControlIndex = 7;
  createInstanceControl(configList, "Processor 3");
  Control* c = findControl(7);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(nextControlIndex, 8u);
  EXPECT_EQ(c->valueType, 3);
  ASSERT_NE(indexList, nullptr);
  EXPECT_EQ(indexList->control, c);
  EXPECT_EQ(readBytes(sandbox.trendFile("7.NT")).size(), kHistoryHeaderBytes);

  createInstanceControl(configList, "Processor 3");  // duplicate: nothing, no number used
  EXPECT_EQ(nextControlIndex, 8u);
  EXPECT_EQ(controls().size(), 1u);
}

}  // namespace
}  // namespace trend
