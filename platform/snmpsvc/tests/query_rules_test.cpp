// The rules that turn extension answers into SNMP answers.
#include "query_rules.h"

#include <gtest/gtest.h>

namespace snmpsvc {
namespace {

const Oid kView{1, 3, 6, 1, 4, 1, 64823, 2, 45};

TEST(AnswerContinuesWalk, OnlyAnswersInsideTheViewAndAfterTheRequestContinue) {
  Oid requested{1, 3, 6, 1, 4, 1, 64823, 2, 45, 1, 1, 1, 1, 3, 7};
  EXPECT_TRUE(
      AnswerContinuesWalk(requested, {1, 3, 6, 1, 4, 1, 64823, 2, 45, 1, 1, 1, 1, 3, 8}, kView));
  // The agent's "left my view" marker: the view with its last arc raised.
  EXPECT_FALSE(AnswerContinuesWalk(requested, {1, 3, 6, 1, 4, 1, 64823, 2, 46}, kView));
  // An answer that does not move forward would loop for ever.
  EXPECT_FALSE(AnswerContinuesWalk(requested, requested, kView));
  EXPECT_FALSE(AnswerContinuesWalk(requested, {1, 3, 6, 1, 4, 1, 64823, 2, 45, 1, 1, 1, 1}, kView));
  // The view itself, an empty name and an overlong name are no objects.
  EXPECT_FALSE(AnswerContinuesWalk(kView, kView, kView));
  EXPECT_FALSE(AnswerContinuesWalk(kView, {}, kView));
  Oid overlong = kView;
  overlong.resize(kMaxOidLength + 1, 1);
  EXPECT_FALSE(AnswerContinuesWalk(kView, overlong, kView));
  // A request before the view (the walk entering it) continues at its first object.
  EXPECT_TRUE(AnswerContinuesWalk({1, 3, 6, 1, 4, 1}, {1, 3, 6, 1, 4, 1, 64823, 2, 45, 1}, kView));
}

TEST(MissingObjectException, InstanceWhenTheParentHasInstancesElseObject) {
  Oid name{1, 3, 6, 1, 4, 1, 99, 1, 1, 3, 50};
  Oid sibling{1, 3, 6, 1, 4, 1, 99, 1, 1, 3, 1};
  Oid nextColumn{1, 3, 6, 1, 4, 1, 99, 1, 1, 4, 1};
  EXPECT_EQ(MissingObjectException(name, &sibling), tag::kNoSuchInstance);
  EXPECT_EQ(MissingObjectException(name, &nextColumn), tag::kNoSuchObject);
  EXPECT_EQ(MissingObjectException(name, nullptr), tag::kNoSuchObject);
  // The parent itself as answer does not prove an instance.
  Oid parent(name.begin(), name.end() - 1);
  EXPECT_EQ(MissingObjectException(name, &parent), tag::kNoSuchObject);
}

TEST(SetErrorForV2c, MapsEveryV1StatusOfASet) {
  EXPECT_EQ(SetErrorForV2c(status::kBadValue, false), status::kWrongValue);
  EXPECT_EQ(SetErrorForV2c(status::kReadOnly, true), status::kNotWritable);
  EXPECT_EQ(SetErrorForV2c(status::kNoSuchName, true), status::kNoAccess);
  EXPECT_EQ(SetErrorForV2c(status::kNoSuchName, false), status::kNoCreation);
  EXPECT_EQ(SetErrorForV2c(status::kGenErr, false), status::kGenErr);
  EXPECT_EQ(SetErrorForV2c(status::kTooBig, false), status::kTooBig);
  EXPECT_EQ(SetErrorForV2c(status::kInconsistentValue, false), status::kInconsistentValue);
  EXPECT_EQ(SetErrorForV2c(99, false), status::kGenErr);
  EXPECT_EQ(SetErrorForV2c(-1, false), status::kGenErr);
}

TEST(ErrorForV1, V2StatusesBecomeTheirV1Meaning) {
  EXPECT_EQ(ErrorForV1(status::kReadOnly), status::kReadOnly);
  EXPECT_EQ(ErrorForV1(status::kWrongType), status::kBadValue);
  EXPECT_EQ(ErrorForV1(status::kNotWritable), status::kNoSuchName);
  EXPECT_EQ(ErrorForV1(status::kNoCreation), status::kNoSuchName);
  EXPECT_EQ(ErrorForV1(status::kCommitFailed), status::kGenErr);
  EXPECT_EQ(ErrorForV1(1000), status::kGenErr);
}

TEST(OidText, ParseAndFormatRoundTripAndRejectGarbage) {
  Oid oid;
  ASSERT_TRUE(ParseOid(".1.3.6.1.4294967295", &oid));
  EXPECT_EQ(oid, (Oid{1, 3, 6, 1, 4294967295u}));
  EXPECT_EQ(FormatOid(oid), "1.3.6.1.4294967295");
  EXPECT_FALSE(ParseOid("1.3.6.1.4294967296", &oid));
  EXPECT_FALSE(ParseOid("1..3", &oid));
  EXPECT_FALSE(ParseOid("1.3.", &oid));
  EXPECT_FALSE(ParseOid("1.x", &oid));
  EXPECT_FALSE(ParseOid("", &oid));
  EXPECT_LT(CompareOid({1, 3}, {1, 3, 0}), 0);
  EXPECT_GT(CompareOid({1, 4}, {1, 3, 9}), 0);
}

}  // namespace
}  // namespace snmpsvc
