// The shared walk over blocks laid out by the block builder: lookups by class,
// instance matching in both forms, raw reads by size, instance listing, and the
// bounds of blocks that are short or whose offsets point outside them.
#include "agent/common/perf_walk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "wlperf/block_builder.h"

namespace perfwalk {
namespace {

using namespace std::string_literals;

// Title indexes of the names below.
constexpr DWORD kSystem = 2, kMemory = 4, kProcessor = 238, kNetwork = 510;
constexpr DWORD kFileReads = 10, kAvailable = 24, kProcessorTime = 6, kBaseName = 7;
constexpr DWORD kPacketsReceived = 266, kUnnamed = 300;

// Loads `text` (pairs "index\0name\0", the final empty string added here).
int loadNames(CounterNameTable* table, DWORD lastCounter, const std::string& pairs) {
  std::string text = pairs + std::string(1, '\0');
  auto buffer = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(buffer, text.data(), text.size());
  return parseCounterNames(table, lastCounter, buffer, static_cast<DWORD>(text.size()));
}

void loadStandardNames(CounterNameTable* table) {
  std::string pairs;
  auto add = [&](DWORD index, const char* name) {
    pairs += std::to_string(index) + std::string(1, '\0') + name + std::string(1, '\0');
  };
  add(kSystem, "System");
  add(kMemory, "Memory");
  add(kProcessor, "Processor");
  add(kNetwork, "Network Interface");
  add(kFileReads, "File Read Operations/sec");
  add(kAvailable, "Available Bytes");
  add(kProcessorTime, "% Processor Time");
  add(kBaseName, "Some Base");
  add(kPacketsReceived, "Packets Received/sec");
  ASSERT_EQ(0, loadNames(table, 600, pairs));
}

// A block in a heap buffer of exactly its length, so that the sanitizers see
// any read past it.
struct OwnedBlock {
  PerfBlock block;
  explicit OwnedBlock(const std::vector<BYTE>& bytes) { assign(bytes, bytes.size()); }
  void assign(const std::vector<BYTE>& bytes, size_t length) {
    block.release();
    block.buffer = static_cast<BYTE*>(std::malloc(length ? length : 1));
    std::memcpy(block.buffer, bytes.data(), length);
    block.capacity = block.length = static_cast<DWORD>(length);
  }
};

wlperf::ObjectSpec processorObject() {
  wlperf::ObjectSpec processor;
  processor.index = kProcessor;
  processor.counters = {{kProcessorTime, PERF_100NSEC_TIMER_INV, 8}, {kBaseName, 0, 4}};
  processor.instances = {{"0", {1000, -5}}, {"1", {2000, 7}}};
  return processor;
}

std::vector<BYTE> standardBlock() {
  wlperf::BlockSpec spec;
  spec.perfFreq = 3579545;
  wlperf::ObjectSpec system;
  system.index = kSystem;
  system.hasInstances = false;
  system.counters = {{kFileReads, 0, 4}};
  system.values = {-2};  // 0xFFFFFFFE, widened with its sign
  wlperf::ObjectSpec memory;
  memory.index = kMemory;
  memory.hasInstances = false;
  memory.counters = {{kAvailable, 0, 8}};
  memory.values = {5'000'000'000};
  spec.objects = {system, memory, processorObject()};
  return wlperf::BuildBlock(spec);
}

class WalkTest : public ::testing::Test {
 protected:
  void SetUp() override { loadStandardNames(&names_); }
  CounterNameTable names_;
};

TEST_F(WalkTest, ReadsObjectsWithoutInstancesBySize) {
  OwnedBlock owned(standardBlock());
  int64_t value = 0;
  EXPECT_EQ(0, findCounterValue(names_, 9, nullptr, owned.block, InstanceMatch::kObjectNamePrefix,
                                &value));
  EXPECT_EQ(-2, value);
  // Class 8 ignores whatever instance text is given.
  EXPECT_EQ(0,
            findCounterValue(names_, 8, "anything", owned.block, InstanceMatch::kNameOnly, &value));
  EXPECT_EQ(5'000'000'000, value);
  EXPECT_EQ(3579545, BlockView(owned.block).perfFreq());
}

TEST_F(WalkTest, MatchesInstancesByPrefixedTextOrByName) {
  OwnedBlock owned(standardBlock());
  int64_t value = 0;
  EXPECT_EQ(0, findCounterValue(names_, 1, "Processor 1", owned.block,
                                InstanceMatch::kObjectNamePrefix, &value));
  EXPECT_EQ(2000, value);
  EXPECT_EQ(
      1, findCounterValue(names_, 1, "1", owned.block, InstanceMatch::kObjectNamePrefix, &value));
  EXPECT_EQ(0, findCounterValue(names_, 1, "0", owned.block, InstanceMatch::kNameOnly, &value));
  EXPECT_EQ(1000, value);
  EXPECT_EQ(
      1, findCounterValue(names_, 1, "Processor 0", owned.block, InstanceMatch::kNameOnly, &value));
  EXPECT_EQ(1, findCounterValue(names_, 1, "processor 0", owned.block,
                                InstanceMatch::kObjectNamePrefix, &value));
  EXPECT_EQ(1, findCounterValue(names_, 1, nullptr, owned.block, InstanceMatch::kNameOnly, &value));
  EXPECT_EQ(1, findCounterValue(names_, 1, "Processor 2", owned.block,
                                InstanceMatch::kObjectNamePrefix, &value));
}

TEST_F(WalkTest, BaseIsTheDefinitionAfterTheCounter) {
  OwnedBlock owned(standardBlock());
  int64_t value = 0;
  EXPECT_EQ(0, findBaseValue(names_, 1, "Processor 0", owned.block,
                             InstanceMatch::kObjectNamePrefix, &value));
  EXPECT_EQ(-5, value);
  // The Memory counter is the object's last definition: no base.
  EXPECT_EQ(1, findBaseValue(names_, 8, nullptr, owned.block, InstanceMatch::kNameOnly, &value));
}

TEST_F(WalkTest, NothingMatchesWithoutNamesBlockOrKnownClass) {
  OwnedBlock owned(standardBlock());
  PerfBlock absent;
  CounterNameTable noTable;
  int64_t value = 0;
  EXPECT_EQ(1,
            findCounterValue(noTable, 9, nullptr, owned.block, InstanceMatch::kNameOnly, &value));
  EXPECT_EQ(1, findCounterValue(names_, 9, nullptr, absent, InstanceMatch::kNameOnly, &value));
  for (int classId : {-1, 0, 2, 28, 29}) {
    EXPECT_EQ(1, findCounterValue(names_, classId, nullptr, owned.block, InstanceMatch::kNameOnly,
                                  &value))
        << classId;
  }
}

TEST_F(WalkTest, CountersOfOtherSizesAndUnnamedIndexesAreNotFound) {
  wlperf::BlockSpec spec;
  wlperf::ObjectSpec system;
  system.index = kSystem;
  system.hasInstances = false;
  system.counters = {{kFileReads, 0, 2}};
  system.values = {1};
  // An object whose title index has no name is skipped; the real one follows.
  wlperf::ObjectSpec unnamed = system;
  unnamed.index = kUnnamed;
  unnamed.counters = {{kFileReads, 0, 4}};
  spec.objects = {unnamed, system};
  OwnedBlock owned(wlperf::BuildBlock(spec));
  int64_t value = 0;
  EXPECT_EQ(1, findCounterValue(names_, 9, nullptr, owned.block, InstanceMatch::kNameOnly, &value));
}

TEST_F(WalkTest, OnlyTheFirstObjectOfTheNameIsExamined) {
  wlperf::BlockSpec spec;
  wlperf::ObjectSpec first;
  first.index = kSystem;
  first.hasInstances = false;
  first.counters = {{kAvailable, 0, 4}};
  first.values = {1};
  wlperf::ObjectSpec second = first;
  second.counters = {{kFileReads, 0, 4}};
  spec.objects = {first, second};
  OwnedBlock owned(wlperf::BuildBlock(spec));
  int64_t value = 0;
  EXPECT_EQ(1, findCounterValue(names_, 9, nullptr, owned.block, InstanceMatch::kNameOnly, &value));
}

TEST_F(WalkTest, ListsInstancesInBlockOrderIgnoringCase) {
  OwnedBlock owned(standardBlock());
  std::vector<std::string> seen;
  EXPECT_TRUE(listInstances(BlockView(owned.block), names_, "PROCESSOR",
                            [&](const InstanceRef&, const char* name) {
                              seen.push_back(name);
                              return false;
                            }));
  EXPECT_EQ((std::vector<std::string>{"0", "1"}), seen);
  seen.clear();
  EXPECT_FALSE(listInstances(BlockView(owned.block), names_, "Network Interface",
                             [&](const InstanceRef&, const char* name) {
                               seen.push_back(name);
                               return false;
                             }));
  // An object without instances is found but lists nothing.
  EXPECT_TRUE(listInstances(BlockView(owned.block), names_, "memory",
                            [&](const InstanceRef&, const char* name) {
                              seen.push_back(name);
                              return false;
                            }));
  EXPECT_TRUE(seen.empty());
}

TEST_F(WalkTest, ConvertsNamesToTheAnsiPageAndCutsLongOnes) {
  wlperf::BlockSpec spec;
  wlperf::ObjectSpec network;
  network.index = kNetwork;
  network.counters = {{kPacketsReceived, 0, 4}};
  network.instances = {{"", {11}, std::u16string(u"eth\u4e2d0")},
                       {std::string(150, 'x'), {22}},
                       {"caf\xc3\xa9", {33}}};
  spec.objects = {network};
  OwnedBlock owned(wlperf::BuildBlock(spec));
  int64_t value = 0;
  EXPECT_EQ(0, findCounterValue(names_, 16, "Network Interface eth_0", owned.block,
                                InstanceMatch::kObjectNamePrefix, &value));
  EXPECT_EQ(11, value);
  std::string cut(99, 'x');
  EXPECT_EQ(
      0, findCounterValue(names_, 16, cut.c_str(), owned.block, InstanceMatch::kNameOnly, &value));
  EXPECT_EQ(22, value);
  EXPECT_EQ(0,
            findCounterValue(names_, 16, "caf\xe9", owned.block, InstanceMatch::kNameOnly, &value));
  EXPECT_EQ(33, value);
  std::vector<std::string> listed;
  listInstances(BlockView(owned.block), names_, "Network Interface",
                [&](const InstanceRef&, const char* name) {
                  listed.push_back(name);
                  return false;
                });
  EXPECT_EQ((std::vector<std::string>{"eth_0", cut, "caf\xe9"}), listed);
}

// Cutting the block anywhere must never read past the cut, and a value is
// found only when everything leading to it lies before the cut.
TEST_F(WalkTest, ShortBlocksNeverReadPastTheirEnd) {
  std::vector<BYTE> bytes = standardBlock();
  OwnedBlock owned(bytes);
  int64_t full = 0;
  ASSERT_EQ(0, findCounterValue(names_, 1, "Processor 1", owned.block,
                                InstanceMatch::kObjectNamePrefix, &full));
  size_t firstFound = 0;
  size_t lastMissing = 0;
  for (size_t length = 0; length <= bytes.size(); ++length) {
    owned.assign(bytes, length);
    int64_t value = 0;
    int rc = findCounterValue(names_, 1, "Processor 1", owned.block,
                              InstanceMatch::kObjectNamePrefix, &value);
    if (rc == 0) {
      EXPECT_EQ(full, value);
      if (!firstFound) firstFound = length;
    } else {
      lastMissing = length;
    }
    listInstances(BlockView(owned.block), names_, "Processor",
                  [](const InstanceRef&, const char*) { return false; });
  }
  // Found from one cut on, never before: the value lies in the last counter
  // block (24 bytes: header, padding, the 8-byte value, the base).
  EXPECT_EQ(firstFound, lastMissing + 1);
  EXPECT_GT(firstFound, bytes.size() - 24);
}

template <class T>
void patch(std::vector<BYTE>* bytes, size_t offset, T value) {
  std::memcpy(bytes->data() + offset, &value, sizeof(T));
}

TEST_F(WalkTest, OffsetsPointingOutsideAreAbsent) {
  const std::vector<BYTE> bytes = standardBlock();
  PERF_DATA_BLOCK header;
  std::memcpy(&header, bytes.data(), sizeof(header));
  // Offsets of the Processor object (the third) and its parts.
  wlperf::BlockSpec spec;
  size_t processorAt = header.HeaderLength;
  {
    PERF_OBJECT_TYPE object;
    for (int i = 0; i < 2; ++i) {
      std::memcpy(&object, bytes.data() + processorAt, sizeof(object));
      processorAt += object.TotalByteLength;
    }
  }
  PERF_OBJECT_TYPE processor;
  std::memcpy(&processor, bytes.data() + processorAt, sizeof(processor));
  const size_t counterAt = processorAt + processor.HeaderLength;
  const size_t instanceAt = processorAt + processor.DefinitionLength;
  int64_t value = 0;
  auto lookup = [&](const std::vector<BYTE>& patched, const char* text) {
    OwnedBlock owned(patched);
    return findCounterValue(names_, 1, text, owned.block, InstanceMatch::kObjectNamePrefix, &value);
  };

  std::vector<BYTE> odd = bytes;
  patch<DWORD>(&odd, counterAt + offsetof(PERF_COUNTER_DEFINITION, CounterOffset), 0xFFFFFFF0u);
  EXPECT_EQ(1, lookup(odd, "Processor 0"));

  odd = bytes;
  patch<DWORD>(&odd, instanceAt + offsetof(PERF_INSTANCE_DEFINITION, NameOffset), 0x7FFFFFFFu);
  EXPECT_EQ(1, lookup(odd, "Processor 0"));
  EXPECT_EQ(0, lookup(odd, "Processor 1"));  // the next instance is still reachable

  odd = bytes;
  patch<DWORD>(&odd, instanceAt + offsetof(PERF_INSTANCE_DEFINITION, NameLength), 0xFFFFFFFEu);
  EXPECT_EQ(1, lookup(odd, "Processor 0"));

  odd = bytes;
  patch<DWORD>(&odd, instanceAt, 0xFFFFFF00u);  // the instance's ByteLength
  EXPECT_EQ(1, lookup(odd, "Processor 0"));
  EXPECT_EQ(1, lookup(odd, "Processor 1"));

  odd = bytes;
  patch<LONG>(&odd, processorAt + offsetof(PERF_OBJECT_TYPE, NumInstances), 0x7FFFFFFF);
  EXPECT_EQ(0, lookup(odd, "Processor 1"));
  EXPECT_EQ(1, lookup(odd, "Processor 7"));

  odd = bytes;
  patch<DWORD>(&odd, processorAt + offsetof(PERF_OBJECT_TYPE, DefinitionLength), 0xFFFFFFF8u);
  EXPECT_EQ(1, lookup(odd, "Processor 0"));
}

TEST_F(WalkTest, DegenerateLengthsEndTheWalk) {
  std::vector<BYTE> bytes = standardBlock();
  PERF_DATA_BLOCK header;
  std::memcpy(&header, bytes.data(), sizeof(header));
  // A first object of length 0 repeated four billion times: the walk must end
  // at once instead of visiting it again and again.
  patch<DWORD>(&bytes, header.HeaderLength, 0u);
  patch<DWORD>(&bytes, offsetof(PERF_DATA_BLOCK, NumObjectTypes), 0xFFFFFFFFu);
  OwnedBlock owned(bytes);
  int visits = 0;
  BlockView(owned.block).forEachObject([&](const ObjectRef&) {
    ++visits;
    return false;
  });
  EXPECT_EQ(1, visits);
  int64_t value = 0;
  EXPECT_EQ(0, findCounterValue(names_, 9, nullptr, owned.block, InstanceMatch::kNameOnly, &value));
  EXPECT_EQ(1, findCounterValue(names_, 8, nullptr, owned.block, InstanceMatch::kNameOnly, &value));
}

TEST(CounterNamesTest, ParsesPairsAndIgnoresIndexesOutsideTheTable) {
  CounterNameTable table;
  std::string pairs = "  2\0System\0"s + "9\0Beyond\0"s + "4\0Memory\0"s + "5\0"s;
  ASSERT_EQ(0, loadNames(&table, 5, pairs));
  EXPECT_STREQ("System", table.name(2));
  EXPECT_STREQ("Memory", table.name(4));
  EXPECT_EQ(nullptr, table.name(5));  // an index without a name at the end
  EXPECT_EQ(nullptr, table.name(9));
  EXPECT_EQ(nullptr, table.name(3));
  EXPECT_EQ(nullptr, table.name(0xFFFFFFFFu));
}

TEST(CounterNamesTest, BadIndexDiscardsTheTable) {
  CounterNameTable table;
  ASSERT_EQ(0, loadNames(&table, 5, std::string("2\0System\0", 9)));
  EXPECT_EQ(-1, loadNames(&table, 5, std::string("2\0System\0x4\0Memory\0", 20)));
  EXPECT_FALSE(table.loaded());
  EXPECT_EQ(nullptr, table.name(2));
}

TEST(CounterNamesTest, TextWithoutTerminatorStaysInside) {
  CounterNameTable table;
  std::string text = std::string("2\0System", 8);  // no NUL at the end at all
  auto buffer = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(buffer, text.data(), text.size());
  ASSERT_EQ(0, parseCounterNames(&table, 3, buffer, static_cast<DWORD>(text.size())));
  EXPECT_STREQ("System", table.name(2));
}

}  // namespace
}  // namespace perfwalk
