// An extension view over the test agents, without the network: bindings go to
// the agent in one call, answers and errors come back to the right binding.
#include "extension_view.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace snmpsvc {
namespace {

const Oid kTable{1, 3, 6, 1, 4, 1, 64823, 99, 1};

std::string Library(const char* name) {
  const char* build = getenv("WL_BUILD_DIR");
  return std::string(build != nullptr ? build : ".") + "/lib/lib" + name + ".so";
}

Oid Cell(uint32_t column, uint32_t row) {
  Oid name = kTable;
  name.insert(name.end(), {1, 1, column, row});
  return name;
}

ViewRequest Ask(Oid name) {
  ViewRequest request;
  request.bind.name = std::move(name);
  return request;
}

ViewRequest Put(Oid name, Value value) {
  ViewRequest request = Ask(std::move(name));
  request.bind.value = std::move(value);
  return request;
}

class ExtensionViewTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadTable("snmpsvc_test_table"); }
  // The test table of three rows from the library `name`, and its view.
  void LoadTable(const char* name) {
    setenv("SNMPSVC_TEST_ROWS", "3", 1);
    std::string error;
    agent_ = ExtensionAgent::Load(Library(name), 0, &error);
    ASSERT_TRUE(agent_) << error;
    view_ = std::make_unique<ExtensionView>(agent_.get());
  }
  std::unique_ptr<ExtensionAgent> agent_;
  std::unique_ptr<ExtensionView> view_;
};

TEST_F(ExtensionViewTest, LoadTakesTheViewAndTrapEvent) {
  EXPECT_EQ(agent_->View(), kTable);
  EXPECT_NE(agent_->TrapEvent(), nullptr);
  EXPECT_TRUE(agent_->HasTrapEntry());
}

TEST_F(ExtensionViewTest, GetAnswersEveryBindingAndV2cExceptionsPerBinding) {
  std::vector<ViewRequest> requests{Ask(Cell(2, 1)), Ask(Cell(3, 9)), Ask(Cell(9, 1)),
                                    Ask(Cell(4, 3))};
  view_->Get(requests, ProtocolVersion::kV2c);
  EXPECT_EQ(requests[0].bind.value.type, tag::kOctetString);
  EXPECT_EQ(requests[0].bind.value.bytes, "row 1");
  EXPECT_EQ(requests[1].bind.value.type, tag::kNoSuchInstance);  // column 3 has rows
  EXPECT_EQ(requests[2].bind.value.type, tag::kNoSuchObject);    // there is no column 9
  EXPECT_EQ(requests[3].bind.value.type, tag::kCounter32);
  EXPECT_EQ(requests[3].bind.value.number, 3000u);
  for (const ViewRequest& request : requests) EXPECT_EQ(request.error, status::kNoError);
}

// Each missing instance costs the agent a constant number of bindings, not
// one more pass over the rest of the request.
TEST_F(ExtensionViewTest, V2cGetOfManyMissingInstancesAsksEachBindingAFewTimes) {
  void* library = dlopen(Library("snmpsvc_test_table").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  auto asked = reinterpret_cast<unsigned long (*)()>(dlsym(library, "SnmpsvcTestBindingsAsked"));
  ASSERT_NE(asked, nullptr);
  constexpr size_t kMissing = 2000;
  std::vector<ViewRequest> requests;
  for (size_t i = 0; i < kMissing; ++i) requests.push_back(Ask(Cell(9, 1)));
  requests.push_back(Ask(Cell(3, 2)));
  const unsigned long before = asked();
  view_->Get(requests, ProtocolVersion::kV2c);
  EXPECT_LE(asked() - before, 4 * (kMissing + 1));
  for (size_t i = 0; i < kMissing; ++i) ASSERT_EQ(requests[i].bind.value.type, tag::kNoSuchObject);
  EXPECT_EQ(requests[kMissing].bind.value.number, 20u);
  dlclose(library);
}

TEST_F(ExtensionViewTest, V1GetFailsAtTheMissingBinding) {
  std::vector<ViewRequest> requests{Ask(Cell(1, 1)), Ask(Cell(1, 4))};
  view_->Get(requests, ProtocolVersion::kV1);
  EXPECT_EQ(requests[0].error, status::kNoError);
  EXPECT_EQ(requests[1].error, status::kNoSuchName);
}

TEST_F(ExtensionViewTest, GetNextWalksAndStopsAtTheViewEnd) {
  std::vector<ViewRequest> requests{Ask(kTable), Ask(Cell(1, 3)), Ask(Cell(4, 3)),
                                    Ask(Oid{1, 3, 6, 1, 4, 1, 64823, 99, 1, 2, 0})};
  view_->GetNext(requests, ProtocolVersion::kV2c);
  EXPECT_EQ(requests[0].bind.name, Cell(1, 1));
  EXPECT_EQ(requests[1].bind.name, Cell(2, 1));  // next column, first row
  EXPECT_EQ(requests[2].bind.name, (Oid{1, 3, 6, 1, 4, 1, 64823, 99, 1, 2, 0}));
  EXPECT_FALSE(requests[2].exhausted);
  EXPECT_TRUE(requests[3].exhausted);  // the agent answered past its view

  // Names outside the view: before it starts the walk at the first object,
  // after it is done without asking the agent.
  std::vector<ViewRequest> outside{Ask(Oid{1, 3, 6, 1, 4, 1, 64823, 2, 45, 7}),
                                   Ask(Oid{1, 3, 6, 1, 4, 1, 64823, 99, 2})};
  view_->GetNext(outside, ProtocolVersion::kV1);
  EXPECT_EQ(outside[0].bind.name, Cell(1, 1));
  EXPECT_TRUE(outside[1].exhausted);
  EXPECT_EQ(outside[1].bind.name, (Oid{1, 3, 6, 1, 4, 1, 64823, 99, 2}));
}

TEST_F(ExtensionViewTest, SetFailingAtTheSecondBindingBlamesIt) {
  std::vector<ViewRequest> requests{Put(Cell(3, 1), Value::Integer(500)),
                                    Put(Cell(3, 2), Value::Integer(5000))};
  view_->Set(requests, ProtocolVersion::kV2c);
  EXPECT_EQ(requests[0].error, status::kNoError);
  EXPECT_EQ(requests[1].error, status::kWrongValue);
  // Nothing was applied: the agent checks every binding first.
  std::vector<ViewRequest> check{Ask(Cell(3, 1))};
  view_->Get(check, ProtocolVersion::kV2c);
  EXPECT_EQ(check[0].bind.value.number, 10u);
}

TEST_F(ExtensionViewTest, SetErrorsInBothVersions) {
  std::vector<ViewRequest> readOnly{Put(Cell(1, 1), Value::Integer(1))};
  view_->Set(readOnly, ProtocolVersion::kV2c);
  EXPECT_EQ(readOnly[0].error, status::kNotWritable);
  readOnly[0].error = 0;
  view_->Set(readOnly, ProtocolVersion::kV1);
  EXPECT_EQ(readOnly[0].error, status::kReadOnly);

  std::vector<ViewRequest> missing{Put(Cell(3, 77), Value::Integer(1))};
  view_->Set(missing, ProtocolVersion::kV2c);
  EXPECT_EQ(missing[0].error, status::kNoCreation);
  missing[0].error = 0;
  view_->Set(missing, ProtocolVersion::kV1);
  EXPECT_EQ(missing[0].error, status::kNoSuchName);

  std::vector<ViewRequest> good{Put(Cell(2, 2), Value::Octets("renamed"))};
  view_->Set(good, ProtocolVersion::kV2c);
  EXPECT_EQ(good[0].error, status::kNoError);
  std::vector<ViewRequest> check{Ask(Cell(2, 2))};
  view_->Get(check, ProtocolVersion::kV2c);
  EXPECT_EQ(check[0].bind.value.bytes, "renamed");
}

TEST_F(ExtensionViewTest, TrapsAreCopiedOutOfTheAgent) {
  std::vector<ViewRequest> trigger{
      Put(Oid{1, 3, 6, 1, 4, 1, 64823, 99, 1, 2, 0}, Value::Integer(2))};
  view_->Set(trigger, ProtocolVersion::kV2c);
  ASSERT_EQ(trigger[0].error, status::kNoError);
  TrapMessage first, second, none;
  ASSERT_TRUE(agent_->NextTrap(&first));
  ASSERT_TRUE(agent_->NextTrap(&second));  // the agent frees the first trap's memory here
  EXPECT_FALSE(agent_->NextTrap(&none));
  EXPECT_EQ(first.enterprise, kTable);
  EXPECT_EQ(first.genericTrap, 6);
  EXPECT_EQ(second.specificTrap, first.specificTrap + 1);
  ASSERT_EQ(first.bindings.size(), 2u);
  EXPECT_EQ(first.bindings[0].value.bytes, "trap " + std::to_string(first.specificTrap));
}

// The same table through SnmpExtensionQueryEx, which serves GETBULK.
class ExtensionViewBulkTest : public ExtensionViewTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoadTable("snmpsvc_test_table_ex"));
    void* library = dlopen(Library("snmpsvc_test_table_ex").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    calls_ = reinterpret_cast<unsigned long (*)()>(dlsym(library, "SnmpsvcTestQueryExCalls"));
    dlclose(library);  // the agent keeps its own reference
  }
  void TearDown() override { unsetenv("SNMPSVC_TEST_NO_BULK"); }

  // What successive get-nexts give from `name`: at most `count` answers,
  // ending at the first exhausted one.
  std::vector<ViewRequest> Walk(Oid name, size_t count) {
    std::vector<ViewRequest> answers;
    while (answers.size() < count) {
      std::vector<ViewRequest> one{Ask(name)};
      view_->GetNext(one, ProtocolVersion::kV2c);
      answers.push_back(one[0]);
      if (one[0].exhausted) break;
      name = one[0].bind.name;
    }
    return answers;
  }

  unsigned long (*calls_)() = nullptr;
};

void ExpectSameAnswers(const std::vector<ViewRequest>& got, const std::vector<ViewRequest>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].exhausted, want[i].exhausted) << i;
    if (want[i].exhausted) continue;
    EXPECT_EQ(got[i].bind.name, want[i].bind.name) << i;
    EXPECT_EQ(got[i].bind.value.number, want[i].bind.value.number) << i;
    EXPECT_EQ(got[i].bind.value.bytes, want[i].bind.value.bytes) << i;
  }
}

// A non-repeater, a repeater that walks off the view's end, one that crosses
// columns, and a name before the view: one call, the answers of a get-next
// walk each.
TEST_F(ExtensionViewBulkTest, ReadAheadGivesEveryRepetitionFromOneCall) {
  ASSERT_NE(calls_, nullptr);
  std::vector<ViewRequest> requests{Ask(Cell(1, 2)), Ask(Cell(4, 1)), Ask(Cell(2, 1)),
                                    Ask(Oid{1, 3, 6, 1, 4, 1, 64823, 98})};
  std::vector<int> repetitions{0, 6, 2, 1};
  const unsigned long before = calls_();
  std::vector<std::vector<ViewRequest>> ahead =
      view_->ReadAhead(requests, repetitions, ProtocolVersion::kV2c);
  EXPECT_EQ(calls_() - before, 1u);
  ASSERT_EQ(ahead.size(), requests.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectSameAnswers(ahead[i], Walk(requests[i].bind.name, 1 + repetitions[i]));
  }
  EXPECT_TRUE(ahead[1].back().exhausted);  // the trigger, then past the view
}

TEST_F(ExtensionViewBulkTest, AnAgentThatRefusesBulkIsAskedGetNextFromThenOn) {
  ASSERT_NE(calls_, nullptr);
  setenv("SNMPSVC_TEST_NO_BULK", "1", 1);
  std::vector<ViewRequest> requests{Ask(Cell(3, 1)), Ask(Cell(4, 3))};
  std::vector<int> repetitions{5, 5};
  unsigned long before = calls_();
  std::vector<std::vector<ViewRequest>> ahead =
      view_->ReadAhead(requests, repetitions, ProtocolVersion::kV2c);
  EXPECT_EQ(calls_() - before, 2u);  // the refused call, then one get-next
  ASSERT_EQ(ahead.size(), 2u);
  ExpectSameAnswers(ahead[0], Walk(Cell(3, 1), 1));
  ExpectSameAnswers(ahead[1], Walk(Cell(4, 3), 1));
  before = calls_();
  EXPECT_TRUE(view_->ReadAhead(requests, repetitions, ProtocolVersion::kV2c).empty());
  EXPECT_EQ(calls_(), before);
}

TEST(ExtensionAgentLoad, FailuresAreReportedNotFatal) {
  std::string error;
  EXPECT_FALSE(ExtensionAgent::Load(Library("snmpsvc_test_failing"), 0, &error));
  EXPECT_EQ(error, "SnmpExtensionInit failed");
  EXPECT_FALSE(ExtensionAgent::Load("/nonexistent/agent.so", 0, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace snmpsvc
