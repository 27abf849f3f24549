// Start-up and shut-down sequences and the request and trap entry bodies.
#include "agent/trend/lifecycle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "agent/trend/control.h"
#include "agent/trend/tests/install_root_fixture.h"
#include "agent/trend/tests/snmp_e2e_support.h"
#include "agent/trend/traps.h"
#include "win32/windows.h"

namespace trend {
namespace {

using namespace std::chrono_literals;
using testing_support::TempInstallRoot;

const testing_support::IsolatedProcess isolation("trend-lifecycle-test");

std::string commandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

// Handlers that record what the dispatch called.
struct HandlerLog {
  int get = 0;
  int getNext = 0;
  int setCheck = 0;
  int setCommit = 0;
  AsnInteger32 checkStatus = 0;
  std::string logAtFirstCall;
  std::function<void()> onCall;
};
HandlerLog handlerLog;

BOOL recordGet(SnmpVarBindList*, AsnInteger32*, AsnInteger32*) {
  if (handlerLog.onCall) handlerLog.onCall();
  ++handlerLog.get;
  return TRUE;
}
BOOL recordGetNext(SnmpVarBindList*, AsnInteger32*, AsnInteger32*) {
  ++handlerLog.getNext;
  return TRUE;
}
BOOL recordSetCheck(SnmpVarBindList*, AsnInteger32* status, AsnInteger32* index) {
  ++handlerLog.setCheck;
  *status = handlerLog.checkStatus;
  *index = handlerLog.checkStatus != 0 ? 1 : 0;
  return handlerLog.checkStatus == 0 ? TRUE : FALSE;
}
BOOL recordSetCommit(SnmpVarBindList*, AsnInteger32*, AsnInteger32*) {
  ++handlerLog.setCommit;
  return TRUE;
}

class QueryDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = queryHandlers;
    queryHandlers = {recordGet, recordGetNext, recordSetCheck, recordSetCommit};
    handlerLog = HandlerLog{};
    controlSemaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    ASSERT_NE(controlSemaphore, nullptr);
  }
  void TearDown() override {
    queryHandlers = saved_;
    CloseHandle(controlSemaphore);
    controlSemaphore = nullptr;
  }
  bool semaphoreIsFree() {
    if (WaitForSingleObject(controlSemaphore, 0) != WAIT_OBJECT_0) return false;
    ReleaseSemaphore(controlSemaphore, 1, nullptr);
    return true;
  }

  QueryHandlers saved_{};
  SnmpVarBindList list_{nullptr, 0};
  AsnInteger32 status_ = -1;
  AsnInteger32 index_ = -1;
};

TEST_F(QueryDispatchTest, AbsentListAnswersGenErrWithoutTakingSemaphore) {
  ASSERT_EQ(WaitForSingleObject(controlSemaphore, 0), WAIT_OBJECT_0);  // now unavailable
  auto answer = std::async(
      std::launch::async, [&] { return extensionQuery(SNMP_PDU_GET, nullptr, &status_, &index_); });
  const bool answeredAtOnce = answer.wait_for(2s) == std::future_status::ready;
  ReleaseSemaphore(controlSemaphore, 1, nullptr);  // unblocks a wrong implementation
  ASSERT_TRUE(answeredAtOnce);
  EXPECT_EQ(answer.get(), TRUE);
  EXPECT_EQ(status_, SNMP_ERRORSTATUS_GENERR);
  EXPECT_EQ(handlerLog.get, 0);
}

TEST_F(QueryDispatchTest, UnknownRequestTypesAnswerGenErr) {
  for (BYTE type :
       {BYTE{SNMP_PDU_V1TRAP}, BYTE{SNMP_PDU_RESPONSE}, BYTE{SNMP_PDU_GETBULK}, BYTE{0}}) {
    status_ = 0;
    EXPECT_EQ(extensionQuery(type, &list_, &status_, &index_), TRUE);
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_GENERR) << int{type};
  }
  EXPECT_EQ(handlerLog.get + handlerLog.getNext + handlerLog.setCheck, 0);
  EXPECT_TRUE(semaphoreIsFree());
}

TEST_F(QueryDispatchTest, SetCommitsOnlyAfterCleanCheck) {
  handlerLog.checkStatus = SNMP_ERRORSTATUS_BADVALUE;
  EXPECT_EQ(extensionQuery(SNMP_PDU_SET, &list_, &status_, &index_), FALSE);
  EXPECT_EQ(status_, SNMP_ERRORSTATUS_BADVALUE);
  EXPECT_EQ(index_, 1);
  EXPECT_EQ(handlerLog.setCommit, 0);

  handlerLog.checkStatus = SNMP_ERRORSTATUS_NOERROR;
  EXPECT_EQ(extensionQuery(SNMP_PDU_SET, &list_, &status_, &index_), TRUE);
  EXPECT_EQ(handlerLog.setCheck, 2);
  EXPECT_EQ(handlerLog.setCommit, 1);
  EXPECT_TRUE(semaphoreIsFree());
}

TEST(TrapEntry, TimeStampWrapsUnsigned) {
  EXPECT_EQ(trapTimeStamp(12345, 1000), 234u);
  EXPECT_EQ(trapTimeStamp(50, 10), 0xFFFFFFFBu);  // tick count below 10 x time zero
  EXPECT_EQ(trapTimeStamp(0xFFFFFFFFu, 0), 429496729u);
}

TEST(TrapEntry, EmptyQueueAnswersFalseAfterWritingTimeStamp) {
  controlSemaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
  resetTrapQueue();
  AsnObjectIdentifier enterprise{0, nullptr};
  AsnInteger32 generic = 7;
  AsnInteger32 specific = 8;
  AsnTimeticks stamp = 0;
  SnmpVarBindList list{nullptr, 0};
  timeZeroReference = GetTickCount() / 10 + 100;  // one second in the future
  EXPECT_EQ(extensionTrap(&enterprise, &generic, &specific, &stamp, &list), FALSE);
  EXPECT_GT(stamp, 0xFFFFFF00u);
  EXPECT_EQ(generic, 7);
  EXPECT_EQ(specific, 8);
  EXPECT_EQ(WaitForSingleObject(controlSemaphore, 0), WAIT_OBJECT_0);  // released
  CloseHandle(controlSemaphore);
  controlSemaphore = nullptr;
  timeZeroReference = 0;
}

// The whole start-up and shut-down with an empty configuration: everything of
// the later steps runs, no control is created.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing_support::setInstallPathValue(install_.root()));
    saved_ = queryHandlers;
    queryHandlers.get = recordGet;
    handlerLog = HandlerLog{};
  }
  void TearDown() override {
    queryHandlers = saved_;
    freeLists();
    traceLogFile.close();
  }

  TempInstallRoot install_;
  QueryHandlers saved_{};
};

TEST_F(StartupTest, RequestDuringStartupWaitsForStepFourteen) {
  openTraceLog();
  ASSERT_EQ(traceLogFile.path(), install_.root() + "\\LOGFILES\\CURVEMIB.LOG");
  ASSERT_TRUE(createAgentSemaphores());

  handlerLog.onCall = [&] { handlerLog.logAtFirstCall = install_.logText(); };
  std::atomic<bool> answered{false};
  std::thread request([&] {
    SnmpVarBindList list{nullptr, 0};
    AsnInteger32 status = 0;
    AsnInteger32 index = 0;
    extensionQuery(SNMP_PDU_GET, &list, &status, &index);
    answered = true;
  });
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(answered.load());  // start-up has not run yet

  ASSERT_EQ(ntrend_Init(), 0);
  request.join();
  EXPECT_EQ(handlerLog.get, 1);
  // The request ran only after the list dump of step 13.
  EXPECT_NE(handlerLog.logAtFirstCall.find("   Deprecated Controls:\n"), std::string::npos);
  EXPECT_EQ(initialized, 1);

  const std::string log = install_.logText();
  EXPECT_NE(log.find("\n Control Index List:........\n"), std::string::npos);
  EXPECT_NE(log.find("ntrend init() return\n"), std::string::npos);

  ntrend_Exit();
  EXPECT_NE(install_.logText().find("ntrend_Exit() function...\n"), std::string::npos);
  EXPECT_EQ(controlSemaphore, nullptr);
  EXPECT_EQ(initialized, 0);
}

TEST_F(StartupTest, HeaderChangesSurviveUnloadAndRestore) {
  install_.writeConfiguration(
      "pctMemoryAvailableKBytes 1 10 1 90 10 1 falling\n"
      "[TrendFiles]\n");
  openTraceLog();
  ASSERT_EQ(ntrend_Init(), 0);
  ASSERT_NE(controlList, nullptr);
  const DWORD number = controlList->controlIndex;
  ASSERT_EQ(WaitForSingleObject(controlSemaphore, 5000), WAIT_OBJECT_0);
  deprecateControl(controlList);
  ReleaseSemaphore(controlSemaphore, 1, nullptr);
  ntrend_Exit();

  ASSERT_EQ(ntrend_Init(), 0);  // restores from the history files
  const Control* restored = findControl(number);
  ASSERT_NE(restored, nullptr);
  EXPECT_EQ(restored->controlStatus, 2);
  ntrend_Exit();
}

TEST_F(StartupTest, RemovedFilesAreReportedAndTheirControlsMadeAgain) {
  install_.writeConfiguration(
      "pctMemoryAvailableKBytes 1 10 1 90 10 1 falling\n"
      "fileReads 1 10 1 90 10 2 rising\n"
      "[TrendFiles]\n");
  openTraceLog();
  ASSERT_EQ(ntrend_Init(), 0);
  ntrend_Exit();
  const std::string dir = install_.root() + "/TrenFile/";
  // Control 2's ring is broken; 3.NT is a copy of control 1 under a number
  // of its own.
  std::fstream damaged(dir + "2.NT", std::ios::in | std::ios::out | std::ios::binary);
  damaged.seekp(348);
  damaged.write("\x88\x13\0\0", 4);  // head 5000 of 10 slots
  damaged.close();
  std::string copy = testing_support::readWholeFile(dir + "1.NT");
  copy[12] = 3;
  std::ofstream(dir + "3.NT", std::ios::binary) << copy;

  ASSERT_EQ(ntrend_Init(), 0);
  int memoryControls = 0;
  const Control* reads = nullptr;
  for (const Control* c = controlList; c != nullptr; c = c->next) {
    if (c->classId == 8) ++memoryControls;
    if (c->classId == 9) reads = c;
  }
  EXPECT_EQ(memoryControls, 1);
  ASSERT_NE(reads, nullptr);  // made again from its line, with an empty history
  EXPECT_EQ(reads->numOfSample, 0u);
  EXPECT_EQ(reads->thresholdType, 1);
  ntrend_Exit();
  EXPECT_FALSE(std::filesystem::exists(dir + "3.NT"));

  const std::string events =
      commandOutput("'" + e2e::buildDir() + "/bin/wlevent' --source 'VO DEDAZ' 2>&1");
  // The insertion strings: file, class, instance, reason.
  EXPECT_NE(events.find("1012 (no message text) \"" + install_.root() +
                        "\\TrenFile\\2.NT\" \"9 fileReads\" \"\" \"damaged\""),
            std::string::npos)
      << events;
  EXPECT_NE(events.find("\"8 pctMemoryAvailableKBytes\" \"\" \"a second file"), std::string::npos)
      << events;
}

TEST_F(StartupTest, EachLoadEmptiesTheLog) {
  openTraceLog();
  traceLog("a line of an earlier load\n");
  ASSERT_NE(install_.logText().find("earlier load"), std::string::npos);
  openTraceLog();
  EXPECT_EQ(install_.logText(), "");
}

TEST_F(StartupTest, MissingInstallPathFailsWithoutLogFile) {
  testing_support::removeInstallPathValue();
  openTraceLog();
  EXPECT_FALSE(traceLogFile.hasFile());
  testing::internal::CaptureStdout();
  EXPECT_EQ(ntrend_Init(), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "CURVEMIB is not loaded due to the reason above.\r\n"),
            std::string::npos);
  EXPECT_EQ(initialized, 0);
}

TEST_F(StartupTest, UncreatableTrendDirectoryFails) {
  const std::string blocker = install_.root() + "/blocker";
  std::ofstream(blocker) << "a file, not a directory";
  install_.writeConfiguration("[TrendFiles]\nDirectory=" + blocker + "\\TREND\n");
  openTraceLog();
  testing::internal::CaptureStdout();
  EXPECT_EQ(ntrend_Init(), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Unable to create the TREND directory on " + blocker + "\\TREND"),
            std::string::npos);
  EXPECT_NE(install_.logText().find("unable to use the trend directory " + blocker),
            std::string::npos);
}

TEST_F(StartupTest, TrendDirectoryThatIsAFileFailsLikeAMissingOne) {
  const std::string file = install_.root() + "/history-file";
  std::ofstream(file) << "a file, not a directory";
  install_.writeConfiguration(
      "pctMemoryAvailableKBytes 1 10 1 90 10 1 falling\n[TrendFiles]\nDirectory=" + file + "\n");
  openTraceLog();
  testing::internal::CaptureStdout();
  EXPECT_EQ(ntrend_Init(), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Unable to create the TREND directory on " + file), std::string::npos) << out;
  EXPECT_NE(install_.logText().find("unable to use the trend directory " + file),
            std::string::npos);
  EXPECT_EQ(controlList, nullptr);
}

TEST(OutputChannels, ConsoleMessagesAreCutAt199Characters) {
  testing::internal::CaptureStdout();
  consoleMessage("%s", std::string(300, 'y').c_str());
  quietMessage("never shown\r\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(199, 'y'));
}

}  // namespace
}  // namespace trend
