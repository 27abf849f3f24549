// A GETBULK answered from an agent's get-next: the response layout, the end of
// the view, and what a failing round leaves.
#include "snmp/bulk_answer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A view 1.9 holding the objects 1.9.1 .. 1.9.5 (value: the last arc); past
// them get-next answers 1.10 with NULL. Get-nexts that start at 1.9.<failAt>
// fail with genErr.
UINT viewArcs[] = {1, 9};
const AsnObjectIdentifier kView{2, viewArcs};

struct FakeAgent {
  UINT failAt = 0;
  int passes = 0;

  BOOL GetNext(SnmpVarBindList* list, AsnInteger32* status, AsnInteger32* index) {
    ++passes;
    for (UINT i = 0; i < list->len; ++i) {
      SnmpVarBind& binding = list->list[i];
      const UINT last = binding.name.idLength == 3 ? binding.name.ids[2] : 0;
      if (failAt != 0 && last == failAt) {
        *status = SNMP_ERRORSTATUS_GENERR;
        *index = static_cast<AsnInteger32>(i + 1);
        return TRUE;
      }
      SnmpUtilVarBindFree(&binding);
      std::vector<UINT> arcs = last < 5 ? std::vector<UINT>{1, 9, last + 1} : std::vector<UINT>{1, 10};
      AsnObjectIdentifier name{static_cast<UINT>(arcs.size()), arcs.data()};
      SnmpUtilOidCpy(&binding.name, &name);
      binding.value.asnType = last < 5 ? ASN_INTEGER : ASN_NULL;
      binding.value.asnValue.number = static_cast<AsnInteger32>(last + 1);
    }
    return TRUE;
  }
};

struct Request {
  SnmpVarBindList list{nullptr, 0};
  AsnInteger32 status = 0;
  AsnInteger32 index = 0;

  Request(std::vector<UINT> lastArcs, AsnInteger32 nonRepeaters, AsnInteger32 maxRepetitions)
      : status(nonRepeaters), index(maxRepetitions) {
    list.list = static_cast<SnmpVarBind*>(
        SnmpUtilMemAlloc(static_cast<UINT>(lastArcs.size() * sizeof(SnmpVarBind))));
    for (UINT last : lastArcs) {
      UINT arcs[] = {1, 9, last};
      AsnObjectIdentifier name{3, arcs};
      SnmpUtilOidCpy(&list.list[list.len++].name, &name);
    }
  }
  ~Request() { SnmpUtilVarBindListFree(&list); }

  BOOL Answer(FakeAgent& agent) {
    return wlsnmp::AnswerGetBulk(kView, &list, &status, &index,
                                 [&agent](SnmpVarBindList* l, AsnInteger32* s, AsnInteger32* i) {
                                   return agent.GetNext(l, s, i);
                                 });
  }
  // The last arc of each answer's name, 0 for a name outside the view.
  std::vector<UINT> Lasts() const {
    std::vector<UINT> lasts;
    for (UINT i = 0; i < list.len; ++i) {
      lasts.push_back(list.list[i].name.idLength == 3 ? list.list[i].name.ids[2] : 0);
    }
    return lasts;
  }
};

TEST(AnswerGetBulk, RoundsFollowTheNonRepeatersUntilTheViewEnds) {
  FakeAgent agent;
  Request request({1, 2, 3}, 1, 6);  // 1.9.1 once; 1.9.2 and 1.9.3 repeated
  ASSERT_EQ(request.Answer(agent), TRUE);
  EXPECT_EQ(request.status, SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(request.index, 0);
  // The repeater that leaves the view keeps its last answer; the rounds end
  // once no repeater is left in the view, after four of the six asked.
  EXPECT_EQ(request.Lasts(), (std::vector<UINT>{2, 3, 4, 4, 5, 5, 0, 0, 0}));
  EXPECT_EQ(request.list.list[8].value.asnType, ASN_NULL);
  EXPECT_EQ(agent.passes, 4);
}

TEST(AnswerGetBulk, FailuresOfTheFirstRoundAreReturnedAndOfLaterRoundsDropped) {
  FakeAgent first;
  first.failAt = 2;
  Request failed({1, 2}, 0, 3);
  EXPECT_EQ(failed.Answer(first), TRUE);
  EXPECT_EQ(failed.status, SNMP_ERRORSTATUS_GENERR);
  EXPECT_EQ(failed.index, 2);

  FakeAgent later;
  later.failAt = 3;
  Request cut({1}, 0, 5);
  EXPECT_EQ(cut.Answer(later), TRUE);
  EXPECT_EQ(cut.status, SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(cut.Lasts(), (std::vector<UINT>{2, 3}));
}

TEST(AnswerGetBulk, MalformedParametersAnswerGenErrWithoutAsking) {
  FakeAgent agent;
  Request tooMany({1}, 2, 3);
  EXPECT_EQ(tooMany.Answer(agent), TRUE);
  EXPECT_EQ(tooMany.status, SNMP_ERRORSTATUS_GENERR);
  Request none({1}, 0, 0);
  EXPECT_EQ(none.Answer(agent), TRUE);
  EXPECT_EQ(none.status, SNMP_ERRORSTATUS_GENERR);
  EXPECT_EQ(agent.passes, 0);
}

}  // namespace
