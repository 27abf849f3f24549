// Instance lists and the value searches of the helper over blocks laid out
// directly: the rebuild that is skipped while the data is unchanged, process
// IDs, and the process searches by name and ID.
#include "agent/perfhelper/instance_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "agent/perfhelper/lookups.h"
#include "wlperf/block_builder.h"

namespace perfpeek {
namespace {

using namespace std::string_literals;

constexpr DWORD kProcess = 230, kIdProcess = 784, kVirtualBytes = 174, kProcessorTime = 6;

void loadNames(perfwalk::CounterNameTable* names) {
  std::string text = "230\0Process\0"s + "784\0ID Process\0"s + "174\0Virtual Bytes\0"s +
                     "6\0% Processor Time\0"s + "\0"s;
  auto buffer = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(buffer, text.data(), text.size());
  ASSERT_EQ(0, perfwalk::parseCounterNames(names, 1000, buffer, static_cast<DWORD>(text.size())));
}

void setBlock(perfwalk::PerfBlock* block, const std::vector<BYTE>& bytes) {
  block->release();
  block->buffer = static_cast<BYTE*>(std::malloc(bytes.size()));
  std::memcpy(block->buffer, bytes.data(), bytes.size());
  block->capacity = block->length = static_cast<DWORD>(bytes.size());
}

wlperf::ObjectSpec processObject(std::vector<wlperf::InstanceSpec> instances) {
  wlperf::ObjectSpec process;
  process.index = kProcess;
  // Virtual Bytes as a 4-byte counter here: still widened with its sign.
  process.counters = {{kVirtualBytes, 0, 4}, {kIdProcess, 0, 4}, {kProcessorTime, 0, 8}};
  process.instances = std::move(instances);
  return process;
}

class InstanceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loadNames(&snapshot_.names);
    wlperf::BlockSpec spec;
    spec.objects = {
        processObject({{"init", {-4096, 1, 11}}, {"svc", {100, 20, 22}}, {"svc", {200, 30, 33}}})};
    setBlock(&snapshot_.mainBlock, wlperf::BuildBlock(spec));
  }
  Snapshot snapshot_;
};

TEST_F(InstanceListTest, RebuildSkippedOnlyForTheSameGeneration) {
  InstanceList list;
  list.rebuild(snapshot_.mainBlock, snapshot_.names, "Process", true, 7);
  const InstanceNode* first = list.at(1);
  list.rebuild(snapshot_.mainBlock, snapshot_.names, "Process", true, 7);
  EXPECT_EQ(first, list.at(1));

  wlperf::BlockSpec spec;
  spec.objects = {processObject({{"only", {1, 2, 3}}})};
  setBlock(&snapshot_.mainBlock, wlperf::BuildBlock(spec));
  list.rebuild(snapshot_.mainBlock, snapshot_.names, "Process", true, 8);
  ASSERT_EQ(1, list.size());
  EXPECT_STREQ("only", list.at(1)->name);

  perfwalk::PerfBlock absent;
  list.rebuild(absent, snapshot_.names, "Process", true, 0);
  EXPECT_EQ(0, list.size());
}

TEST_F(InstanceListTest, ProcessSearchesByNameThenId) {
  int64_t value = 0;
  EXPECT_EQ(0, findProcessCounter(snapshot_, "init", 1, ProcessCounter::kVirtualBytes, &value));
  EXPECT_EQ(-4096, value);
  EXPECT_EQ(0, findProcessCounter(snapshot_, "svc", 30, ProcessCounter::kProcessorTime, &value));
  EXPECT_EQ(33, value);
  // No instance of that ID: -1, the value of the last same-named process read.
  EXPECT_EQ(-1, findProcessCounter(snapshot_, "svc", 99, ProcessCounter::kVirtualBytes, &value));
  EXPECT_EQ(200, value);
  EXPECT_EQ(-1, findProcessCounter(snapshot_, nullptr, 1, ProcessCounter::kVirtualBytes, &value));
  EXPECT_EQ(-1, findProcessCounter(snapshot_, "Svc", 20, ProcessCounter::kVirtualBytes, &value));
}

}  // namespace
}  // namespace perfpeek
