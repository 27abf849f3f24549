// Threshold latch, the event queue and the varbind layouts of the traps.
#include "agent/trend/traps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "agent/trend/lifecycle.h"
#include "win32/windows.h"

namespace trend {
namespace {

constexpr UINT kView[] = {1, 3, 6, 1, 4, 1, 64823, 2, 45};

std::vector<UINT> arcs(const AsnObjectIdentifier& oid) {
  return std::vector<UINT>(oid.ids, oid.ids + oid.idLength);
}

std::vector<UINT> trapObject(UINT column) {
  std::vector<UINT> v(std::begin(kView), std::end(kView));
  v.insert(v.end(), {2, column, 0});
  return v;
}

std::string text(const AsnAny& value) {
  return std::string(reinterpret_cast<const char*>(value.asnValue.string.stream),
                     value.asnValue.string.length);
}

class TrapsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetTrapQueue();
    trapEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(trapEvent, nullptr);
  }
  void TearDown() override {
    drain();
    CloseHandle(trapEvent);
    trapEvent = nullptr;
  }

  // Builds traps until none is left and releases the last one's allocations.
  int drain() {
    int built = 0;
    while (next()) ++built;
    return built;
  }

  BOOL next() { return buildNextTrap(&enterprise, &generic, &specific, &stamp, &list); }

  static Control thresholdControl(LONG type, LONG valueType, DWORD rising, DWORD falling) {
    Control c;
    c.classId = 2;
    c.intervalIndex = 5;
    c.thresholdStatus = 1;
    c.thresholdType = type;
    c.valueType = valueType;
    c.risingThreshold = rising;
    c.fallingThreshold = falling;
    return c;
  }

  // Feeds the samples; returns the indexes of the samples that raised.
  static std::vector<int> feed(Control* c, const std::vector<LONG>& samples) {
    std::vector<int> raisedAt;
    DWORD now = 1000000;
    for (size_t i = 0; i < samples.size(); ++i) {
      ThresholdEvent ignored;
      while (takeThresholdEvent(&ignored)) {
      }
      checkThreshold(c, samples[i], now += 60);
      if (takeThresholdEvent(&ignored)) raisedAt.push_back(static_cast<int>(i));
    }
    return raisedAt;
  }

  AsnObjectIdentifier enterprise{0, nullptr};
  AsnInteger32 generic = -1;
  AsnInteger32 specific = -1;
  AsnTimeticks stamp = 12345;
  SnmpVarBindList list{nullptr, 0};
};

TEST_F(TrapsTest, RisingAbsoluteRaisesOncePerCrossing) {
  Control c = thresholdControl(1, 1, 80, 20);
  EXPECT_EQ(feed(&c, {50, 81, 90, 30, 19, 85}), (std::vector<int>{1, 5}));
  EXPECT_EQ(c.eventRaised, 1);
  Control edge = thresholdControl(1, 3, 80, 20);  // average is tested like absolute
  EXPECT_TRUE(feed(&edge, {80, 80, 20, 80}).empty());
}

TEST_F(TrapsTest, FallingAbsoluteRaisesAndRearms) {
  Control c = thresholdControl(2, 1, 80, 20);
  EXPECT_EQ(feed(&c, {50, 19, 10, 79, 81, 15}), (std::vector<int>{1, 5}));
}

TEST_F(TrapsTest, RaiseQueuesEventAndSignalsTrapEvent) {
  Control c = thresholdControl(1, 1, 80, 20);
  c.classId = 15;
  c.intervalIndex = 6;
  std::strcpy(c.instanceName, "LogicalDisk C:");
  checkThreshold(&c, 95, 1000);
  EXPECT_EQ(WaitForSingleObject(trapEvent, 0), WAIT_OBJECT_0);
  ThresholdEvent event;
  ASSERT_TRUE(takeThresholdEvent(&event));
  EXPECT_EQ(event.classId, 15u);
  EXPECT_STREQ(event.instanceName, "LogicalDisk C:");
  EXPECT_EQ(event.threshold, 80u);
  EXPECT_EQ(event.intervalSeconds, 300u);
  EXPECT_FALSE(takeThresholdEvent(&event));
}

TEST_F(TrapsTest, RisingDeltaTestsDifferences) {
  Control c = thresholdControl(1, 2, 10, 2);
  EXPECT_EQ(feed(&c, {100, 105, 120}), (std::vector<int>{2}));
  // A lower sample is not tested, yet becomes the previous value.
  EXPECT_TRUE(feed(&c, {90}).empty());
  EXPECT_EQ(c.eventRaised, 1);
  EXPECT_EQ(c.lastCheckedValue, 90);
  // 90 -> 91 is a difference of 1 < 2: re-armed; 91 -> 200 raises again.
  EXPECT_EQ(feed(&c, {91, 200}), (std::vector<int>{1}));
}

TEST_F(TrapsTest, FallingDeltaTestsDecreases) {
  Control c = thresholdControl(2, 2, 50, 5);
  // 100 -> 98 drops by 2 < 5: raise; a rise is not tested; 98 -> 10 re-arms.
  EXPECT_EQ(feed(&c, {100, 98, 120, 10, 9}), (std::vector<int>{1, 4}));
}

TEST_F(TrapsTest, DeltaNeverTestsFirstSampleAfterRestart) {
  Control c = thresholdControl(1, 2, 10, 2);
  c.lastCheckedValue = 0;
  c.lastCheckedTime = 0;
  checkThreshold(&c, 500, 1000);
  EXPECT_EQ(c.eventRaised, 0);
  EXPECT_EQ(c.lastCheckedValue, 500);
  EXPECT_EQ(c.lastCheckedTime, 1000);
}

TEST_F(TrapsTest, InvalidSampleIsIgnoredEntirely) {
  Control c = thresholdControl(1, 2, 10, 2);
  EXPECT_TRUE(feed(&c, {100}).empty());
  const LONG checkedTime = c.lastCheckedTime;
  checkThreshold(&c, -1, 5000000);
  EXPECT_EQ(c.lastCheckedValue, 100);
  EXPECT_EQ(c.lastCheckedTime, checkedTime);
  EXPECT_EQ(feed(&c, {115}), (std::vector<int>{0}));  // still a delta from 100

  Control absolute = thresholdControl(1, 1, 80, 20);
  absolute.eventRaised = 1;
  checkThreshold(&absolute, -1, 100);  // would re-arm if tested as 0xFFFFFFFF? no: ignored
  EXPECT_EQ(absolute.eventRaised, 1);
}

TEST_F(TrapsTest, QueueHoldsTenEventsOldestFirst) {
  std::vector<Control> controls(11);
  for (int i = 0; i < 11; ++i) {
    controls[i] = thresholdControl(1, 1, 80, 20);
    controls[i].classId = static_cast<DWORD>(i + 2);
    checkThreshold(&controls[i], 99, 1000);
    EXPECT_EQ(controls[i].eventRaised, 1);  // latched even when the event is lost
  }
  EXPECT_EQ(queueThresholdEvent(2, "", 1, 1), 1);  // still full
  std::vector<AsnInteger32> order;
  for (int call = 0; call < 10; ++call) {
    ASSERT_TRUE(next()) << call;
    order.push_back(specific);
  }
  EXPECT_FALSE(next());
  EXPECT_EQ(order, (std::vector<AsnInteger32>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  // The ring wraps: positions reused after draining.
  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(queueThresholdEvent(3, "", 1, 1), 0);
    ASSERT_TRUE(next());
  }
}

TEST_F(TrapsTest, ClassFifteenTrapLayout) {
  ASSERT_EQ(queueThresholdEvent(15, "LogicalDisk D:", 10, 300), 0);
  ASSERT_TRUE(next());
  EXPECT_EQ(stamp, 12345u);  // written by the entry point, not here
  EXPECT_EQ(generic, 6);
  EXPECT_EQ(specific, 15);
  std::vector<UINT> expectedEnterprise(std::begin(kView), std::end(kView));
  expectedEnterprise.push_back(0);
  EXPECT_EQ(arcs(enterprise), expectedEnterprise);
  ASSERT_EQ(list.len, 4u);
  EXPECT_EQ(arcs(list.list[0].name), trapObject(1));
  EXPECT_EQ(list.list[0].value.asnType, ASN_OCTETSTRING);
  EXPECT_EQ(text(list.list[0].value), trapHostNameForTesting());
  EXPECT_EQ(arcs(list.list[1].name), trapObject(2));
  EXPECT_EQ(list.list[1].value.asnType, ASN_INTEGER);
  EXPECT_NEAR(list.list[1].value.asnValue.number, static_cast<LONG>(wl_time(nullptr)), 5);
  EXPECT_EQ(arcs(list.list[2].name), trapObject(3));
  EXPECT_EQ(list.list[2].value.asnValue.number, 10);
  EXPECT_EQ(arcs(list.list[3].name), trapObject(7));
  EXPECT_EQ(text(list.list[3].value), "LogicalDisk D:");
  EXPECT_TRUE(list.list[3].value.asnValue.string.dynamic);
}

TEST_F(TrapsTest, ClassTwentyPutsAdapterBeforeInterval) {
  ASSERT_EQ(queueThresholdEvent(20, "Server Work Queues 0", 7, 60), 0);
  ASSERT_TRUE(next());
  ASSERT_EQ(list.len, 5u);
  EXPECT_EQ(arcs(list.list[3].name), trapObject(8));
  EXPECT_EQ(text(list.list[3].value), "Server Work Queues 0");
  EXPECT_EQ(arcs(list.list[4].name), trapObject(4));
  EXPECT_EQ(list.list[4].value.asnValue.number, 60);
}

TEST_F(TrapsTest, OtherClassLayouts) {
  ASSERT_EQ(queueThresholdEvent(17, "Network Interface eth0", 5, 10), 0);
  ASSERT_EQ(queueThresholdEvent(3, "", 5, 15), 0);
  ASSERT_EQ(queueThresholdEvent(0, "", 5, 15), 0);
  ASSERT_TRUE(next());
  ASSERT_EQ(list.len, 5u);
  EXPECT_EQ(arcs(list.list[3].name), trapObject(4));
  EXPECT_EQ(arcs(list.list[4].name), trapObject(5));
  EXPECT_EQ(text(list.list[4].value), "Network Interface eth0");
  ASSERT_TRUE(next());
  ASSERT_EQ(list.len, 4u);
  EXPECT_EQ(arcs(list.list[3].name), trapObject(4));
  EXPECT_EQ(list.list[3].value.asnValue.number, 15);
  ASSERT_TRUE(next());  // a class outside the table: a trap without varbinds
  EXPECT_EQ(specific, 0);
  EXPECT_EQ(list.len, 0u);
}

TEST_F(TrapsTest, EmptyQueueReleasesPreviousTrapAndLeavesOutArgs) {
  ASSERT_EQ(queueThresholdEvent(16, "Network Interface lo", 1, 5), 0);
  ASSERT_TRUE(next());
  ASSERT_EQ(list.len, 5u);
  enterprise = AsnObjectIdentifier{0, nullptr};
  generic = 99;
  specific = 98;
  EXPECT_FALSE(next());
  EXPECT_EQ(list.len, 0u);
  EXPECT_EQ(list.list, nullptr);
  EXPECT_EQ(enterprise.ids, nullptr);
  EXPECT_EQ(generic, 99);
  EXPECT_EQ(specific, 98);
  EXPECT_FALSE(next());
}

TEST_F(TrapsTest, LongInstanceNameIsBounded) {
  const std::string longName(400, 'x');
  ASSERT_EQ(queueThresholdEvent(16, longName.c_str(), 1, 5), 0);
  ASSERT_TRUE(next());
  ASSERT_EQ(list.len, 5u);
  EXPECT_EQ(list.list[4].value.asnValue.string.length, 255u);
}

}  // namespace
}  // namespace trend
