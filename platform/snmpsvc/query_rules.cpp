#include "query_rules.h"

namespace snmpsvc {

bool AnswerContinuesWalk(const Oid& requested, const Oid& answer, const Oid& view) {
  if (answer.size() > kMaxOidLength) return false;
  // The view itself is not an object: an answer must lie strictly inside it.
  if (answer.size() <= view.size() || !OidStartsWith(answer, view)) return false;
  return CompareOid(answer, requested) > 0;
}

uint8_t MissingObjectException(const Oid& name, const Oid* probe) {
  if (probe == nullptr || name.empty()) return tag::kNoSuchObject;
  Oid parent(name.begin(), name.end() - 1);
  if (probe->size() > parent.size() && OidStartsWith(*probe, parent)) {
    return tag::kNoSuchInstance;
  }
  return tag::kNoSuchObject;
}

int SetErrorForV2c(int v1Status, bool instanceExists) {
  switch (v1Status) {
    case status::kBadValue:
      return status::kWrongValue;
    case status::kReadOnly:
      return status::kNotWritable;
    case status::kNoSuchName:
      return instanceExists ? status::kNoAccess : status::kNoCreation;
    case status::kTooBig:
    case status::kGenErr:
      return v1Status;
    default:
      // Agents written for SNMPv2c already answer in its terms; anything
      // outside the known range is a failure of the agent.
      if (v1Status >= status::kNoAccess && v1Status <= status::kInconsistentName) return v1Status;
      return status::kGenErr;
  }
}

int ErrorForV1(int status) {
  switch (status) {
    case status::kNoError:
    case status::kTooBig:
    case status::kNoSuchName:
    case status::kBadValue:
    case status::kReadOnly:
    case status::kGenErr:
      return status;
    case status::kWrongValue:
    case status::kWrongEncoding:
    case status::kWrongType:
    case status::kWrongLength:
    case status::kInconsistentValue:
      return status::kBadValue;
    case status::kNoAccess:
    case status::kNotWritable:
    case status::kNoCreation:
    case status::kInconsistentName:
    case status::kAuthorizationError:
      return status::kNoSuchName;
    default:
      return status::kGenErr;
  }
}

}  // namespace snmpsvc
