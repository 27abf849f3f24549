#include "extension_view.h"

#include <algorithm>

#include "query_rules.h"

namespace snmpsvc {

namespace {

constexpr uint8_t kPduGet = 0xA0;
constexpr uint8_t kPduGetNext = 0xA1;
constexpr uint8_t kPduSet = 0xA3;

bool IsException(uint8_t type) {
  return type == tag::kNoSuchObject || type == tag::kNoSuchInstance || type == tag::kEndOfMibView;
}

std::vector<VarBind> NamesOf(const std::vector<ViewRequest>& requests,
                             const std::vector<size_t>& pending, bool withValues) {
  std::vector<VarBind> bindings;
  bindings.reserve(pending.size());
  for (size_t index : pending) {
    VarBind binding;
    binding.name = requests[index].bind.name;
    if (withValues) binding.value = requests[index].bind.value;
    bindings.push_back(std::move(binding));
  }
  return bindings;
}

std::vector<size_t> AllOf(const std::vector<ViewRequest>& requests) {
  std::vector<size_t> all(requests.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  return all;
}

}  // namespace

ExtensionView::ExtensionView(ExtensionAgent* agent) : agent_(agent) {}

size_t ExtensionView::Blamed(int errorIndex, size_t pendingCount) {
  if (errorIndex < 1 || static_cast<size_t>(errorIndex) > pendingCount) return 0;
  return static_cast<size_t>(errorIndex - 1);
}

bool ExtensionView::ProbeNext(const Oid& name, Oid* answer) {
  std::vector<VarBind> bindings(1);
  bindings[0].name = name;
  QueryOutcome outcome = agent_->Query(kPduGetNext, bindings);
  if (!outcome.callResult || outcome.errorStatus != status::kNoError) return false;
  *answer = bindings[0].name;
  return true;
}

bool ExtensionView::InstanceExists(const Oid& name) {
  std::vector<VarBind> bindings(1);
  bindings[0].name = name;
  QueryOutcome outcome = agent_->Query(kPduGet, bindings);
  return outcome.callResult && outcome.errorStatus == status::kNoError &&
         !IsException(bindings[0].value.type);
}

void ExtensionView::Get(std::vector<ViewRequest>& requests, ProtocolVersion version) {
  std::vector<size_t> pending = AllOf(requests);
  // The first call carries every binding. After a v2c noSuchName the binding
  // gets its exception and the rest are asked one by one, so that a request
  // of many missing instances costs one call per binding, not one per
  // binding and missing instance.
  bool oneByOne = false;
  while (!pending.empty()) {
    if (oneByOne && pending.size() > 1) {
      for (size_t index : pending) {
        std::vector<ViewRequest> single(1);
        single[0].bind.name = requests[index].bind.name;
        Get(single, version);
        requests[index].bind.value = std::move(single[0].bind.value);
        requests[index].error = single[0].error;
        if (requests[index].error != status::kNoError) return;
      }
      return;
    }
    std::vector<VarBind> bindings = NamesOf(requests, pending, false);
    QueryOutcome outcome = agent_->Query(kPduGet, bindings);
    if (outcome.callResult && outcome.errorStatus == status::kNoError) {
      for (size_t i = 0; i < pending.size(); ++i) {
        ViewRequest& request = requests[pending[i]];
        request.bind.value = std::move(bindings[i].value);
        if (version == ProtocolVersion::kV1 && IsException(request.bind.value.type)) {
          request.error = status::kNoSuchName;
          return;
        }
      }
      return;
    }
    int errorStatus =
        outcome.errorStatus == status::kNoError ? status::kGenErr : outcome.errorStatus;
    size_t blamed = Blamed(outcome.errorIndex, pending.size());
    ViewRequest& failed = requests[pending[blamed]];
    if (errorStatus == status::kNoSuchName && version == ProtocolVersion::kV2c) {
      Oid probe;
      const Oid& name = failed.bind.name;
      bool probed = !name.empty() && ProbeNext(Oid(name.begin(), name.end() - 1), &probe);
      failed.bind.value = Value();
      failed.bind.value.type = MissingObjectException(name, probed ? &probe : nullptr);
      pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(blamed));
      oneByOne = true;
      continue;
    }
    failed.error = version == ProtocolVersion::kV1 ? ErrorForV1(errorStatus) : errorStatus;
    return;
  }
}

void ExtensionView::GetNext(std::vector<ViewRequest>& requests, ProtocolVersion version) {
  std::vector<size_t> pending;
  for (size_t i = 0; i < requests.size(); ++i) {
    ViewRequest& request = requests[i];
    // Agents expect names inside their view: a walk that enters the view
    // from before it asks for the view itself; a name past it is done.
    if (CompareOid(request.bind.name, View()) < 0) {
      request.bind.name = View();
    } else if (!OidStartsWith(request.bind.name, View())) {
      request.exhausted = true;
      continue;
    }
    pending.push_back(i);
  }
  while (!pending.empty()) {
    std::vector<VarBind> bindings = NamesOf(requests, pending, false);
    QueryOutcome outcome = agent_->Query(kPduGetNext, bindings);
    if (outcome.callResult && outcome.errorStatus == status::kNoError) {
      for (size_t i = 0; i < pending.size(); ++i) {
        ViewRequest& request = requests[pending[i]];
        if (AnswerContinuesWalk(request.bind.name, bindings[i].name, View()) &&
            !IsException(bindings[i].value.type) && bindings[i].value.type != tag::kNull) {
          request.bind = std::move(bindings[i]);
        } else {
          request.exhausted = true;
        }
      }
      return;
    }
    size_t blamed = Blamed(outcome.errorIndex, pending.size());
    ViewRequest& failed = requests[pending[blamed]];
    if (outcome.errorStatus == status::kNoSuchName) {
      // Agents that say "nothing more" with noSuchName: the walk goes on in
      // the next view for that binding; the others are asked again.
      failed.exhausted = true;
      pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(blamed));
      continue;
    }
    int errorStatus =
        outcome.errorStatus == status::kNoError ? status::kGenErr : outcome.errorStatus;
    failed.error = version == ProtocolVersion::kV1 ? ErrorForV1(errorStatus) : errorStatus;
    return;
  }
}

std::vector<std::vector<ViewRequest>> ExtensionView::ReadAhead(
    const std::vector<ViewRequest>& requests, const std::vector<int>& repetitions,
    ProtocolVersion version) {
  if (bulkRefused_ || !agent_->CanQueryBulk() || requests.size() != repetitions.size()) return {};
  std::vector<std::vector<ViewRequest>> answers(requests.size());
  // The agent is handed the names as GetNext hands them, the non-repeaters
  // first; a name past the view is exhausted without asking.
  std::vector<size_t> order;
  std::vector<Oid> start(requests.size());
  size_t nonRepeaters = 0;
  int maxRepetitions = 0;
  for (bool repeating : {false, true}) {
    for (size_t i = 0; i < requests.size(); ++i) {
      if ((repetitions[i] > 0) != repeating) continue;
      const Oid& name = requests[i].bind.name;
      if (CompareOid(name, View()) < 0) {
        start[i] = View();
      } else if (OidStartsWith(name, View())) {
        start[i] = name;
      } else {
        answers[i].emplace_back().exhausted = true;
        continue;
      }
      order.push_back(i);
      if (repeating) {
        maxRepetitions = std::max(maxRepetitions, repetitions[i]);
      } else {
        ++nonRepeaters;
      }
    }
  }
  const size_t repeaters = order.size() - nonRepeaters;
  if (repeaters == 0) return {};

  std::vector<VarBind> bindings(order.size());
  for (size_t k = 0; k < order.size(); ++k) bindings[k].name = start[order[k]];
  const QueryOutcome outcome =
      agent_->QueryBulk(bindings, static_cast<int>(nonRepeaters), maxRepetitions + 1);
  const size_t rounds =
      bindings.size() >= order.size() ? (bindings.size() - nonRepeaters) / repeaters : 0;
  bool wellFormed = outcome.callResult && outcome.errorStatus == status::kNoError &&
                    rounds >= 1 && rounds <= static_cast<size_t>(maxRepetitions) + 1 &&
                    bindings.size() == nonRepeaters + rounds * repeaters;
  for (size_t k = 0; k < order.size() && wellFormed; ++k) {
    const size_t i = order[k];
    std::vector<ViewRequest>& chain = answers[i];
    const Oid* previous = &start[i];
    const size_t wanted = 1 + static_cast<size_t>(repetitions[i]);
    const size_t available = k < nonRepeaters ? 1 : rounds;
    chain.reserve(std::min(wanted, available));
    for (size_t r = 0; r < available && chain.size() < wanted; ++r) {
      VarBind& answer =
          bindings[k < nonRepeaters ? k : nonRepeaters + r * repeaters + (k - nonRepeaters)];
      const bool value = !IsException(answer.value.type) && answer.value.type != tag::kNull;
      if (value && AnswerContinuesWalk(*previous, answer.name, View())) {
        chain.emplace_back().bind = std::move(answer);
        previous = &chain.back().bind.name;
        continue;
      }
      // A value inside the view that does not come after the name asked is
      // no get-next answer: the agent did something else with the request.
      if (value && OidStartsWith(answer.name, View())) wellFormed = false;
      chain.emplace_back().exhausted = true;
      break;
    }
  }
  if (wellFormed) return answers;

  // Whether the agent knows the request type at all: a get-next of the same
  // names that succeeds says it does not, and gives the first round.
  std::vector<ViewRequest> first(requests.size());
  for (size_t i = 0; i < requests.size(); ++i) first[i].bind.name = requests[i].bind.name;
  GetNext(first, version);
  for (const ViewRequest& request : first) {
    if (request.error != status::kNoError) return {};
  }
  bulkRefused_ = true;
  for (size_t i = 0; i < requests.size(); ++i) {
    answers[i].clear();
    answers[i].push_back(std::move(first[i]));
  }
  return answers;
}

void ExtensionView::Set(std::vector<ViewRequest>& requests, ProtocolVersion version) {
  std::vector<size_t> all = AllOf(requests);
  std::vector<VarBind> bindings = NamesOf(requests, all, true);
  QueryOutcome outcome = agent_->Query(kPduSet, bindings);
  if (outcome.callResult && outcome.errorStatus == status::kNoError) return;
  int errorStatus = outcome.errorStatus == status::kNoError ? status::kGenErr : outcome.errorStatus;
  ViewRequest& failed = requests[Blamed(outcome.errorIndex, requests.size())];
  if (version == ProtocolVersion::kV1) {
    failed.error = ErrorForV1(errorStatus);
    return;
  }
  bool exists = errorStatus == status::kNoSuchName && InstanceExists(failed.bind.name);
  failed.error = SetErrorForV2c(errorStatus, exists);
}

}  // namespace snmpsvc
