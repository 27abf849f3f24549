// History files: the header image, page transfer, creation, clean-up,
// restore, the request queue and the bucket-count conversion.
#include "agent/trend/history_file.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "agent/trend/history_reports.h"
#include "agent/trend/sampling.h"
#include "agent/trend/tests/history_test_support.h"
#include "agent/trend/tests/snmp_e2e_support.h"
#include "win32/windows.h"

namespace wl::eventlog {
void ResetEventStoreForTesting();  // the platform's, for tests
}  // namespace wl::eventlog

namespace trend {
namespace {

using testing::addControl;
using testing::le32;
using testing::putLe32;
using testing::readBytes;
using testing::ringValues;
using testing::storeRing;
using testing::TrendSandbox;
using testing::writeBytes;

class HistoryFileTest : public ::testing::Test {
 protected:
  TrendSandbox sandbox;
};

TEST_F(HistoryFileTest, HeaderMatchesLayoutAtEveryOffset) {
  Control* c = addControl(7, 120, "Processor 1");
  c->controlStatus = 2;
  c->classId = 15;
  c->intervalIndex = 6;
  c->bucketsRequested = 125;
  c->historyStatus = 1;
  c->valueType = 2;
  c->diskSizeMB = 8388;
  c->lastSampleValue = -5;
  c->refTimeStamp = 0x5F5E1000;
  c->thresholdStatus = 1;
  c->thresholdType = 2;
  c->risingThreshold = 90;
  c->fallingThreshold = 10;
  c->head = 0x12;
  c->tail = 0x13;
  c->sampleIndex = 0x01020304;
  c->numOfSample = 120;
  c->lastCheckedValue = 77;
  c->lastCheckedTime = 0x0A0B0C0D;
  c->prevCounter = 99;  // not persisted
  ASSERT_EQ(createHistoryFile(7), 0);
  EXPECT_EQ(c->headerSaved, 1);

  std::vector<BYTE> expected(kHistoryHeaderBytes, 0);
  std::memcpy(expected.data(), "NT_TREND", 8);
  expected[10] = '0';
  expected[11] = '1';
  const std::pair<size_t, DWORD> fields[] = {
      {12, 7},     {16, 2},           {20, 15},   {292, 11},   {296, 6},         {300, 125},
      {304, 120},  {308, 1},          {312, 2},   {316, 8388}, {320, DWORD(-5)}, {324, 0x5F5E1000},
      {328, 1},    {332, 2},          {336, 90},  {340, 10},   {344, DWORD(-1)}, {348, 0x12},
      {352, 0x13}, {356, 0x01020304}, {360, 120}, {364, 77},   {368, 0x0A0B0C0D}};
  for (const auto& [offset, value] : fields) putLe32(&expected, offset, value);
  std::memcpy(expected.data() + 24, "Processor 1", 11);

  std::vector<BYTE> file = readBytes(sandbox.trendFile("7.NT"));
  ASSERT_EQ(file.size(), kHistoryHeaderBytes);
  for (size_t offset = 0; offset < kHistoryHeaderBytes; ++offset) {
    EXPECT_EQ(file[offset], expected[offset]) << "offset " << offset;
  }
}

TEST_F(HistoryFileTest, CreateKeepsAnExistingValidFileAndReplacesAnInvalidOne) {
  Control* c = addControl(3);
  ASSERT_EQ(createHistoryFile(3), 0);
  storeRing(c, 10, 500);
  ASSERT_EQ(flushControlCache(3), 0);
  std::vector<BYTE> before = readBytes(sandbox.trendFile("3.NT"));
  ASSERT_EQ(before.size(), kHistoryHeaderBytes + kPageBytes);

  c->risingThreshold = 1234;  // a header change that must not be written
  ASSERT_EQ(createHistoryFile(3), 0);
  EXPECT_EQ(readBytes(sandbox.trendFile("3.NT")), before);

  writeBytes(sandbox.trendFile("3.NT"), std::vector<BYTE>(600, 'x'));
  ASSERT_EQ(createHistoryFile(3), 0);
  std::vector<BYTE> rebuilt = readBytes(sandbox.trendFile("3.NT"));
  ASSERT_EQ(rebuilt.size(), kHistoryHeaderBytes);
  EXPECT_EQ(le32(rebuilt, 336), 1234u);

  EXPECT_EQ(createHistoryFile(999), 1);  // unknown control
}

TEST_F(HistoryFileTest, PagesLandAfterTheHeaderAndReadZeroPastTheEnd) {
  Control* c = addControl(4);
  ASSERT_EQ(createHistoryFile(4), 0);
  std::vector<BYTE> page(kPageBytes);
  std::iota(page.begin(), page.end(), BYTE(1));
  c->numOfSample = 42;
  c->headerSaved = 0;
  ASSERT_EQ(writeHistoryPage(4, 1, page.data(), kPageBytes), 0);
  EXPECT_EQ(c->headerSaved, 1);

  std::vector<BYTE> file = readBytes(sandbox.trendFile("4.NT"));
  ASSERT_EQ(file.size(), kHistoryHeaderBytes + 2 * kPageBytes);
  EXPECT_EQ(le32(file, 360), 42u);  // the header follows the ring
  EXPECT_TRUE(std::equal(page.begin(), page.end(), file.begin() + 412 + 4096));

  std::vector<BYTE> back(kPageBytes, 0xEE);
  ASSERT_EQ(readHistoryPage(4, 1, back.data(), kPageBytes), 0);
  EXPECT_EQ(back, page);
  ASSERT_EQ(readHistoryPage(4, 3, back.data(), kPageBytes), 0);
  EXPECT_EQ(back, std::vector<BYTE>(kPageBytes, 0));

  EXPECT_EQ(readHistoryPage(5, 0, back.data(), kPageBytes), 1);  // no such control
  deleteHistoryFile(4);
  EXPECT_EQ(readHistoryPage(4, 0, back.data(), kPageBytes), 1);
  EXPECT_EQ(writeHistoryPage(4, 0, page.data(), kPageBytes), 1);
}

TEST_F(HistoryFileTest, SaveHeadersRewritesInPlaceOrCreates) {
  Control* a = addControl(1);
  Control* b = addControl(2);
  ASSERT_EQ(createHistoryFile(1), 0);
  a->numOfSample = 9;
  a->headerSaved = 0;
  b->headerSaved = 0;  // no file yet: created
  saveUnsavedHeaders();
  EXPECT_EQ(le32(readBytes(sandbox.trendFile("1.NT")), 360), 9u);
  EXPECT_EQ(readBytes(sandbox.trendFile("2.NT")).size(), kHistoryHeaderBytes);
  EXPECT_EQ(a->headerSaved, 1);
  EXPECT_EQ(b->headerSaved, 1);
}

TEST_F(HistoryFileTest, CleanupRemovesInvalidAndOldFilesWithTheirLines) {
  addControl(11);
  addControl(12);
  ASSERT_EQ(createHistoryFile(11), 0);
  ASSERT_EQ(createHistoryFile(12), 0);
  std::vector<BYTE> old = readBytes(sandbox.trendFile("12.NT"));
  old[11] = '2';
  writeBytes(sandbox.trendFile("12.NT"), old);
  std::vector<BYTE> shortFile(100, 0);
  std::memcpy(shortFile.data(), "NT_TREND", 8);
  writeBytes(sandbox.trendFile("13.NT"), shortFile);

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(removeStaleHistoryFiles(), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("remove old version of .NT file - " + trendDirectory + "\\12.NT\n"),
            std::string::npos);
  EXPECT_NE(out.find("remove invalid.NT file - " + trendDirectory + "\\13.NT\n"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(sandbox.trendFile("11.NT")));
  EXPECT_FALSE(std::filesystem::exists(sandbox.trendFile("12.NT")));
  EXPECT_FALSE(std::filesystem::exists(sandbox.trendFile("13.NT")));

  deleteHistoryFile(11);
  EXPECT_EQ(removeStaleHistoryFiles(), 1);
}

TEST_F(HistoryFileTest, CleanupRemovesHeadersThatBreakTheRingOrTheirName) {
  addControl(21, 50);
  ASSERT_EQ(createHistoryFile(21), 0);
  std::vector<BYTE> good = readBytes(sandbox.trendFile("21.NT"));
  auto variant = [&](const std::string& name, size_t offset, DWORD value) {
    std::vector<BYTE> bytes = good;
    putLe32(&bytes, offset, value);
    writeBytes(sandbox.trendFile(name), bytes);
  };
  variant("22.NT", 12, 21);  // names another control
  variant("23.NT", 12, 23);  // fine apart from its number ...
  std::vector<BYTE> broken = readBytes(sandbox.trendFile("23.NT"));
  putLe32(&broken, 304, 0);  // ... and a ring of no buckets
  writeBytes(sandbox.trendFile("23.NT"), broken);
  variant("21.NT", 360, 51);  // more samples than buckets
  freeLists();

  EXPECT_EQ(removeStaleHistoryFiles(), 1);
  EXPECT_TRUE(std::filesystem::is_empty(sandbox.root() + "/TrenFile"));
}

// Enough files that two threads read the headers: every file is judged and
// restored as one reader would, whatever half it lies in.
TEST_F(HistoryFileTest, ManyFilesAreCleanedAndRestoredWhole) {
  constexpr DWORD kFiles = 600;
  for (DWORD i = 1; i <= kFiles; ++i) {
    addControl(i, 100, ("Disk " + std::to_string(i)).c_str());
    ASSERT_EQ(createHistoryFile(i), 0);
  }
  for (DWORD damaged : {2u, 599u}) {
    std::vector<BYTE> bytes = readBytes(sandbox.trendFile(std::to_string(damaged) + ".NT"));
    putLe32(&bytes, 304, 0);  // a ring of no buckets
    writeBytes(sandbox.trendFile(std::to_string(damaged) + ".NT"), bytes);
  }
  freeLists();

  ::testing::internal::CaptureStdout();
  ASSERT_EQ(removeStaleHistoryFiles(), 0);
  ASSERT_EQ(restoreControlsFromHistoryFiles(), 0);
  ::testing::internal::GetCapturedStdout();
  DWORD restored = 0;
  for (Control* c = controlList; c != nullptr; c = c->next) {
    ++restored;
    EXPECT_EQ(std::string(c->instanceName), "Disk " + std::to_string(c->controlIndex));
    EXPECT_TRUE(c->historyFileChecked);
  }
  EXPECT_EQ(restored, kFiles - 2);
  EXPECT_EQ(findControl(2), nullptr);
  EXPECT_EQ(findControl(599), nullptr);
  EXPECT_FALSE(std::filesystem::exists(sandbox.trendFile("599.NT")));
}

TEST_F(HistoryFileTest, RestoreRebuildsControlsFromHeaders) {
  Control* c = addControl(5, 50, "Processor 0");
  c->head = 9;
  c->tail = 10;
  c->numOfSample = 50;
  c->sampleIndex = 77;
  c->eventRaised = 1;
  c->refTimeStamp = 1000;
  c->controlStatus = 2;
  ASSERT_EQ(createHistoryFile(5), 0);
  addControl(6, 60, "");
  ASSERT_EQ(createHistoryFile(6), 0);
  // An instance name whose recorded length is shorter than its text.
  std::vector<BYTE> bytes = readBytes(sandbox.trendFile("5.NT"));
  putLe32(&bytes, 292, 4);
  bytes.resize(kHistoryHeaderBytes + 4096);  // the page that holds the 50 samples
  writeBytes(sandbox.trendFile("5.NT"), bytes);
  freeLists();

  ASSERT_EQ(restoreControlsFromHistoryFiles(), 0);
  Control* r = findControl(5);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->instanceName, "Proc");
  EXPECT_EQ(r->instanceNameLength, 4u);
  EXPECT_EQ(r->head, 9u);
  EXPECT_EQ(r->tail, 10u);
  EXPECT_EQ(r->numOfSample, 50u);
  EXPECT_EQ(r->sampleIndex, 77u);
  EXPECT_EQ(r->refTimeStamp, 1000u);
  EXPECT_EQ(r->controlStatus, 2);
  EXPECT_EQ(r->eventRaised, 0);
  EXPECT_EQ(r->samplingEnabled, 1);
  EXPECT_EQ(r->headerSaved, 0);
  EXPECT_EQ(r->bucketsGranted, 50u);
  EXPECT_STREQ(r->signature, "NT_TREND");
  ASSERT_NE(findControl(6), nullptr);
  EXPECT_EQ(findControl(6)->bucketsGranted, 60u);
}

TEST_F(HistoryFileTest, RestoreKeepsOnlySamplesTheFileHolds) {
  // Control 4: 1500 of 2048 slots claimed, the file cut after page 0.
  // Control 5: a made-up ring of 2^31 slots and 2e9 samples over one page.
  Control* cut = addControl(4, 2048);
  storeRing(cut, 1500, 1);
  Control* huge = addControl(5, 100, "Processor 1");
  storeRing(huge, 3, 7);
  flushAllCaches();
  std::vector<BYTE> file = readBytes(sandbox.trendFile("4.NT"));
  file.resize(kHistoryHeaderBytes + 4096);
  writeBytes(sandbox.trendFile("4.NT"), file);
  file = readBytes(sandbox.trendFile("5.NT"));
  putLe32(&file, 304, 2147483640u);  // buckets granted
  putLe32(&file, 348, 1999999999u);  // head
  putLe32(&file, 360, 2000000000u);  // samples held
  putLe32(&file, 324, 1000);         // the first sample in 1970
  writeBytes(sandbox.trendFile("5.NT"), file);
  dropAllCaches();
  freeLists();

  restoreControlsFromHistoryFiles();
  buildIndexList();
  Control* restoredCut = findControl(4);
  ASSERT_NE(restoredCut, nullptr);
  EXPECT_EQ(restoredCut->numOfSample, 1024u);
  EXPECT_EQ(restoredCut->head, 1023u);
  std::vector<LONG> expected(1024);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(ringValues(restoredCut), expected);  // no sample of 0

  Control* restoredHuge = findControl(5);
  ASSERT_NE(restoredHuge, nullptr);
  EXPECT_EQ(restoredHuge->numOfSample, 1024u);
  // Decades of missing samples are not filled one by one: the history restarts.
  EXPECT_EQ(Align_Sampling_History(restoredHuge, 1700000000, AlignMode::kStartup), 1);
  EXPECT_EQ(restoredHuge->numOfSample, 0u);
}

TEST_F(HistoryFileTest, SamplesThatCouldNotBeWrittenAreNeverReadAsOthers) {
  const std::string dir = sandbox.root() + "/TrenFile";
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "this test may not mount a file system";
  }
  struct Unmount {
    std::string dir;
    ~Unmount() { umount2(dir.c_str(), MNT_DETACH); }
  } unmount{dir};
  forgetReportedHistoryFailures();
  wl::eventlog::ResetEventStoreForTesting();  // this sandbox's event log
  Control* c = addControl(1, 2048);
  ASSERT_EQ(createHistoryFile(1), 0);
  storeRing(c, 2148, 1);  // every value is its running number; page 0 holds 2049..2148
  flushAllCaches();
  ASSERT_EQ(mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);

  ::testing::internal::CaptureStdout();
  for (LONG value = 2149; value < 3200; ++value) storeRingSample(c, value, 0);
  c->headerSaved = 0;
  flushAllCaches();
  saveUnsavedHeaders();
  const std::string trace = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(trace.find("the history file " + dir + "\\1.NT of control 1."), std::string::npos)
      << trace;
  std::vector<LONG> values = ringValues(c);
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i], LONG(c->sampleIndex + i)) << i;

  // What the file holds after the failed shut-down is consistent too: the
  // next start (the file system writable again) restores no borrowed values.
  dropAllCaches();
  freeLists();
  ASSERT_EQ(mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT, nullptr), 0);
  restoreControlsFromHistoryFiles();
  buildIndexList();
  ASSERT_NE(findControl(1), nullptr);
  values = ringValues(findControl(1));
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(values[i], LONG(findControl(1)->sampleIndex + i)) << i;
  }
  FILE* events = popen(("'" + e2e::buildDir() + "/bin/wlevent' 2>&1").c_str(), "r");
  ASSERT_NE(events, nullptr);
  std::string text;
  char buffer[512];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, events)) > 0;) text.append(buffer, n);
  pclose(events);
  // Once per control and kind of failure, however often it failed.
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_GE(count(" 1011 "), 1u) << text;
  EXPECT_EQ(count(" 1011 "), count("\"create\"") + count("\"write\"") + count("\"read\"")) << text;
  EXPECT_LE(count("\"create\""), 1u) << text;
  EXPECT_LE(count("\"write\""), 1u) << text;
}

TEST(BucketRequestQueue, HoldsOneHundredRequestsInArrivalOrder) {
  TrendSandbox sandbox;
  ASSERT_EQ(startBucketWorker(), 0);
  Control c;
  for (DWORD i = 0; i < 100; ++i) ASSERT_EQ(requestBucketChange(&c, 50 + i), 0) << i;
  EXPECT_EQ(requestBucketChange(&c, 999), 1);
  stopBucketWorker();  // empties the queue
  EXPECT_EQ(requestBucketChange(&c, 50), 0);
  stopBucketWorker();
}

class ConversionTest : public HistoryFileTest {
 protected:
  // A control of `buckets` slots holding `count` samples 1..count.
  Control* filled(DWORD buckets, DWORD count) {
    Control* c = addControl(8, buckets);
    EXPECT_EQ(createHistoryFile(8), 0);
    storeRing(c, count, 1);
    flushControlCache(8);
    dropControlCache(8);
    c->samplingEnabled = 0;
    return c;
  }
  static std::vector<LONG> range(LONG first, LONG last) {
    std::vector<LONG> values;
    for (LONG v = first; v <= last; ++v) values.push_back(v);
    return values;
  }
};

TEST_F(ConversionTest, GrowingAWrappedRingKeepsEverySampleInAgeOrder) {
  Control* c = filled(50, 70);  // wrapped: samples 21..70, tail 20
  ASSERT_EQ(c->tail, 20u);
  ASSERT_EQ(c->sampleIndex, 21u);
  convertHistoryBuckets(c, 100);
  EXPECT_EQ(c->bucketsGranted, 100u);
  EXPECT_EQ(c->tail, 0u);
  EXPECT_EQ(c->head, 49u);
  EXPECT_EQ(c->numOfSample, 50u);
  EXPECT_EQ(c->sampleIndex, 21u);
  EXPECT_EQ(c->samplingEnabled, 1);
  EXPECT_EQ(ringValues(c), range(21, 70));
  EXPECT_FALSE(std::filesystem::exists(sandbox.trendFile("8.NT$")));
  std::vector<BYTE> file = readBytes(sandbox.trendFile("8.NT"));
  EXPECT_EQ(le32(file, 304), 100u);
  EXPECT_EQ(le32(file, 348), 49u);
  EXPECT_EQ(le32(file, 360), 50u);
}

TEST_F(ConversionTest, ShrinkingKeepsTheNewestSamples) {
  Control* c = filled(100, 80);
  convertHistoryBuckets(c, 50);
  EXPECT_EQ(c->numOfSample, 50u);
  EXPECT_EQ(c->sampleIndex, 31u);  // 30 oldest left behind
  EXPECT_EQ(c->head, 49u);
  EXPECT_EQ(ringValues(c), range(31, 80));
}

TEST_F(ConversionTest, ConversionTracesItsPages) {
  Control* c = filled(2000, 2000);
  ::testing::internal::CaptureStdout();
  convertHistoryBuckets(c, 3000);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "read cache page: 0\nget write-cache page: 0\n"
            "read cache page: 1\nwrite cache page: 0\nget write-cache page: 1\n"
            "write cache page: 1\nnew head: 2000\n");
  EXPECT_EQ(ringValues(c), range(1, 2000));
  EXPECT_EQ(conversionOldRingForTesting().buckets, 0u);  // released
}

TEST_F(ConversionTest, FailedRebuildKeepsTheOldFileAndBucketCount) {
  Control* c = filled(50, 30);
  std::vector<BYTE> before = readBytes(sandbox.trendFile("8.NT"));
  // A directory in the way of the new file makes its creation fail.
  std::filesystem::create_directory(sandbox.trendFile("8.NT$"));
  ::testing::internal::CaptureStdout();
  convertHistoryBuckets(c, 100);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("rename_trend_file() failed\n"), std::string::npos);
  EXPECT_EQ(c->bucketsGranted, 50u);
  EXPECT_EQ(c->samplingEnabled, 1);
  EXPECT_EQ(readBytes(sandbox.trendFile("8.NT")), before);
}

TEST_F(ConversionTest, StartUpFinishesOrUndoesAChangeThatWasCutOff) {
  Control* c = filled(50, 30);
  std::vector<BYTE> old = readBytes(sandbox.trendFile("8.NT"));
  // Killed right after the rename: the old file comes back.
  ASSERT_EQ(rename_trend_file(8, "NT$"), 0);
  EXPECT_EQ(removeStaleHistoryFiles(), 0);
  EXPECT_EQ(readBytes(sandbox.trendFile("8.NT")), old);
  EXPECT_FALSE(std::filesystem::exists(sandbox.trendFile("8.NT$")));

  // Killed while copying: the new file holds no samples yet.
  ASSERT_EQ(rename_trend_file(8, "NT$"), 0);
  Control empty = *c;
  empty.numOfSample = 0;
  empty.head = 0;
  std::vector<BYTE> header(kHistoryHeaderBytes);
  buildHistoryHeaderImage(empty, header.data());
  writeBytes(sandbox.trendFile("8.NT"), header);
  EXPECT_EQ(removeStaleHistoryFiles(), 0);
  EXPECT_EQ(readBytes(sandbox.trendFile("8.NT")), old);

  // Killed before the old file was deleted: the converted file stays.
  convertHistoryBuckets(c, 100);
  std::vector<BYTE> converted = readBytes(sandbox.trendFile("8.NT"));
  writeBytes(sandbox.trendFile("8.NT$"), old);
  EXPECT_EQ(removeStaleHistoryFiles(), 0);
  EXPECT_EQ(readBytes(sandbox.trendFile("8.NT")), converted);
  EXPECT_FALSE(std::filesystem::exists(sandbox.trendFile("8.NT$")));
}

TEST_F(ConversionTest, MissingFileChangesTheCountAtOnceInsideTheRingRules) {
  Control* c = filled(100, 80);
  deleteHistoryFile(8);
  convertHistoryBuckets(c, 50);
  EXPECT_EQ(c->bucketsGranted, 50u);
  EXPECT_EQ(c->numOfSample, 50u);
  EXPECT_EQ(c->tail, 0u);
  EXPECT_EQ(c->head, 49u);
  EXPECT_EQ(c->sampleIndex, 31u);
  EXPECT_EQ(c->samplingEnabled, 1);
  EXPECT_EQ(le32(readBytes(sandbox.trendFile("8.NT")), 304), 50u);
}

}  // namespace
}  // namespace trend

namespace trend {
namespace {

TEST(TrendDirectory, ReadFromTheConfigurationWithDefaultAndWhole) {
  testing::TrendSandbox sandbox;
  const std::string ini = sandbox.root() + "/INI/CURVEMIB.INI";
  readTrendDirectory();
  EXPECT_EQ(trendDirectory, sandbox.root() + "\\TrenFile");

  std::ofstream(ini) << "[TrendFiles]\r\nDirectory=D:\\History\r\n";
  readTrendDirectory();
  EXPECT_EQ(trendDirectory, "D:\\History");

  // Longer than 99 characters: the whole path, not a directory nobody asked for.
  const std::string deep =
      sandbox.root() + "/" + std::string(120, 'd') + "/" + std::string(99, 'e');
  std::ofstream(ini) << "[TrendFiles]\r\nDirectory=" << deep << "\r\n";
  readTrendDirectory();
  EXPECT_EQ(trendDirectory, deep);
}

TEST(BucketWorker, ConvertsQueuedRequestsInTheBackground) {
  testing::TrendSandbox sandbox;
  controlSemaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
  ASSERT_NE(controlSemaphore, nullptr);
  Control* a = testing::addControl(1, 50);
  Control* b = testing::addControl(2, 50);
  ASSERT_EQ(createHistoryFile(1), 0);
  ASSERT_EQ(createHistoryFile(2), 0);
  testing::storeRing(a, 60, 1);
  testing::storeRing(b, 10, 1);
  flushAllCaches();
  dropAllCaches();
  ASSERT_EQ(startBucketWorker(), 0);

  ASSERT_EQ(WaitForSingleObject(controlSemaphore, INFINITE), WAIT_OBJECT_0);
  a->samplingEnabled = 0;
  b->samplingEnabled = 0;
  ASSERT_EQ(requestBucketChange(a, 100), 0);
  ASSERT_EQ(requestBucketChange(b, 200), 0);
  resumeBucketWorker();
  ReleaseSemaphore(controlSemaphore, 1, nullptr);

  bool done = false;
  for (int i = 0; i < 500 && !done; ++i) {
    Sleep(10);
    WaitForSingleObject(controlSemaphore, INFINITE);
    done = a->samplingEnabled == 1 && b->samplingEnabled == 1 && b->bucketsGranted == 200;
    ReleaseSemaphore(controlSemaphore, 1, nullptr);
  }
  ASSERT_TRUE(done);
  EXPECT_EQ(a->bucketsGranted, 100u);
  EXPECT_EQ(a->numOfSample, 50u);
  EXPECT_EQ(a->sampleIndex, 11u);
  EXPECT_EQ(testing::le32(testing::readBytes(sandbox.trendFile("2.NT")), 304), 200u);

  // A later request wakes the worker again.
  WaitForSingleObject(controlSemaphore, INFINITE);
  ASSERT_EQ(requestBucketChange(b, 60), 0);
  resumeBucketWorker();
  ReleaseSemaphore(controlSemaphore, 1, nullptr);
  done = false;
  for (int i = 0; i < 500 && !done; ++i) {
    Sleep(10);
    WaitForSingleObject(controlSemaphore, INFINITE);
    done = b->bucketsGranted == 60;
    ReleaseSemaphore(controlSemaphore, 1, nullptr);
  }
  EXPECT_TRUE(done);
  EXPECT_EQ(testing::ringValues(b), (std::vector<LONG>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

  WaitForSingleObject(controlSemaphore, INFINITE);
  stopBucketWorker();
  ReleaseSemaphore(controlSemaphore, 1, nullptr);
  CloseHandle(controlSemaphore);
  controlSemaphore = nullptr;
}

}  // namespace
}  // namespace trend
