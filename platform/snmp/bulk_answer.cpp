// A GETBULK answered inside one extension-agent call, round by round with the
// agent's own get-next.
#include "snmp/bulk_answer.h"

#include <cstring>
#include <vector>

namespace wlsnmp {

namespace {

bool InsideView(const AsnObjectIdentifier& view, const SnmpVarBind& answer) {
  if (answer.value.asnType == ASN_NULL || answer.value.asnType == SNMP_EXCEPTION_NOSUCHOBJECT ||
      answer.value.asnType == SNMP_EXCEPTION_NOSUCHINSTANCE ||
      answer.value.asnType == SNMP_EXCEPTION_ENDOFMIBVIEW) {
    return false;
  }
  if (answer.name.idLength <= view.idLength || answer.name.ids == nullptr) return false;
  return std::memcmp(answer.name.ids, view.ids, view.idLength * sizeof(UINT)) == 0;
}

// The names of `from`'s bindings at `positions`, each with a NULL value, in
// a list of the service's allocator; false when memory runs out.
bool NamesAt(const SnmpVarBind* from, const std::vector<UINT>& positions, SnmpVarBindList* out) {
  out->len = 0;
  out->list = static_cast<SnmpVarBind*>(
      SnmpUtilMemAlloc(static_cast<UINT>(positions.size() * sizeof(SnmpVarBind))));
  if (out->list == nullptr) return false;
  for (UINT position : positions) {
    SnmpVarBind& binding = out->list[out->len];
    binding.value.asnType = ASN_NULL;
    if (!SnmpUtilOidCpy(&binding.name, const_cast<AsnObjectIdentifier*>(&from[position].name))) {
      return false;
    }
    ++out->len;
  }
  return true;
}

// One more round of `repeaters` answers at the end of `list`, from the
// previous round's: the fresh answers at the repeaters still walking, a copy
// of the previous answer for the others. False (with the list as it was)
// when the round failed or memory ran out.
bool AddRound(const AsnObjectIdentifier& view, SnmpVarBindList* list, UINT repeaters,
              const GetNextPass& getNext) {
  const UINT previous = list->len - repeaters;
  std::vector<UINT> walking;
  for (UINT j = 0; j < repeaters; ++j) {
    if (InsideView(view, list->list[previous + j])) walking.push_back(previous + j);
  }
  if (walking.empty()) return false;
  SnmpVarBindList round{nullptr, 0};
  bool answered = NamesAt(list->list, walking, &round);
  if (answered) {
    AsnInteger32 status = SNMP_ERRORSTATUS_NOERROR;
    AsnInteger32 index = 0;
    answered = getNext(&round, &status, &index) != FALSE && status == SNMP_ERRORSTATUS_NOERROR &&
               round.len == walking.size();
  }
  auto* grown = answered ? static_cast<SnmpVarBind*>(SnmpUtilMemReAlloc(
                               list->list, (list->len + repeaters) * sizeof(SnmpVarBind)))
                         : nullptr;
  if (grown == nullptr) {
    SnmpUtilVarBindListFree(&round);
    return false;
  }
  list->list = grown;
  std::memset(&grown[list->len], 0, repeaters * sizeof(SnmpVarBind));
  size_t next = 0;
  bool copied = true;
  for (UINT j = 0; j < repeaters; ++j) {
    SnmpVarBind& slot = grown[list->len + j];
    if (next < walking.size() && walking[next] == previous + j) {
      slot = round.list[next];  // taken over: the round's array is freed alone
      ++next;
    } else if (copied && !SnmpUtilVarBindCpy(&slot, &grown[previous + j])) {
      copied = false;
    }
  }
  SnmpUtilMemFree(round.list);
  if (!copied) {
    for (UINT j = 0; j < repeaters; ++j) SnmpUtilVarBindFree(&grown[list->len + j]);
    return false;
  }
  list->len += repeaters;
  return true;
}

}  // namespace

BOOL AnswerGetBulk(const AsnObjectIdentifier& view, SnmpVarBindList* list,
                   AsnInteger32* errorStatus, AsnInteger32* errorIndex,
                   const GetNextPass& getNext) {
  if (list == nullptr || errorStatus == nullptr || errorIndex == nullptr) return FALSE;
  const AsnInteger32 nonRepeaters = *errorStatus;
  const AsnInteger32 maxRepetitions = *errorIndex;
  *errorStatus = SNMP_ERRORSTATUS_NOERROR;
  *errorIndex = 0;
  if (nonRepeaters < 0 || static_cast<UINT>(nonRepeaters) > list->len || maxRepetitions < 1 ||
      list->len > kMaxBulkAnswerBindings) {
    *errorStatus = SNMP_ERRORSTATUS_GENERR;
    return TRUE;
  }
  const BOOL result = getNext(list, errorStatus, errorIndex);
  if (result == FALSE || *errorStatus != SNMP_ERRORSTATUS_NOERROR) return result;
  const UINT repeaters = list->len - static_cast<UINT>(nonRepeaters);
  if (repeaters == 0) return TRUE;
  for (AsnInteger32 round = 1; round < maxRepetitions; ++round) {
    if (list->len > kMaxBulkAnswerBindings - repeaters) break;
    if (!AddRound(view, list, repeaters, getNext)) break;
  }
  return TRUE;
}

}  // namespace wlsnmp
