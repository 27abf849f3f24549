// History alignment, the ring store, due flags, the pass guard and the
// sampling pass, on controls built by the test with their history files in a
// temporary directory.
#include "agent/trend/sampling.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "agent/testing/agent_environment.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/lifecycle.h"
#include "agent/trend/page_cache.h"

namespace trend {
namespace {

constexpr DWORD kMinute = 60;
// A time that is a multiple of every interval (midnight, 2023-11-15 UTC).
constexpr DWORD kMidnight = 1700006400;

class SamplingTest : public ::testing::Test {
 protected:
  void SetUp() override { trendDirectory = dir_; }

  void TearDown() override {
    for (Control* c : owned_) dropControlCache(c->controlIndex);
    controlList = nullptr;
    indexList = nullptr;
    for (Control* c : owned_) delete c;
    for (ControlIndexEntry* e : entries_) delete e;
  }

  // A control of class 8 with a 60-second interval, appended to the lists,
  // with an empty history file.
  Control* addControl(DWORD index, DWORD buckets, DWORD intervalIndex = 5) {
    auto* c = new Control;
    c->controlIndex = index;
    c->classId = 8;
    c->intervalIndex = intervalIndex;
    c->bucketsRequested = buckets;
    c->bucketsGranted = buckets;
    c->historyStatus = 1;
    c->thresholdStatus = 2;
    c->valueType = 1;
    owned_.push_back(c);
    Control** link = &controlList;
    while (*link != nullptr) link = &(*link)->next;
    *link = c;
    auto* e = new ControlIndexEntry;
    e->controlIndex = index;
    e->control = c;
    entries_.push_back(e);
    ControlIndexEntry** at = &indexList;
    while (*at != nullptr) at = &(*at)->next;
    *at = e;
    EXPECT_EQ(createHistoryFile(index), 0);
    return c;
  }

  // Stores `count` samples with values 1, 2, ... due every interval from `start`.
  static void fill(Control* c, DWORD count, DWORD start) {
    DWORD interval = intervalSeconds(c->intervalIndex);
    for (DWORD i = 0; i < count; ++i) {
      ASSERT_EQ(storeRingSample(c, static_cast<LONG>(i + 1), start + i * interval), 0);
    }
  }

  static DWORD lastDue(const Control* c) {
    return c->refTimeStamp +
           intervalSeconds(c->intervalIndex) * (c->sampleIndex + c->numOfSample - 2);
  }

  // The value of running sample k, read back through the page cache.
  static LONG sampleValue(const Control* c, DWORD k) {
    LONG value = 0;
    DWORD slot = (k - c->sampleIndex + c->tail) % c->bucketsGranted;
    EXPECT_EQ(fetchSample(c->controlIndex, slot, &value), 0);
    return value;
  }

  // A fresh registry and trend directory for each test.
  wltest::Sandbox sandbox_{"wl-sampling"};
  std::string dir_ = sandbox_.path();
  std::vector<Control*> owned_;
  std::vector<ControlIndexEntry*> entries_;
};

// --- the ring ------------------------------------------------------------------

TEST_F(SamplingTest, RingFillsThenOverwritesItsOldestSample) {
  Control* c = addControl(1, 50);
  fill(c, 1, kMidnight);
  EXPECT_EQ(c->refTimeStamp, kMidnight);
  EXPECT_EQ(c->head, 0u);
  EXPECT_EQ(c->numOfSample, 1u);

  for (DWORD i = 2; i <= 50; ++i) ASSERT_EQ(storeRingSample(c, i, kMidnight + i * 60), 0);
  EXPECT_EQ(c->numOfSample, 50u);
  EXPECT_EQ(c->head, 49u);
  EXPECT_EQ(c->tail, 0u);

  // The 51st and 52nd samples overwrite the two oldest.
  ASSERT_EQ(storeRingSample(c, 51, 0), 0);
  ASSERT_EQ(storeRingSample(c, 52, 0), 0);
  EXPECT_EQ(c->numOfSample, 50u);
  EXPECT_EQ(c->head, 1u);
  EXPECT_EQ(c->tail, 2u);
  EXPECT_EQ(c->sampleIndex, 3u);
  EXPECT_EQ(c->lastSampleValue, 52);
  EXPECT_EQ(c->refTimeStamp, kMidnight);  // only the first sample sets it
  EXPECT_EQ(sampleValue(c, 3), 3);
  EXPECT_EQ(sampleValue(c, 52), 52);
}

TEST_F(SamplingTest, SampleThatCannotBeStoredLeavesTheRingAsItWas) {
  Control orphan;  // not in the lists: the cache has no place for its samples
  orphan.controlIndex = 77;
  orphan.bucketsGranted = 50;
  orphan.head = 3;
  orphan.tail = 1;
  orphan.numOfSample = 3;
  EXPECT_EQ(storeRingSample(&orphan, 5, kMidnight), 1);
  EXPECT_EQ(orphan.head, 3u);
  EXPECT_EQ(orphan.tail, 1u);
  EXPECT_EQ(orphan.numOfSample, 3u);
  EXPECT_EQ(orphan.lastSampleValue, 5);  // recorded even so
}

TEST_F(SamplingTest, DegenerateRingsStayBounded) {
  Control* empty = addControl(1, 0);
  EXPECT_EQ(storeRingSample(empty, 5, kMidnight), 1);
  EXPECT_EQ(empty->numOfSample, 0u);

  Control* single = addControl(2, 1);
  for (DWORD i = 0; i < 4; ++i) ASSERT_EQ(storeRingSample(single, i, kMidnight + i * 60), 0);
  EXPECT_EQ(single->numOfSample, 1u);
  EXPECT_EQ(single->sampleIndex, 4u);
  EXPECT_EQ(single->head, 0u);
  EXPECT_EQ(single->tail, 0u);
}

// --- alignment -------------------------------------------------------------------

TEST_F(SamplingTest, HourStoppedFillsSixtyInvalidSamplesAtStartup) {
  Control* c = addControl(1, 100);
  fill(c, 10, kMidnight);
  DWORD newest = lastDue(c);
  EXPECT_EQ(Align_Sampling_History(c, newest + 3600, AlignMode::kStartup), 0);
  EXPECT_EQ(c->numOfSample, 70u);
  EXPECT_EQ(c->sampleIndex, 1u);
  EXPECT_EQ(lastDue(c), newest + 3600);
  EXPECT_EQ(sampleValue(c, 10), 10);
  EXPECT_EQ(sampleValue(c, 11), -1);
  EXPECT_EQ(sampleValue(c, 70), -1);
  // The next pass, one interval later, has nothing to fill.
  EXPECT_EQ(Align_Sampling_History(c, newest + 3660, AlignMode::kSampler), 0);
  EXPECT_EQ(c->numOfSample, 70u);
}

TEST_F(SamplingTest, GapLargerThanTheRingRestartsTheHistory) {
  Control* c = addControl(4, 50);
  fill(c, 10, kMidnight);
  c->eventRaised = 1;
  c->prevCounter = 99;
  testing::internal::CaptureStdout();
  EXPECT_EQ(Align_Sampling_History(c, lastDue(c) + 3600, AlignMode::kStartup), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "missing too much samples, re-start the sampling - 4\n"),
            std::string::npos);
  EXPECT_EQ(c->numOfSample, 0u);
  EXPECT_EQ(c->sampleIndex, 1u);
  EXPECT_EQ(c->refTimeStamp, 0u);
  EXPECT_EQ(c->lastSampleValue, -1);
  EXPECT_EQ(c->eventRaised, 0);
  EXPECT_EQ(c->prevCounter, 0);
  EXPECT_EQ(c->samplingEnabled, 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/4.NT"));
  // The next sample becomes number 1 and sets the reference time.
  ASSERT_EQ(storeRingSample(c, 7, kMidnight + 7200), 0);
  EXPECT_EQ(c->refTimeStamp, kMidnight + 7200);
  EXPECT_EQ(sampleValue(c, 1), 7);
}

TEST_F(SamplingTest, SamplerModeFillsOnlyTheIntervalsBeforeThisPass) {
  Control* c = addControl(1, 100);
  fill(c, 3, kMidnight);
  EXPECT_EQ(Align_Sampling_History(c, lastDue(c) + 30, AlignMode::kSampler), 0);
  EXPECT_EQ(Align_Sampling_History(c, lastDue(c) + kMinute, AlignMode::kSampler), 0);
  EXPECT_EQ(c->numOfSample, 3u);
  EXPECT_EQ(Align_Sampling_History(c, lastDue(c) + 2 * kMinute, AlignMode::kSampler), 0);
  EXPECT_EQ(c->numOfSample, 4u);
  EXPECT_EQ(sampleValue(c, 4), -1);
  // In start-up mode one interval means one missed sample.
  EXPECT_EQ(Align_Sampling_History(c, lastDue(c) + kMinute, AlignMode::kStartup), 0);
  EXPECT_EQ(c->numOfSample, 5u);
}

TEST_F(SamplingTest, ClockMovedBackRemovesTheSamplesNowInTheFuture) {
  Control* c = addControl(3, 100);
  fill(c, 30, kMidnight);
  DWORD newest = lastDue(c);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Align_Sampling_History(c, newest - 600, AlignMode::kSampler), 0);
  std::string trace = testing::internal::GetCapturedStdout();
  const std::string expected =
      "time shift back, remove invalid samples: sampling - 3\n"
      "current ts -" +
      std::to_string(newest - 600) + ", ref ts - " + std::to_string(kMidnight) + ", last ts - " +
      std::to_string(newest) +
      "\n"
      "numOfSample - 30, sampleIndex - 1\n"
      "tail - 0, head - 29\n"
      "diff: 600, numOfInvalid: 11\n";
  EXPECT_EQ(trace.substr(0, expected.size()), expected);
  EXPECT_EQ(c->numOfSample, 19u);
  EXPECT_EQ(c->head, 18u);
  EXPECT_EQ(c->sampleIndex, 1u);
  EXPECT_EQ(c->refTimeStamp, kMidnight);
  // The next sample takes the place of the first one removed.
  ASSERT_EQ(storeRingSample(c, 500, newest - 600), 0);
  EXPECT_EQ(lastDue(c), newest - 600);
  EXPECT_EQ(sampleValue(c, 20), 500);
}

TEST_F(SamplingTest, ClockMovedBackOverTheWholeHistoryRestartsIt) {
  Control* c = addControl(3, 100);
  fill(c, 30, kMidnight);
  testing::internal::CaptureStdout();
  // Exactly at the oldest sample: every sample is removed.
  EXPECT_EQ(Align_Sampling_History(c, kMidnight, AlignMode::kSampler), 1);
  std::string trace = testing::internal::GetCapturedStdout();
  EXPECT_NE(trace.find("numOfInvalid == pControl->numOfSample\nre-start sampling - 3\n"),
            std::string::npos);
  EXPECT_EQ(c->numOfSample, 0u);

  fill(c, 30, kMidnight);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Align_Sampling_History(c, kMidnight - 1, AlignMode::kSampler), 1);
  trace = testing::internal::GetCapturedStdout();
  EXPECT_NE(trace.find("tail - 0, head - 29\nre-start sampling - 3\n"), std::string::npos);
  EXPECT_EQ(c->refTimeStamp, 0u);
}

TEST_F(SamplingTest, AlignmentLeavesSomeControlsAlone) {
  Control* c = addControl(1, 100);
  EXPECT_EQ(Align_Sampling_History(c, kMidnight, AlignMode::kStartup), 0);  // no sample yet
  fill(c, 3, kMidnight);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Align_Sampling_History(c, lastDue(c), AlignMode::kSampler), 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  c->historyStatus = 2;
  EXPECT_EQ(Align_Sampling_History(c, lastDue(c) + 36000, AlignMode::kStartup), 0);
  c->historyStatus = 1;
  c->intervalIndex = 13;  // no interval: never due, nothing missing
  EXPECT_EQ(Align_Sampling_History(c, kMidnight + 36000, AlignMode::kStartup), 0);
  EXPECT_EQ(c->numOfSample, 3u);
}

TEST_F(SamplingTest, FillThatCannotBeStoredReportsThree) {
  Control orphan;
  orphan.controlIndex = 78;
  orphan.intervalIndex = 5;
  orphan.bucketsGranted = 100;
  orphan.historyStatus = 1;
  orphan.refTimeStamp = kMidnight;
  orphan.numOfSample = 1;
  EXPECT_EQ(Align_Sampling_History(&orphan, kMidnight + 600, AlignMode::kSampler), 3);
  EXPECT_EQ(orphan.numOfSample, 1u);
}

// --- timer and sampler --------------------------------------------------------------

TEST_F(SamplingTest, DueFlagsFollowTheWallClock) {
  LONG flags[kIntervalCount + 1];
  computeDueFlags(kMidnight, flags);
  for (int i = 1; i <= kIntervalCount; ++i) EXPECT_EQ(flags[i], 1) << i;
  computeDueFlags(kMidnight + 300, flags);
  EXPECT_EQ(flags[1], 1);
  EXPECT_EQ(flags[5], 1);
  EXPECT_EQ(flags[6], 1);
  EXPECT_EQ(flags[7], 0);
  EXPECT_EQ(flags[12], 0);
  computeDueFlags(kMidnight + 5, flags);
  EXPECT_EQ(flags[1], 1);
  EXPECT_EQ(flags[2], 0);
}

TEST_F(SamplingTest, PassesCloserThanThreeSecondsAreSkipped) {
  testing::internal::CaptureStdout();
  EXPECT_TRUE(acceptPassTime(kMidnight));
  EXPECT_FALSE(acceptPassTime(kMidnight));
  EXPECT_FALSE(acceptPassTime(kMidnight + 1));
  EXPECT_FALSE(acceptPassTime(kMidnight + 2));
  EXPECT_FALSE(acceptPassTime(kMidnight - 2));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "!!! sampling_thread elapsed time is 1 seconds\n"
            "!!! sampling_thread elapsed time is 2 seconds\n");
  EXPECT_TRUE(acceptPassTime(kMidnight + 3));
  EXPECT_TRUE(acceptPassTime(kMidnight - 5));
}

TEST_F(SamplingTest, PassSamplesOnlyDueEnabledControls) {
  Control* due = addControl(1, 50, 1);
  Control* notDue = addControl(2, 50, 6);
  Control* deprecated = addControl(3, 50, 1);
  deprecated->controlStatus = 2;
  Control* converting = addControl(4, 50, 1);
  converting->samplingEnabled = 0;
  Control* allOff = addControl(5, 50, 1);
  allOff->historyStatus = 2;
  Control* noInterval = addControl(6, 50, 13);
  Control* thresholdOnly = addControl(7, 50, 1);
  thresholdOnly->historyStatus = 2;
  thresholdOnly->thresholdStatus = 1;

  LONG flags[kIntervalCount + 1];
  computeDueFlags(kMidnight + 5, flags);
  testing::internal::CaptureStdout();
  EXPECT_EQ(samplingPass(flags, kMidnight + 5), 2);
  computeDueFlags(kMidnight + 10, flags);
  EXPECT_EQ(samplingPass(flags, kMidnight + 10), 2);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(due->numOfSample, 2u);
  EXPECT_EQ(due->refTimeStamp, kMidnight + 5);
  for (const Control* c : {notDue, deprecated, converting, allOff, noInterval, thresholdOnly}) {
    EXPECT_EQ(c->numOfSample, 0u) << c->controlIndex;
  }
}

}  // namespace
}  // namespace trend
