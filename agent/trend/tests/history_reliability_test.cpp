// History files survive a kill: a child process stores samples into several
// controls as fast as it can, writing pages and headers back all the time;
// it is killed with SIGKILL at a random moment, and every control must then
// restore from its file with a ring that obeys the ring rules and holds the
// values the child stored there. Control 1 also changes its ring size back
// and forth, so kills land inside conversions too.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "agent/trend/tests/history_test_support.h"

namespace trend {
namespace {

using testing::addControl;
using testing::storeRing;
using testing::TrendSandbox;

constexpr DWORD kControls = 4;
constexpr DWORD kBuckets[kControls] = {50, 1030, 2100, 3000};

// The child's endless storm: every sample value equals its running number,
// so the restored ring can be checked slot by slot.
// It writes one byte to `ready` once its files exist.
[[noreturn]] void stormOfPageWrites(int ready) {
  for (DWORD i = 0; i < kControls; ++i) {
    addControl(i + 1, kBuckets[i], ("Processor " + std::to_string(i)).c_str());
    if (createHistoryFile(i + 1) != 0) _exit(2);
  }
  if (write(ready, "r", 1) != 1) _exit(3);
  for (DWORD round = 0;; ++round) {
    for (Control* c = controlList; c != nullptr; c = c->next) {
      LONG next = static_cast<LONG>(c->sampleIndex + c->numOfSample);
      storeRing(c, 1 + round % 7, next);
      if (round % 3 == 0) flushControlCache(c->controlIndex);
      if (round % 11 == 0) saveHistoryHeader(c->controlIndex);
    }
    if (round % 5 == 0) {
      Control* first = findControl(1);
      flushControlCache(1);
      dropControlCache(1);
      convertHistoryBuckets(first, first->bucketsGranted == kBuckets[0] ? 60 : kBuckets[0]);
    }
  }
}

void expectConsistentRing(const Control* c) {
  SCOPED_TRACE("control " + std::to_string(c->controlIndex));
  const DWORD n = c->bucketsGranted;
  if (c->controlIndex == 1) {
    ASSERT_TRUE(n == kBuckets[0] || n == 60) << n;
  } else {
    ASSERT_EQ(n, kBuckets[c->controlIndex - 1]);
  }
  ASSERT_LE(c->numOfSample, n);
  ASSERT_LT(c->tail, n);
  if (c->numOfSample == 0) {
    EXPECT_EQ(c->head, c->tail);
    return;
  }
  EXPECT_EQ(c->head, (c->tail + c->numOfSample - 1) % n);
  // The header on disk may run a little ahead of the pages (a page is written
  // back after the ring moved into the next page) or behind them (killed
  // between a page and its header): such slots hold zero or the sample of
  // another lap of the ring. Every value is still one the slot was given.
  for (DWORD k = 0; k < c->numOfSample; ++k) {
    LONG value = 0;
    ASSERT_EQ(fetchSample(c->controlIndex, (c->tail + k) % n, &value), 0);
    LONG expected = static_cast<LONG>(c->sampleIndex + k);
    if (value != expected && value != 0) {
      EXPECT_EQ((value - expected) % static_cast<LONG>(n), 0) << "slot of sample " << expected;
    }
  }
}

TEST(HistoryReliability, EveryControlRestoresConsistentlyAfterAKill) {
  std::mt19937 random(12345);
  for (int attempt = 0; attempt < 6; ++attempt) {
    TrendSandbox sandbox;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    fflush(stdout);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) stormOfPageWrites(ready[1]);
    close(ready[1]);  // a child that dies early then ends the read
    char byte = 0;
    bool started = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (!started) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
    ASSERT_TRUE(started) << "the storm did not start";
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 400));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the storm ended on its own: " << status;

    ASSERT_EQ(removeStaleHistoryFiles(), 0);
    ASSERT_EQ(restoreControlsFromHistoryFiles(), 0);
    DWORD restored = 0;
    for (const Control* c = controlList; c != nullptr; c = c->next) {
      ++restored;
      expectConsistentRing(c);
    }
    EXPECT_EQ(restored, kControls);
  }
}

}  // namespace
}  // namespace trend
