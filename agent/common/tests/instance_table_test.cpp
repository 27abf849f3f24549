// Lookups through a resolved instance table against the block walk they
// stand in for: the same result and value for every class, instance text,
// match form and base, on a block with repeated names and objects, converted
// and cut names, and on every prefix of that block.
#include "agent/common/instance_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "agent/common/counter_classes.h"
#include "wlperf/block_builder.h"

namespace perfwalk {
namespace {

constexpr DWORD kSystem = 2, kProcessor = 238, kNetwork = 510, kFileReads = 10, kProcessorTime = 6,
                kBaseName = 7, kPacketsReceived = 266;

void loadNames(CounterNameTable* table) {
  std::string text;
  auto add = [&](DWORD index, const char* name) {
    text += std::to_string(index) + std::string(1, '\0') + name + std::string(1, '\0');
  };
  add(kSystem, "System");
  add(kProcessor, "Processor");
  add(kNetwork, "Network Interface");
  add(kFileReads, "File Read Operations/sec");
  add(kProcessorTime, "% Processor Time");
  add(kBaseName, "Some Base");
  add(kPacketsReceived, "Packets Received/sec");
  text += std::string(1, '\0');
  auto buffer = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(buffer, text.data(), text.size());
  ASSERT_EQ(0, parseCounterNames(table, 600, buffer, static_cast<DWORD>(text.size())));
}

std::vector<BYTE> awkwardBlock() {
  wlperf::ObjectSpec system;
  system.index = kSystem;
  system.hasInstances = false;
  system.counters = {{kFileReads, 0, 4}};
  system.values = {-2};
  wlperf::ObjectSpec processor;
  processor.index = kProcessor;
  processor.counters = {{kProcessorTime, 0, 8}, {kBaseName, 0, 4}};
  processor.instances = {{"0", {10, 1}}, {"1", {20, 2}}, {"0", {30, 3}}, {"", {40, 4}}};
  wlperf::ObjectSpec laterProcessor = processor;  // never examined
  laterProcessor.instances = {{"2", {50, 5}}};
  wlperf::ObjectSpec network;
  network.index = kNetwork;
  network.counters = {{kPacketsReceived, 0, 4}};
  network.instances = {
      {"", {11}, std::u16string(u"eth\u4e2d0")}, {std::string(150, 'x'), {22}}, {"eth1", {33}}};
  wlperf::BlockSpec spec;
  spec.objects = {system, processor, network, laterProcessor};
  return wlperf::BuildBlock(spec);
}

// Compares both lookups for every class, text, form and base on `block`;
// returns how many lookups found a value.
int compareEverything(const CounterNameTable& names, const PerfBlock& block) {
  const std::string cut(99, 'x');
  const std::string longer(150, 'x');
  const std::string prefixedCut = "Network Interface " + cut;
  const char* texts[] = {nullptr,
                         "",
                         "0",
                         "1",
                         "2",
                         "Processor 0",
                         "Processor 1",
                         "Processor 2",
                         "Processor ",
                         "Processor",
                         "Processor  0",
                         "processor 0",
                         "eth_0",
                         "Network Interface eth_0",
                         "Network Interface eth1",
                         cut.c_str(),
                         longer.c_str(),
                         prefixedCut.c_str(),
                         "System"};
  int found = 0;
  for (int classId = 0; classId <= kLastCounterClass; ++classId) {
    InstanceTable table;
    EXPECT_TRUE(table.resolve(BlockView(block), names, counterClass(classId)->objectName));
    for (const char* text : texts) {
      for (InstanceMatch match : {InstanceMatch::kObjectNamePrefix, InstanceMatch::kNameOnly}) {
        int64_t walked = -77, indexed = -77;
        int result = findCounterValue(names, classId, text, block, match, table, &indexed);
        EXPECT_EQ(findCounterValue(names, classId, text, block, match, &walked), result)
            << classId << " " << (text ? text : "(null)");
        EXPECT_EQ(walked, indexed);
        found += result == 0;
        walked = indexed = -77;
        result = findBaseValue(names, classId, text, block, match, table, &indexed);
        EXPECT_EQ(findBaseValue(names, classId, text, block, match, &walked), result)
            << classId << " " << (text ? text : "(null)");
        EXPECT_EQ(walked, indexed);
        found += result == 0;
      }
    }
  }
  return found;
}

class InstanceTableTest : public ::testing::Test {
 protected:
  void SetUp() override { loadNames(&names_); }
  CounterNameTable names_;
};

TEST_F(InstanceTableTest, AnswersAsTheWalkDoes) {
  std::vector<BYTE> bytes = awkwardBlock();
  PerfBlock block;
  block.buffer = static_cast<BYTE*>(std::malloc(bytes.size()));
  std::memcpy(block.buffer, bytes.data(), bytes.size());
  block.capacity = block.length = static_cast<DWORD>(bytes.size());
  EXPECT_GT(compareEverything(names_, block), 10);

  // Spot checks: the first of two "0", the cut and the converted name.
  InstanceTable table;
  ASSERT_TRUE(table.resolve(BlockView(block), names_, "Processor"));
  int64_t value = 0;
  EXPECT_EQ(0, findCounterValue(names_, 1, "Processor 0", block, InstanceMatch::kObjectNamePrefix,
                                table, &value));
  EXPECT_EQ(10, value);
  EXPECT_EQ(0, findBaseValue(names_, 1, "Processor 0", block, InstanceMatch::kObjectNamePrefix,
                             table, &value));
  EXPECT_EQ(1, value);
  // A table of another object finds nothing.
  EXPECT_EQ(1, findCounterValue(names_, 16, "Network Interface eth1", block,
                                InstanceMatch::kObjectNamePrefix, table, &value));
  ASSERT_TRUE(table.resolve(BlockView(block), names_, "Network Interface"));
  EXPECT_EQ(0, findCounterValue(names_, 16, std::string(99, 'x').c_str(), block,
                                InstanceMatch::kNameOnly, table, &value));
  EXPECT_EQ(22, value);
  table.clear();
  EXPECT_EQ(1, findCounterValue(names_, 16, "Network Interface eth1", block,
                                InstanceMatch::kObjectNamePrefix, table, &value));
}

// Every prefix of the block, in a buffer of exactly that length: the table
// reads nothing past the end and agrees with the walk on what lies before it.
TEST_F(InstanceTableTest, AgreesOnEveryShortBlock) {
  std::vector<BYTE> bytes = awkwardBlock();
  for (size_t length = 0; length <= bytes.size(); length += 7) {
    PerfBlock block;
    block.buffer = static_cast<BYTE*>(std::malloc(length ? length : 1));
    std::memcpy(block.buffer, bytes.data(), length);
    block.capacity = block.length = static_cast<DWORD>(length);
    compareEverything(names_, block);
    if (HasFailure()) {
      ADD_FAILURE() << "at length " << length;
      return;
    }
  }
}

}  // namespace
}  // namespace perfwalk
