// The process index against the block search it replaces: same result and
// same *value for every name and ID, over duplicate names and IDs, unreadable
// IDs and counters, several "Process" objects; and its rebuild when the data
// changes.
#include "agent/perfhelper/process_index.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "agent/perfhelper/lookups.h"
#include "wlperf/block_builder.h"

namespace perfpeek {
namespace {

using namespace std::string_literals;

constexpr DWORD kProcess = 230, kProcessor = 238, kIdProcess = 784, kVirtualBytes = 174,
                kProcessorTime = 6;

void loadNames(perfwalk::CounterNameTable* names) {
  std::string text = "230\0Process\0"s + "238\0Processor\0"s + "784\0ID Process\0"s +
                     "174\0Virtual Bytes\0"s + "6\0% Processor Time\0"s + "\0"s;
  auto buffer = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(buffer, text.data(), text.size());
  ASSERT_EQ(0, perfwalk::parseCounterNames(names, 1000, buffer, static_cast<DWORD>(text.size())));
}

void setBlock(Snapshot* snapshot, const wlperf::BlockSpec& spec) {
  std::vector<BYTE> bytes = wlperf::BuildBlock(spec);
  perfwalk::PerfBlock& block = snapshot->mainBlock;
  block.release();
  block.buffer = static_cast<BYTE*>(std::malloc(bytes.size()));
  std::memcpy(block.buffer, bytes.data(), bytes.size());
  block.capacity = block.length = static_cast<DWORD>(bytes.size());
  ++snapshot->generation;
}

// Three "Process" objects and a "Processor" object in between.
wlperf::BlockSpec awkwardBlock() {
  wlperf::ObjectSpec first;
  first.index = kProcess;
  // Two "Virtual Bytes" definitions: the last readable one counts.
  first.counters = {
      {kVirtualBytes, 0, 4}, {kIdProcess, 0, 4}, {kProcessorTime, 0, 8}, {kVirtualBytes, 0, 8}};
  first.instances = {{"a", {1, 1, 10, 100}}, {"b", {2, 2, 20, 200}}, {"a", {3, 3, 30, 300}},
                     {"a", {4, 1, 40, 400}}, {"c", {5, 2, 50, 500}}, {"", {6, 6, 60, 600}}};
  wlperf::ObjectSpec other;
  other.index = kProcessor;
  other.counters = {{kIdProcess, 0, 4}, {kVirtualBytes, 0, 4}};
  other.instances = {{"a", {7, 7000}}, {"d", {8, 8000}}};
  wlperf::ObjectSpec second;
  second.index = kProcess;
  // An ID of 2 bytes and a processor time of 3 bytes cannot be read.
  second.counters = {{kIdProcess, 0, 2}, {kVirtualBytes, 0, 4}, {kProcessorTime, 0, 3}};
  second.instances = {{"a", {1, 11, 12}}, {"d", {8, 13, 14}}};
  wlperf::ObjectSpec third;
  third.index = kProcess;
  third.counters = {{kIdProcess, 0, 4}, {kProcessorTime, 0, 8}};
  third.instances = {{"a", {7, 70}}, {"d", {8, 80}}, {"a", {1, 90}}};
  wlperf::BlockSpec spec;
  spec.objects = {first, other, second, third};
  return spec;
}

class ProcessIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loadNames(&snapshot_.names);
    setBlock(&snapshot_, awkwardBlock());
  }
  Snapshot snapshot_;
};

TEST_F(ProcessIndexTest, AnswersAsTheBlockSearchDoes) {
  const char* names[] = {"a", "b", "c", "d", "e", "", "A"};
  const DWORD ids[] = {0, 1, 2, 3, 6, 7, 8, 99};
  int found = 0;
  for (ProcessCounter which : {ProcessCounter::kVirtualBytes, ProcessCounter::kProcessorTime}) {
    for (const char* name : names) {
      for (DWORD id : ids) {
        int64_t indexed = -12345, searched = -12345;
        int result = findProcessCounter(snapshot_, name, id, which, &indexed);
        EXPECT_EQ(searchProcessCounter(snapshot_, name, id, which, &searched), result)
            << name << " " << id;
        EXPECT_EQ(searched, indexed) << name << " " << id;
        found += result == 0;
      }
    }
  }
  EXPECT_EQ(2 * 7, found);
  // Spot checks of what both agree on.
  int64_t value = 0;
  EXPECT_EQ(0, findProcessCounter(snapshot_, "a", 1, ProcessCounter::kVirtualBytes, &value));
  EXPECT_EQ(100, value);  // the first of two "a" with ID 1, its second definition
  EXPECT_EQ(0, findProcessCounter(snapshot_, "a", 7, ProcessCounter::kVirtualBytes, &value));
  EXPECT_EQ(11, value);  // no such counter in the third object: the last "a" read before
  value = 5;
  EXPECT_EQ(-1, findProcessCounter(snapshot_, "e", 1, ProcessCounter::kVirtualBytes, &value));
  EXPECT_EQ(5, value);
  EXPECT_EQ(-1, findProcessCounter(snapshot_, nullptr, 1, ProcessCounter::kVirtualBytes, &value));
}

TEST_F(ProcessIndexTest, FollowsTheDataAndItsAbsence) {
  int64_t value = 0;
  ASSERT_EQ(0, findProcessCounter(snapshot_, "b", 2, ProcessCounter::kProcessorTime, &value));
  EXPECT_EQ(20, value);

  wlperf::BlockSpec spec;
  wlperf::ObjectSpec process;
  process.index = kProcess;
  process.counters = {{kIdProcess, 0, 4}, {kProcessorTime, 0, 8}};
  process.instances = {{"b", {2, 21}}};
  spec.objects = {process};
  setBlock(&snapshot_, spec);
  EXPECT_EQ(0, findProcessCounter(snapshot_, "b", 2, ProcessCounter::kProcessorTime, &value));
  EXPECT_EQ(21, value);
  EXPECT_EQ(-1, findProcessCounter(snapshot_, "a", 1, ProcessCounter::kProcessorTime, &value));

  snapshot_.mainBlock.release();
  value = 9;
  EXPECT_EQ(-1, findProcessCounter(snapshot_, "b", 2, ProcessCounter::kProcessorTime, &value));
  EXPECT_EQ(9, value);
}

}  // namespace
}  // namespace perfpeek
