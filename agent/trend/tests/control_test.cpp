// Control lists: numbering, ordering, the index list and instance states.
#include "agent/trend/control.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace trend {

// The trace log of this test program collects its text, so that the list
// dump can be compared and the test needs no log file.
std::string tracedText;

void traceLog(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  tracedText += buffer;
}

namespace {

Control* makeControl(DWORD classId, DWORD index, const char* instance = "") {
  auto* c = new Control;
  c->classId = classId;
  c->controlIndex = index;
  std::strncpy(c->instanceName, instance, kInstanceNameBytes - 1);
  c->instanceNameLength = static_cast<DWORD>(std::strlen(c->instanceName));
  appendControl(c);
  return c;
}

std::vector<std::pair<DWORD, DWORD>> classAndIndexOrder() {
  std::vector<std::pair<DWORD, DWORD>> order;
  for (const Control* c = controlList; c != nullptr; c = c->next) {
    order.emplace_back(c->classId, c->controlIndex);
  }
  return order;
}

class ControlListTest : public ::testing::Test {
 protected:
  void TearDown() override { freeLists(); }
};

TEST(ControlTables, ClassLookupsAreExactAndBounded) {
  EXPECT_EQ(classIdByName("pctLogicalDiskFreeSpace"), 15u);
  EXPECT_EQ(classIdByName("pctlogicaldiskfreespace"), 0u);  // case-sensitive
  EXPECT_EQ(classIdByName("THIS_IS_NOT_A_LEGAL_CLASS"), 0u);
  EXPECT_EQ(classIdByName(""), 0u);
  EXPECT_EQ(classIdByName(nullptr), 0u);
  for (DWORD id = 16; id <= 19; ++id) EXPECT_EQ(classInstanceGroup(id), 1) << id;
  for (DWORD id = 2; id <= 13; ++id) EXPECT_FALSE(classIsMultiInstance(id)) << id;
  EXPECT_EQ(classInstanceGroup(23), 0);
  EXPECT_EQ(classValueType(0xFFFFFFFFu), 0);
}

TEST(ControlTables, IntervalSeconds) {
  EXPECT_EQ(intervalSeconds(0), 0u);
  EXPECT_EQ(intervalSeconds(13), 0u);
  EXPECT_EQ(intervalSeconds(0xFFFFFFFFu), 0u);
  EXPECT_EQ(intervalSeconds(1), 5u);
  EXPECT_EQ(intervalSeconds(6), 300u);
  EXPECT_EQ(intervalSeconds(12), 86400u);
}

TEST_F(ControlListTest, NumberingKeepsRestoredNumbers) {
  makeControl(2, 0);
  makeControl(3, 3);
  makeControl(4, 0);
  makeControl(5, 7);
  makeControl(6, 0);
  numberControls();
  std::vector<DWORD> numbers;
  for (const Control* c = controlList; c != nullptr; c = c->next)
    numbers.push_back(c->controlIndex);
  EXPECT_EQ(numbers, (std::vector<DWORD>{8, 3, 9, 7, 10}));
  EXPECT_EQ(nextControlIndex, 11u);
}

TEST_F(ControlListTest, NumberingComparesUnsigned) {
  makeControl(2, 0x80000000u);
  makeControl(2, 0);
  numberControls();
  EXPECT_EQ(controlList->next->controlIndex, 0x80000001u);
  EXPECT_EQ(nextControlIndex, 0x80000002u);
}

TEST_F(ControlListTest, SortByClassThenNumber) {
  makeControl(15, 4);
  makeControl(1, 2);
  makeControl(15, 3);
  makeControl(1, 1);
  sortControls();
  EXPECT_EQ(classAndIndexOrder(),
            (std::vector<std::pair<DWORD, DWORD>>{{1, 1}, {1, 2}, {15, 3}, {15, 4}}));
}

TEST_F(ControlListTest, SortKeepsArrivalOrderOfEqualKeys) {
  Control* first = makeControl(5, 2);
  Control* second = makeControl(5, 2);
  makeControl(3, 9);
  sortControls();
  ASSERT_EQ(controlList->classId, 3u);
  EXPECT_EQ(controlList->next, first);
  EXPECT_EQ(controlList->next->next, second);
  EXPECT_EQ(second->next, nullptr);
}

TEST_F(ControlListTest, IndexListAscendingAndFindControl) {
  Control* a = makeControl(15, 4);
  Control* b = makeControl(1, 2);
  Control* c = makeControl(15, 3);
  Control* d = makeControl(1, 1);
  buildIndexList();
  std::vector<DWORD> numbers;
  std::vector<Control*> targets;
  for (const ControlIndexEntry* e = indexList; e != nullptr; e = e->next) {
    numbers.push_back(e->controlIndex);
    targets.push_back(e->control);
  }
  EXPECT_EQ(numbers, (std::vector<DWORD>{1, 2, 3, 4}));
  EXPECT_EQ(targets, (std::vector<Control*>{d, b, c, a}));
  EXPECT_EQ(findControl(3), c);
  EXPECT_EQ(findControl(5), nullptr);
  EXPECT_EQ(findControl(0), nullptr);
}

std::vector<DWORD> indexNumbers() {
  std::vector<DWORD> numbers;
  for (const ControlIndexEntry* e = indexList; e != nullptr; e = e->next) {
    numbers.push_back(e->controlIndex);
  }
  return numbers;
}

TEST_F(ControlListTest, IndexLookupFollowsInsertsAndServesOnlyAnOrderedList) {
  makeControl(1, 5);
  makeControl(1, 2);
  makeControl(2, 9);
  buildIndexList();
  EXPECT_EQ(indexEntryFrom(0), indexList);
  EXPECT_EQ(indexEntryFrom(3)->controlIndex, 5u);
  EXPECT_EQ(indexEntryFrom(9)->controlIndex, 9u);
  EXPECT_EQ(indexEntryFrom(10), nullptr);

  // Inserted entries go after those of the same or a lower number, and the
  // lookup sees them: a new control, then a second entry numbered 5 without one.
  Control* seven = makeControl(3, 7);
  auto* entry = new ControlIndexEntry;
  entry->controlIndex = 7;
  entry->control = seven;
  insertIndexEntry(entry);
  auto* empty = new ControlIndexEntry;
  empty->controlIndex = 5;
  insertIndexEntry(empty);
  EXPECT_EQ(indexNumbers(), (std::vector<DWORD>{2, 5, 5, 7, 9}));
  EXPECT_EQ(indexEntryFrom(6), entry);
  EXPECT_EQ(indexEntryFrom(5)->next, empty);
  EXPECT_EQ(findControl(7), seven);
  EXPECT_EQ(findControl(5)->controlIndex, 5u);

  // Linked by hand out of number order: no lookup, walks start at the head.
  ControlIndexEntry* first = indexList;
  indexList = first->next;
  first->next = indexList->next->next->next->next;
  indexList->next->next->next->next = first;
  rebuildIndexLookup();
  EXPECT_EQ(indexNumbers(), (std::vector<DWORD>{5, 5, 7, 9, 2}));
  EXPECT_EQ(indexEntryFrom(8), indexList);
  EXPECT_EQ(findControl(2)->controlIndex, 2u);
  freeLists();
  EXPECT_EQ(indexEntryFrom(1), nullptr);
}

TEST_F(ControlListTest, DeprecateAndRevalidateClearHeaderSaved) {
  Control* disk = makeControl(15, 1, "LogicalDisk C:");
  Control* proc = makeControl(1, 2, "Processor 0");
  Control* queue = makeControl(20, 3, "Processor 0");  // same text, other group
  disk->headerSaved = proc->headerSaved = queue->headerSaved = 1;

  deprecateControl(disk);
  EXPECT_EQ(disk->controlStatus, 2);
  EXPECT_EQ(disk->headerSaved, 0);
  disk->headerSaved = 1;
  deprecateControl(disk);  // already deprecated: header stays saved
  EXPECT_EQ(disk->headerSaved, 1);

  deprecateControl(proc);
  deprecateControl(queue);
  proc->headerSaved = queue->headerSaved = 1;
  revalidateControls(4, "Processor 0");
  EXPECT_EQ(proc->controlStatus, 1);
  EXPECT_EQ(proc->headerSaved, 0);
  EXPECT_EQ(queue->controlStatus, 2);  // group 5 untouched
  EXPECT_EQ(queue->headerSaved, 1);
  revalidateControls(3, "logicaldisk c:");  // case-sensitive: no match
  EXPECT_EQ(disk->controlStatus, 2);
}

TEST_F(ControlListTest, InstanceStateLooksAtFirstControlOfGroup) {
  Control* first = makeControl(16, 1, "Network Interface eth0");
  makeControl(17, 2, "Network Interface eth0");
  EXPECT_EQ(instanceState(1, "Network Interface eth0"), 1);
  deprecateControl(first);
  EXPECT_EQ(instanceState(1, "Network Interface eth0"), 0);
  EXPECT_EQ(instanceState(1, "Network Interface eth1"), 1);  // none
  EXPECT_EQ(instanceState(4, "Network Interface eth0"), 1);  // other group
}

TEST_F(ControlListTest, HasValidControlIgnoresClass) {
  Control* disk = makeControl(15, 1, "LogicalDisk D:");
  EXPECT_TRUE(hasValidControl("LogicalDisk D:"));
  EXPECT_FALSE(hasValidControl("LogicalDisk E:"));
  deprecateControl(disk);
  EXPECT_FALSE(hasValidControl("LogicalDisk D:"));
  makeControl(2, 2, "LogicalDisk D:");
  EXPECT_TRUE(hasValidControl("LogicalDisk D:"));
}

TEST_F(ControlListTest, DumpListsWritesEverySection) {
  makeControl(1, 2, "Processor 0");
  Control* gone = makeControl(15, 1, "LogicalDisk C:");
  deprecateControl(gone);
  auto* cfg = new ControlConfig;
  cfg->classId = 8;
  cfg->intervalIndex = 3;
  cfg->buckets = 50;
  cfg->risingThreshold = 90;
  cfg->fallingThreshold = 10;
  configList = cfg;
  buildIndexList();

  tracedText.clear();
  dumpLists();
  EXPECT_EQ(tracedText,
            "class:1, Processor 0, index: 2\n"
            "class:15, LogicalDisk C:, index: 1\n"
            "\n Control Index List:........\n"
            "index:1, \n"
            "index:2, \n"
            "   Control Record:\n"
            "class: 8, interval: 3, bucket: 50, rising: 90, falling: 10\n"
            "   Deprecated Controls:\n"
            "class:15, LogicalDisk C:, index: 1\n");
}

}  // namespace
}  // namespace trend
