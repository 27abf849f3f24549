// The sample page cache: write page before write-back, read page reloads,
// page moves, entries and failures.
#include "agent/trend/page_cache.h"

#include <gtest/gtest.h>

#include "agent/trend/tests/history_test_support.h"

namespace trend {
namespace {

using testing::addControl;
using testing::le32;
using testing::readBytes;
using testing::TrendSandbox;

class PageCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    addControl(1);
    ASSERT_EQ(createHistoryFile(1), 0);
  }
  LONG fetch(DWORD slot, int expectedResult = 0) {
    LONG value = 12345;
    EXPECT_EQ(fetchSample(1, slot, &value), expectedResult) << "slot " << slot;
    return value;
  }
  size_t fileSize() { return readBytes(sandbox.trendFile("1.NT")).size(); }
  LONG fileSlot(DWORD slot) {
    return static_cast<LONG>(le32(readBytes(sandbox.trendFile("1.NT")), 412 + 4 * size_t(slot)));
  }
  TrendSandbox sandbox;
};

TEST_F(PageCacheTest, StoredSampleIsVisibleBeforeWriteBack) {
  ASSERT_EQ(storeSample(1, 5, 4242), 0);
  EXPECT_EQ(fileSize(), kHistoryHeaderBytes);  // nothing written yet
  EXPECT_EQ(fetch(5), 4242);
  EXPECT_EQ(cachePageBytesForTesting(1), 4096u);
  EXPECT_EQ(cachePageBytesForTesting(2), 0u);

  ASSERT_EQ(flushControlCache(1), 0);
  EXPECT_EQ(fileSlot(5), 4242);
}

TEST_F(PageCacheTest, ReadPageGivesWayToTheWritePageAfterAStore) {
  ASSERT_EQ(storeSample(1, 1500, 7), 0);
  ASSERT_EQ(flushControlCache(1), 0);
  dropControlCache(1);
  EXPECT_EQ(fetch(1500), 7);  // loads page 1 into the read page
  ASSERT_NE(sampleCacheList, nullptr);
  EXPECT_EQ(sampleCacheList->readPageNo, 1u);

  ASSERT_EQ(storeSample(1, 1501, 8), 0);  // the write page now holds page 1
  EXPECT_EQ(sampleCacheList->readValid, 0);
  ASSERT_EQ(storeSample(1, 1500, 70), 0);
  EXPECT_EQ(fetch(1500), 70);
  EXPECT_EQ(fetch(1501), 8);
}

TEST_F(PageCacheTest, MovingToAnotherPageWritesTheOldOneBack) {
  ASSERT_EQ(storeSample(1, 1023, 11), 0);
  ASSERT_EQ(storeSample(1, 1024, 12), 0);
  EXPECT_EQ(fileSize(), kHistoryHeaderBytes + kPageBytes);  // page 0 at byte 412
  EXPECT_EQ(fileSlot(1023), 11);
  EXPECT_EQ(sampleCacheList->writePageNo, 1u);
  EXPECT_EQ(fetch(1023), 11);  // from the file through the read page
  EXPECT_EQ(fetch(1024), 12);  // from the write page

  // Back to page 0: the write page reloads what the file holds.
  ASSERT_EQ(storeSample(1, 0, 10), 0);
  EXPECT_EQ(fileSlot(1024), 12);
  EXPECT_EQ(fetch(1023), 11);
  flushAllCaches();
  EXPECT_EQ(fileSlot(0), 10);
  EXPECT_EQ(fileSlot(1023), 11);
}

TEST_F(PageCacheTest, UnknownControlsAndMissingEntries) {
  LONG value = 0;
  EXPECT_EQ(fetchSample(99, 0, &value), -2);
  EXPECT_EQ(storeSample(99, 0, 1), -3);
  EXPECT_EQ(sampleCacheList, nullptr);
  EXPECT_EQ(flushControlCache(1), -1);
  dropControlCache(1);  // no entry: nothing happens
}

TEST_F(PageCacheTest, UnreadablePageStartsZeroFilledAndNeverTakesAnotherPagesSamples) {
  ASSERT_EQ(storeSample(1, 3, 33), 0);  // page 0, dirty
  deleteHistoryFile(1);
  // The write-back of page 0 recreates the file; page 1 then reads as zero.
  ASSERT_EQ(storeSample(1, 1027, 44), 0);
  EXPECT_EQ(fileSlot(3), 33);
  EXPECT_EQ(fetch(1027), 44);
  for (DWORD slot : {1024u, 1026u, 2047u}) EXPECT_EQ(fetch(slot), 0) << slot;

  // Now the file vanishes and cannot come back: page 1's samples cannot be
  // written, so the page stays and the store that needs page 2 fails.
  std::filesystem::remove_all(sandbox.root() + "/TrenFile");
  EXPECT_EQ(storeSample(1, 2048 + 5, 55), -1);
  EXPECT_EQ(fetch(1027), 44);
  EXPECT_EQ(sampleCacheList->writeClean, 0);
  flushAllCaches();  // fails quietly, page stays dirty
  EXPECT_EQ(sampleCacheList->writeClean, 0);
  EXPECT_EQ(fetch(0, -1), 12345);  // read page cannot be loaded
}

TEST_F(PageCacheTest, DropDiscardsAndDropAllWritesBack) {
  ASSERT_EQ(storeSample(1, 0, 1), 0);
  dropControlCache(1);
  EXPECT_EQ(sampleCacheList, nullptr);
  EXPECT_EQ(fileSize(), kHistoryHeaderBytes);

  addControl(2);
  ASSERT_EQ(storeSample(1, 0, 5), 0);
  ASSERT_EQ(storeSample(2, 0, 6), 0);
  EXPECT_EQ(sampleCacheList->controlIndex, 2u);  // newest entry first
  dropAllCaches();
  EXPECT_EQ(sampleCacheList, nullptr);
  EXPECT_EQ(fileSlot(0), 5);
  EXPECT_EQ(le32(readBytes(sandbox.trendFile("2.NT")), 412), 6u);
}

}  // namespace
}  // namespace trend
