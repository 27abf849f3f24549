// The trend MIB's get, get-next and set, driven directly on controls built by
// the test, with the history files in a temporary directory.
#include "agent/trend/mib.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "agent/testing/agent_environment.h"
#include "agent/trend/bucket_worker.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/lifecycle.h"
#include "agent/trend/page_cache.h"
#include "win32/memory.h"
#include "win32/sync.h"

namespace trend {
namespace {

using Arcs = std::vector<UINT>;

const Arcs kRoot = {1, 3, 6, 1, 4, 1, 64823, 2, 45};
const Arcs kPastView = {1, 3, 6, 1, 4, 1, 64823, 2, 46};

Arcs under(const Arcs& base, std::initializer_list<UINT> more) {
  Arcs arcs = base;
  arcs.insert(arcs.end(), more);
  return arcs;
}
Arcs controlName(UINT col, UINT classId, UINT index) {
  return under(kRoot, {1, 1, 1, col, classId, index});
}
Arcs historyName(UINT col, UINT index, UINT k) { return under(kRoot, {1, 2, 1, col, index, k}); }

// A request as the SNMP service hands it over: names on the global heap.
class Request {
 public:
  explicit Request(const std::vector<Arcs>& names) : binds_(names.size()) {
    for (size_t i = 0; i < names.size(); ++i) {
      SnmpVarBind& vb = binds_[i];
      std::memset(&vb, 0, sizeof vb);
      vb.value.asnType = ASN_NULL;
      if (names[i].empty()) continue;
      vb.name.ids = static_cast<UINT*>(GlobalAlloc(GPTR, sizeof(UINT) * names[i].size()));
      std::memcpy(vb.name.ids, names[i].data(), sizeof(UINT) * names[i].size());
      vb.name.idLength = static_cast<UINT>(names[i].size());
    }
    list_.list = binds_.data();
    list_.len = static_cast<UINT>(binds_.size());
  }
  ~Request() {
    for (SnmpVarBind& vb : binds_) {
      if (vb.name.ids != nullptr) GlobalFree(vb.name.ids);
      if (vb.value.asnType == ASN_OCTETSTRING && vb.value.asnValue.string.dynamic) {
        GlobalFree(vb.value.asnValue.string.stream);
      }
    }
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  void setInteger(size_t i, LONG v) {
    binds_[i].value.asnType = ASN_INTEGER;
    binds_[i].value.asnValue.number = v;
  }
  SnmpVarBindList* list() { return &list_; }
  Arcs name(size_t i) const {
    const AsnObjectIdentifier& n = binds_[i].name;
    return n.ids == nullptr ? Arcs() : Arcs(n.ids, n.ids + n.idLength);
  }
  const AsnAny& value(size_t i) const { return binds_[i].value; }
  LONG integer(size_t i) const {
    EXPECT_EQ(binds_[i].value.asnType, ASN_INTEGER);
    return binds_[i].value.asnValue.number;
  }

  AsnInteger32 status = 0;
  AsnInteger32 index = 0;

 private:
  std::vector<SnmpVarBind> binds_;
  SnmpVarBindList list_{};
};

class MibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    trendDirectory = dir_;
    // The test plays the SNMP service's thread inside a request: it holds
    // controlSemaphore, so a woken bucket-change worker waits for it.
    controlSemaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    bucketSemaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    startBucketWorker();
  }

  void TearDown() override {
    stopBucketWorker();
    for (Control* c : owned_) dropControlCache(c->controlIndex);
    controlList = nullptr;
    indexList = nullptr;
    for (Control* c : owned_) delete c;
    for (ControlIndexEntry* e : entries_) delete e;
    CloseHandle(controlSemaphore);
    CloseHandle(bucketSemaphore);
    controlSemaphore = nullptr;
    bucketSemaphore = nullptr;
  }

  // A control with samples sampleIndex .. sampleIndex + numOfSample - 1 in a
  // ring of 50 slots starting at `tail`; sample k holds the value 1000 + k.
  Control* addControl(DWORD classId, DWORD index, DWORD sampleIndex = 1, DWORD numOfSample = 0,
                      DWORD tail = 0) {
    auto* c = new Control;
    c->controlIndex = index;
    c->classId = classId;
    c->intervalIndex = 5;
    c->bucketsRequested = 50;
    c->bucketsGranted = 50;
    c->historyStatus = 1;
    c->valueType = 1;
    c->thresholdStatus = 1;
    c->thresholdType = 1;
    c->risingThreshold = 80;
    c->fallingThreshold = 20;
    c->sampleIndex = sampleIndex;
    c->numOfSample = numOfSample;
    c->tail = tail;
    c->head = (tail + (numOfSample == 0 ? 0 : numOfSample - 1)) % 50;
    c->refTimeStamp = numOfSample == 0 ? 0 : 1700000000;
    if (classId == 15) {
      std::strcpy(c->instanceName, "LogicalDisk C:");
      c->instanceNameLength = 14;
    }
    owned_.push_back(c);
    insertSorted(c);
    EXPECT_EQ(createHistoryFile(index), 0);
    for (DWORD k = sampleIndex; k < sampleIndex + numOfSample; ++k) {
      DWORD slot = (k - sampleIndex + tail) % 50;
      EXPECT_EQ(storeSample(index, slot, static_cast<LONG>(1000 + k)), 0);
    }
    return c;
  }

  // Keeps controlList in (class, index) order and indexList in index order.
  void insertSorted(Control* c) {
    Control** link = &controlList;
    while (*link != nullptr &&
           ((*link)->classId < c->classId ||
            ((*link)->classId == c->classId && (*link)->controlIndex < c->controlIndex))) {
      link = &(*link)->next;
    }
    c->next = *link;
    *link = c;
    auto* e = new ControlIndexEntry;
    e->controlIndex = c->controlIndex;
    e->control = c;
    entries_.push_back(e);
    ControlIndexEntry** at = &indexList;
    while (*at != nullptr && (*at)->controlIndex < e->controlIndex) at = &(*at)->next;
    e->next = *at;
    *at = e;
  }

  static void getNext(Request& r) { ASSERT_TRUE(mibGetNext(r.list(), &r.status, &r.index)); }
  static void get(Request& r) { ASSERT_TRUE(mibGet(r.list(), &r.status, &r.index)); }
  static void set(Request& r) { ASSERT_TRUE(mibSetForTesting(r.list(), &r.status, &r.index)); }

  static Arcs nextOf(const Arcs& name) {
    Request r({name});
    getNext(r);
    EXPECT_EQ(r.status, 0);
    return r.name(0);
  }

  // Sets one control column and returns the error status.
  static AsnInteger32 setOne(const Control* c, UINT col, LONG v) {
    Request r({controlName(col, c->classId, c->controlIndex)});
    r.setInteger(0, v);
    set(r);
    return r.status;
  }

  // A fresh registry and trend directory for each test.
  wltest::Sandbox sandbox_{"wl-mib"};
  std::string dir_ = sandbox_.path();
  std::vector<Control*> owned_;
  std::vector<ControlIndexEntry*> entries_;
};

// --- get-next ----------------------------------------------------------------

TEST_F(MibTest, WalkFromRootVisitsEveryColumnThenEveryHeldSampleThenLeaves) {
  addControl(15, 1, 1, 1);
  addControl(1, 2, 5, 2);
  addControl(16, 3);                          // holds no sample
  Control* hidden = addControl(16, 4, 1, 3);  // under a bucket change
  hidden->samplingEnabled = 0;

  std::vector<Arcs> expected;
  const std::vector<std::pair<UINT, UINT>> rows = {{1, 2}, {15, 1}, {16, 3}, {16, 4}};
  for (UINT col = 1; col <= 17; ++col) {
    for (auto [classId, index] : rows) expected.push_back(controlName(col, classId, index));
  }
  for (UINT col = 1; col <= 3; ++col) {
    expected.push_back(historyName(col, 1, 1));
    expected.push_back(historyName(col, 2, 5));
    expected.push_back(historyName(col, 2, 6));
  }
  expected.push_back(kPastView);

  std::vector<Arcs> walked;
  Arcs name = kRoot;
  while (walked.size() < expected.size() + 5) {
    name = nextOf(name);
    walked.push_back(name);
    if (name == kPastView) break;
  }
  EXPECT_EQ(walked, expected);
}

TEST_F(MibTest, GetNextAnswersTheRowAndValueOfTheNextObject) {
  addControl(1, 2, 5, 2);
  addControl(15, 1, 1, 1);

  // Column 5 of the last control continues with column 6 of the first.
  Request r({controlName(5, 15, 1)});
  getNext(r);
  EXPECT_EQ(r.name(0), controlName(6, 1, 2));
  EXPECT_EQ(r.integer(0), -1);

  // Nothing sorts after (22, 999): the next column's first row.
  EXPECT_EQ(nextOf(controlName(3, 22, 999)), controlName(4, 1, 2));
  // Column 17 of the last control enters the history table at the first
  // control (by number) that holds a sample, with its number as value.
  Request h({controlName(17, 15, 1)});
  getNext(h);
  EXPECT_EQ(h.name(0), historyName(1, 1, 1));
  EXPECT_EQ(h.integer(0), 1);
  // The newest sample of control 1 continues with the oldest of control 2.
  EXPECT_EQ(nextOf(historyName(2, 1, 1)), historyName(2, 2, 5));
  // The very last sample leaves the view.
  EXPECT_EQ(nextOf(historyName(3, 2, 6)), kPastView);
  // Before the oldest sample of a control: its oldest sample.
  EXPECT_EQ(nextOf(historyName(3, 2, 2)), historyName(3, 2, 5));
  // Shortened names and column 0 start at the beginning of a table.
  EXPECT_EQ(nextOf(under(kRoot, {1})), controlName(1, 1, 2));
  // Past column 17 the control table hands over to the history table.
  EXPECT_EQ(nextOf(controlName(18, 1, 2)), historyName(1, 1, 1));
  EXPECT_EQ(nextOf(under(kRoot, {1, 1, 1, 0, 99, 99})), controlName(1, 1, 2));
  EXPECT_EQ(nextOf(under(kRoot, {1, 2})), historyName(1, 1, 1));
  EXPECT_EQ(nextOf(under(kRoot, {1, 2, 1, 0})), historyName(1, 1, 1));
  // History values come from the ring.
  Request v({historyName(2, 2, 6)});
  getNext(v);
  EXPECT_EQ(v.name(0), historyName(3, 1, 1));
  EXPECT_EQ(v.integer(0), 1001);
}

TEST_F(MibTest, GetNextOutsideTheTablesLeavesTheViewWithTheValueUntouched) {
  addControl(1, 2, 5, 2);
  for (const Arcs& name : {under(kRoot, {2, 1, 0}), under(kRoot, {1, 3}), under(kRoot, {1, 2, 2}),
                           under(kRoot, {1, 2, 1, 4, 2, 5}), Arcs{}, Arcs{1, 3, 6}}) {
    Request r({name});
    r.setInteger(0, 77);
    getNext(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.index, 0);
    EXPECT_EQ(r.name(0), kPastView);
    EXPECT_EQ(r.integer(0), 77);
  }
}

TEST_F(MibTest, GetNextWithNoControlsLeavesTheView) {
  EXPECT_EQ(nextOf(kRoot), kPastView);
  EXPECT_EQ(nextOf(historyName(1, 0, 0)), kPastView);
}

TEST_F(MibTest, GetNextSurvivesExtremeArcs) {
  addControl(1, 2, 5, 2);
  addControl(1, 0xFFFFFFFFu, 0xFFFFFFF0u, 3);
  EXPECT_EQ(nextOf(controlName(1, 1, 0xFFFFFFFFu)), controlName(2, 1, 2));
  EXPECT_EQ(nextOf(historyName(1, 0xFFFFFFFFu, 0xFFFFFFFFu)), historyName(2, 2, 5));
  EXPECT_EQ(nextOf(historyName(1, 0xFFFFFFFFu, 0xFFFFFFF1u)),
            historyName(1, 0xFFFFFFFFu, 0xFFFFFFF2u));
}

// A history get-next starts at the control its name gives when the index
// list has its lookup; the answers are those of a walk from the list's start.
TEST_F(MibTest, HistoryGetNextAnswersAlikeWithTheIndexLookup) {
  addControl(1, 2, 5, 2);
  addControl(1, 4);  // holds no sample
  Control* hidden = addControl(15, 7, 1, 3);
  hidden->samplingEnabled = 0;
  addControl(16, 9, 1, 3);
  addControl(16, 12, 40, 1);
  std::vector<Arcs> probes;
  for (UINT col = 0; col <= 4; ++col) {
    for (UINT index : {0u, 1u, 2u, 3u, 4u, 7u, 8u, 9u, 12u, 13u, 0xFFFFFFFFu}) {
      for (UINT k : {0u, 1u, 5u, 6u, 39u, 40u, 0xFFFFFFFFu})
        probes.push_back(historyName(col, index, k));
    }
  }
  std::vector<Arcs> walked;
  for (const Arcs& name : probes) walked.push_back(nextOf(name));
  struct Drop {
    ~Drop() { dropIndexLookup(); }
  } drop;
  rebuildIndexLookup();
  ASSERT_NE(indexEntryFrom(8), indexList);  // the lookup is in use
  for (size_t i = 0; i < probes.size(); ++i) EXPECT_EQ(nextOf(probes[i]), walked[i]) << i;
  EXPECT_EQ(nextOf(historyName(3, 9, 3)), historyName(3, 12, 40));
}

// --- get -----------------------------------------------------------------------

TEST_F(MibTest, GetAnswersControlColumnsAndHeldSamples) {
  Control* disk = addControl(15, 3, 10, 4, 48);  // wraps: samples 10..13 in slots 48, 49, 0, 1
  Request r({controlName(3, 15, 3), controlName(14, 15, 3), historyName(3, 3, 10),
             historyName(3, 3, 12), historyName(3, 3, 13),
             under(controlName(4, 15, 3), {5})});  // a 16th arc is ignored
  get(r);
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.value(0).asnType, ASN_OCTETSTRING);
  EXPECT_FALSE(r.value(0).asnValue.string.dynamic);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.value(0).asnValue.string.stream),
                        r.value(0).asnValue.string.length),
            "LogicalDisk C:");
  EXPECT_EQ(r.integer(1), 13);
  EXPECT_EQ(r.integer(2), 1010);
  EXPECT_EQ(r.integer(3), 1012);
  EXPECT_EQ(r.integer(4), 1013);
  EXPECT_EQ(r.integer(5), static_cast<LONG>(disk->intervalIndex));
}

TEST_F(MibTest, GetOfMissingObjectsAnswersNoSuchNameAtTheirPosition) {
  addControl(15, 3, 10, 4);
  for (const Arcs& missing :
       {historyName(3, 3, 9), historyName(3, 3, 14), historyName(4, 3, 10), controlName(18, 15, 3),
        controlName(1, 15, 4), controlName(1, 1, 3), under(kRoot, {2, 1, 0}),
        under(kRoot, {1, 1, 1, 1, 15}), controlName(0, 15, 3)}) {
    Request r({controlName(1, 15, 3), missing});
    get(r);
    EXPECT_EQ(r.status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(r.index, 2);
  }
  owned_[0]->samplingEnabled = 0;
  Request hidden({historyName(1, 3, 10)});
  get(hidden);
  EXPECT_EQ(hidden.status, SNMP_ERRORSTATUS_NOSUCHNAME);
}

TEST_F(MibTest, MissingOrBrokenListAnswersGenErr) {
  AsnInteger32 status = 0;
  AsnInteger32 index = 0;
  EXPECT_TRUE(mibGet(nullptr, &status, &index));
  EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
  SnmpVarBindList broken{nullptr, 3};
  status = 0;
  EXPECT_TRUE(mibGetNext(&broken, &status, &index));
  EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
  EXPECT_EQ(index, 0);
}

// --- set -----------------------------------------------------------------------

TEST_F(MibTest, GrantedBucketCountIsBoundedAndRounded) {
  EXPECT_EQ(grantedBucketCount(0), 50u);
  EXPECT_EQ(grantedBucketCount(7), 50u);
  EXPECT_EQ(grantedBucketCount(105), 100u);
  EXPECT_EQ(grantedBucketCount(0xFFFFFFFFu), 2147483640u);
  EXPECT_EQ(grantedBucketCount(2147483647u), 2147483640u);
}

TEST_F(MibTest, BucketSetsChangeOnlyWhenTheDifferenceIsLargeEnough) {
  Control* c = addControl(1, 2, 1, 30);
  c->bucketsGranted = 100;
  c->bucketsRequested = 100;

  EXPECT_EQ(setOne(c, 15, 109), 0);  // 109 rounds down to 100
  EXPECT_EQ(c->bucketsRequested, 109u);
  EXPECT_EQ(c->samplingEnabled, 1);
  EXPECT_EQ(setOne(c, 15, 95), 0);  // 90: a difference of 10, not below 100 / 10
  EXPECT_EQ(c->samplingEnabled, 0);
  c->samplingEnabled = 1;
  EXPECT_EQ(setOne(c, 15, 111), 0);  // 110: a difference of 10 again
  EXPECT_EQ(c->samplingEnabled, 0);
  EXPECT_EQ(c->bucketsRequested, 111u);
  EXPECT_EQ(c->bucketsGranted, 100u);  // until the worker has converted

  // Rows of a control under a bucket change are hidden.
  Request r({historyName(3, 2, 1)});
  get(r);
  EXPECT_EQ(r.status, SNMP_ERRORSTATUS_NOSUCHNAME);
}

TEST_F(MibTest, BucketSetWhoseRequestCannotBeQueuedFailsAndLeavesTheControl) {
  Control* c = addControl(1, 2, 1, 30);
  c->bucketsRequested = 50;
  AsnInteger32 status = 0;
  int accepted = 0;
  testing::internal::CaptureStdout();
  for (; accepted <= 200; ++accepted) {
    c->samplingEnabled = 1;
    status = setOne(c, 15, 500);
    if (status != 0) break;
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(accepted, 100);
  EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
  EXPECT_EQ(c->samplingEnabled, 1);
  EXPECT_EQ(c->bucketsRequested, 500u);  // from the last accepted set
  EXPECT_EQ(c->bucketsGranted, 50u);
}

TEST_F(MibTest, IntervalSetsRestartTheHistoryOnlyOnAChange) {
  Control* c = addControl(1, 2, 5, 20);
  c->eventRaised = 1;

  EXPECT_EQ(setOne(c, 4, 5), 0);  // the same interval keeps the history
  EXPECT_EQ(c->numOfSample, 20u);

  testing::internal::CaptureStdout();
  EXPECT_EQ(setOne(c, 4, 13), SNMP_ERRORSTATUS_BADVALUE);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "control: 2 change interval from 5 to 13\n");
  EXPECT_EQ(c->numOfSample, 20u);

  testing::internal::CaptureStdout();
  EXPECT_EQ(setOne(c, 4, 1), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(c->intervalIndex, 1u);
  EXPECT_EQ(c->numOfSample, 0u);
  EXPECT_EQ(c->sampleIndex, 1u);
  EXPECT_EQ(c->refTimeStamp, 0u);
  EXPECT_EQ(c->eventRaised, 0);
  EXPECT_EQ(c->samplingEnabled, 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/2.NT"));
  // bucketSemaphore was given back.
  EXPECT_EQ(WaitForSingleObject(bucketSemaphore, 0), WAIT_OBJECT_0);
  ReleaseSemaphore(bucketSemaphore, 1, nullptr);
}

TEST_F(MibTest, ThresholdAndStatusSets) {
  Control* c = addControl(1, 2);
  c->eventRaised = 1;
  c->headerSaved = 1;
  EXPECT_EQ(setOne(c, 11, 80), 0);  // unchanged: the latch stays
  EXPECT_EQ(c->eventRaised, 1);
  EXPECT_EQ(c->headerSaved, 1);
  EXPECT_EQ(setOne(c, 11, 90), 0);
  EXPECT_EQ(c->risingThreshold, 90u);
  EXPECT_EQ(c->eventRaised, 0);
  EXPECT_EQ(c->headerSaved, 0);
  c->eventRaised = 1;
  EXPECT_EQ(setOne(c, 12, -5), 0);
  EXPECT_EQ(c->fallingThreshold, 0xFFFFFFFBu);
  EXPECT_EQ(c->eventRaised, 0);

  EXPECT_EQ(setOne(c, 9, 2), 0);
  EXPECT_EQ(c->thresholdStatus, 2);
  EXPECT_EQ(setOne(c, 9, 3), SNMP_ERRORSTATUS_BADVALUE);
  EXPECT_EQ(setOne(c, 13, 0), SNMP_ERRORSTATUS_BADVALUE);
  EXPECT_EQ(setOne(c, 13, 2), 0);
  EXPECT_EQ(c->historyStatus, 2);

  for (UINT col : {1u, 2u, 3u, 5u, 7u, 8u, 10u, 14u, 16u, 17u}) {
    EXPECT_EQ(setOne(c, col, 1), SNMP_ERRORSTATUS_READONLY) << col;
  }
  for (UINT col : {0u, 6u, 18u}) EXPECT_EQ(setOne(c, col, 1), SNMP_ERRORSTATUS_NOSUCHNAME) << col;
}

TEST_F(MibTest, SetValueWithoutANumberIsABadValue) {
  Control* c = addControl(1, 2);
  Request r({controlName(11, 1, 2)});
  static char text[] = "90";
  SnmpVarBind& vb = r.list()->list[0];
  vb.value.asnType = ASN_OCTETSTRING;
  vb.value.asnValue.string = {reinterpret_cast<BYTE*>(text), 2, FALSE};
  set(r);
  EXPECT_EQ(r.status, SNMP_ERRORSTATUS_BADVALUE);
  EXPECT_EQ(c->risingThreshold, 80u);
  // Unsigned number types are accepted with their bits.
  Request g({controlName(11, 1, 2)});
  g.list()->list[0].value.asnType = ASN_GAUGE32;
  g.list()->list[0].value.asnValue.gauge = 95;
  set(g);
  EXPECT_EQ(g.status, 0);
  EXPECT_EQ(c->risingThreshold, 95u);
}

TEST_F(MibTest, SetErrorIndexRules) {
  Control* c = addControl(1, 2, 1, 3);

  // A history name second: the check pass refuses, nothing is applied.
  Request history({controlName(11, 1, 2), historyName(3, 2, 1)});
  history.setInteger(0, 99);
  history.setInteger(1, 5);
  set(history);
  EXPECT_EQ(history.status, SNMP_ERRORSTATUS_READONLY);
  EXPECT_EQ(history.index, 2);
  EXPECT_EQ(c->risingThreshold, 80u);

  Request outside({controlName(11, 1, 2), under(kRoot, {2, 1, 0})});
  set(outside);
  EXPECT_EQ(outside.status, SNMP_ERRORSTATUS_NOSUCHNAME);
  EXPECT_EQ(outside.index, 2);

  // A bad value second: the first stays applied.
  Request bad({controlName(11, 1, 2), controlName(9, 1, 2)});
  bad.setInteger(0, 99);
  bad.setInteger(1, 7);
  set(bad);
  EXPECT_EQ(bad.status, SNMP_ERRORSTATUS_BADVALUE);
  EXPECT_EQ(bad.index, 2);
  EXPECT_EQ(c->risingThreshold, 99u);

  // A missing row or a short name.
  for (const Arcs& name : {controlName(11, 1, 3), under(kRoot, {1, 1, 1, 11, 1})}) {
    Request r({name});
    r.setInteger(0, 1);
    set(r);
    EXPECT_EQ(r.status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(r.index, 1);
  }
}

TEST_F(MibTest, SetWithNoControlsAnswersNoSuchName) {
  Request r({controlName(11, 1, 2)});
  r.setInteger(0, 1);
  set(r);
  EXPECT_EQ(r.status, SNMP_ERRORSTATUS_NOSUCHNAME);
  EXPECT_EQ(r.index, 1);
}

// --- hostile input -------------------------------------------------------------------

TEST_F(MibTest, RandomNamesAndValuesNeverBreakTheDispatch) {
  addControl(1, 2, 5, 2);
  addControl(15, 1, 1, 1);
  std::mt19937 random(12345);
  const UINT interesting[] = {0, 1, 2, 3, 15, 17, 18, 45, 0xFFFFFFFFu};
  const BYTE types[] = {ASN_INTEGER,   ASN_OCTETSTRING, ASN_NULL,     ASN_OBJECTIDENTIFIER,
                        ASN_COUNTER32, ASN_TIMETICKS,   ASN_COUNTER64};
  testing::internal::CaptureStdout();
  for (int round = 0; round < 3000; ++round) {
    std::vector<Arcs> names;
    for (int i = 0; i < 3; ++i) {
      Arcs name;
      // Up to 128 arcs, mostly short ones.
      size_t length = random() % 8 == 0 ? random() % 129 : random() % 20;
      // Mostly inside the view, so that the tables are reached.
      if (length > 0 && random() % 4 != 0) {
        name = under(kRoot, {1, 1 + static_cast<UINT>(random() % 2), 1});
      }
      while (name.size() < length) {
        name.push_back(random() % 2 ? interesting[random() % 9] : static_cast<UINT>(random()));
      }
      names.push_back(name);
    }
    Request r(names);
    for (size_t i = 0; i < names.size(); ++i) {
      SnmpVarBind& vb = r.list()->list[i];
      vb.value.asnType = types[random() % 7];
      // Integers and counters only; the other types keep empty contents.
      if (vb.value.asnType != ASN_OCTETSTRING && vb.value.asnType != ASN_OBJECTIDENTIFIER) {
        vb.value.asnValue.number = static_cast<LONG>(random());
      }
    }
    switch (round % 3) {
      case 0:
        get(r);
        break;
      case 1:
        getNext(r);
        break;
      default:
        for (Control* c : owned_) c->samplingEnabled = 1;
        set(r);
        break;
    }
    ASSERT_LE(r.index, 3);
  }
  testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace trend
