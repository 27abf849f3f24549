// The extension side of the service: the only translation units that see the
// extension-agent interface's types are this one and the test agents.
#include "extension_agent.h"

#include <dlfcn.h>

#include <cstring>

#include "snmp/snmp.h"
#include "win32/memory.h"

namespace snmpsvc {

namespace {

// Upper bound on the bindings of one trap; anything longer is cut.
constexpr UINT kMaxTrapBindings = 1024;
// Upper bound on the answers of one GETBULK call taken from an agent.
constexpr UINT kMaxBulkBindings = 65535;

bool IsOctetType(BYTE type) {
  return type == ASN_OCTETSTRING || type == ASN_BITS || type == ASN_IPADDRESS ||
         type == ASN_OPAQUE || type == ASN_SEQUENCE;
}

// Copies an agent's identifier; false when it is malformed (too long, or arcs
// announced without an array).
bool CopyOidFromAgent(const AsnObjectIdentifier& source, Oid* out) {
  out->clear();
  if (source.idLength == 0) return true;
  if (source.idLength > kMaxOidLength || source.ids == nullptr) return false;
  out->assign(source.ids, source.ids + source.idLength);
  return true;
}

// False for a value the protocol cannot carry.
bool CopyValueFromAgent(const AsnAny& source, Value* out) {
  *out = Value();
  out->type = source.asnType;
  switch (source.asnType) {
    case ASN_INTEGER:
      out->number = static_cast<uint64_t>(static_cast<int64_t>(source.asnValue.number));
      return true;
    case ASN_COUNTER32:
    case ASN_GAUGE32:
    case ASN_TIMETICKS:
    case ASN_UNSIGNED32:
      out->number = source.asnValue.unsigned32;
      return true;
    case ASN_COUNTER64:
      out->number = source.asnValue.counter64.QuadPart;
      return true;
    case ASN_OBJECTIDENTIFIER:
      return CopyOidFromAgent(source.asnValue.object, &out->oid);
    case ASN_NULL:
    case SNMP_EXCEPTION_NOSUCHOBJECT:
    case SNMP_EXCEPTION_NOSUCHINSTANCE:
    case SNMP_EXCEPTION_ENDOFMIBVIEW:
      return true;
    default:
      if (IsOctetType(source.asnType)) {
        const AsnOctetString& string = source.asnValue.string;
        if (string.length != 0) {
          if (string.stream == nullptr) return false;
          out->bytes.assign(reinterpret_cast<const char*>(string.stream), string.length);
        }
        return true;
      }
      out->type = tag::kNull;
      return false;
  }
}

// Fills an interface identifier with a new global-heap copy; false when out of
// memory.
bool OidToAgent(const Oid& source, AsnObjectIdentifier* out) {
  out->idLength = 0;
  out->ids = nullptr;
  if (source.empty()) return true;
  auto* arcs =
      static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(source.size() * sizeof(UINT))));
  if (arcs == nullptr) return false;
  std::memcpy(arcs, source.data(), source.size() * sizeof(UINT));
  out->ids = arcs;
  out->idLength = static_cast<UINT>(source.size());
  return true;
}

bool ValueToAgent(const Value& source, AsnAny* out) {
  std::memset(out, 0, sizeof *out);
  out->asnType = source.type;
  switch (source.type) {
    case ASN_INTEGER:
      out->asnValue.number = static_cast<AsnInteger32>(static_cast<int64_t>(source.number));
      return true;
    case ASN_COUNTER32:
    case ASN_GAUGE32:
    case ASN_TIMETICKS:
    case ASN_UNSIGNED32:
      out->asnValue.unsigned32 = static_cast<AsnUnsigned32>(source.number);
      return true;
    case ASN_COUNTER64:
      out->asnValue.counter64.QuadPart = source.number;
      return true;
    case ASN_OBJECTIDENTIFIER:
      return OidToAgent(source.oid, &out->asnValue.object);
    default:
      if (IsOctetType(source.type)) {
        AsnOctetString& string = out->asnValue.string;
        if (!source.bytes.empty()) {
          string.stream =
              static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(source.bytes.size())));
          if (string.stream == nullptr) return false;
          std::memcpy(string.stream, source.bytes.data(), source.bytes.size());
          string.length = static_cast<UINT>(source.bytes.size());
          string.dynamic = TRUE;
        }
        return true;
      }
      out->asnType = ASN_NULL;
      return true;
  }
}

// A binding list for an agent with the names of `bindings` (and their values
// when `withValues`; NULL otherwise), from the agent-interface allocator.
// Null when memory runs out; *built is false when a binding could not be
// converted (the list then holds what was converted, the rest zeroed).
SnmpVarBind* NewAgentList(const std::vector<VarBind>& bindings, bool withValues, bool* built) {
  const UINT count = static_cast<UINT>(bindings.size());
  auto* list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(count * sizeof(SnmpVarBind)));
  *built = list != nullptr;
  for (UINT i = 0; i < count && *built; ++i) {
    if (!withValues) list[i].value.asnType = ASN_NULL;
    *built = OidToAgent(bindings[i].name, &list[i].name) &&
             (!withValues || ValueToAgent(bindings[i].value, &list[i].value));
  }
  return list;
}

// Frees names (including any the agent replaced), dynamic strings and
// identifier values of the first `count` bindings, then the list itself.
void FreeAgentList(SnmpVarBind* list, UINT count) {
  for (UINT i = 0; i < count; ++i) SnmpUtilVarBindFree(&list[i]);
  SnmpUtilMemFree(list);
}

// The calls of SnmpExtensionQueryEx for one request: one for a get or
// get-next; test, commit (undo when the commit fails) and clean-up for a set.
QueryOutcome QueryEx(PFNSNMPEXTENSIONQUERYEX query, uint8_t pduType, uint32_t transaction,
                     SnmpVarBindList* request) {
  QueryOutcome outcome;
  outcome.callResult = true;
  AsnOctetString context{nullptr, 0, FALSE};
  // The outcome is that of the first call that fails; the clean-up's own
  // result does not change what was done.
  auto call = [&](UINT type) {
    AsnInteger32 errorStatus = 0;
    AsnInteger32 errorIndex = 0;
    const bool result =
        query(type, transaction, request, &context, &errorStatus, &errorIndex) != FALSE;
    const bool passed = result && errorStatus == status::kNoError;
    if (!passed && type != SNMP_EXTENSION_SET_CLEANUP && outcome.callResult &&
        outcome.errorStatus == status::kNoError) {
      outcome.callResult = result;
      outcome.errorStatus = errorStatus;
      outcome.errorIndex = errorIndex;
    }
    return passed;
  };
  if (pduType != SNMP_PDU_SET) {
    call(pduType);
    return outcome;
  }
  if (call(SNMP_EXTENSION_SET_TEST) && !call(SNMP_EXTENSION_SET_COMMIT)) {
    call(SNMP_EXTENSION_SET_UNDO);
  }
  call(SNMP_EXTENSION_SET_CLEANUP);
  return outcome;
}

}  // namespace

struct ExtensionAgent::TrapList {
  SnmpVarBindList list{nullptr, 0};
};

std::unique_ptr<ExtensionAgent> ExtensionAgent::Load(const std::string& path,
                                                     uint32_t timeZeroReference,
                                                     std::string* error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "cannot load the library";
    return nullptr;
  }
  auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(dlsym(library, "SnmpExtensionInit"));
  void* query = dlsym(library, "SnmpExtensionQuery");
  void* trap = dlsym(library, "SnmpExtensionTrap");
  void* queryEx = dlsym(library, "SnmpExtensionQueryEx");
  if (init == nullptr || query == nullptr) {
    *error = "the library does not export SnmpExtensionInit and SnmpExtensionQuery";
    dlclose(library);
    return nullptr;
  }
  HANDLE trapEvent = nullptr;
  AsnObjectIdentifier view{0, nullptr};
  if (!init(timeZeroReference, &trapEvent, &view)) {
    *error = "SnmpExtensionInit failed";
    dlclose(library);
    return nullptr;
  }
  // The view stays the agent's own array: copy it, never free it.
  Oid viewCopy;
  if (!CopyOidFromAgent(view, &viewCopy) || viewCopy.empty()) {
    *error = "SnmpExtensionInit returned no valid view";
    dlclose(library);
    return nullptr;
  }
  std::unique_ptr<ExtensionAgent> agent(new ExtensionAgent());
  agent->path_ = path;
  agent->library_ = library;
  agent->query_ = query;
  agent->queryEx_ = queryEx;
  agent->trap_ = trap;
  agent->trapEvent_ = trapEvent;
  agent->view_ = std::move(viewCopy);
  agent->trapList_ = std::make_unique<TrapList>();
  return agent;
}

ExtensionAgent::~ExtensionAgent() {
  if (library_ != nullptr) dlclose(library_);
}

QueryOutcome ExtensionAgent::QueryBulk(std::vector<VarBind>& bindings, int nonRepeaters,
                                       int maxRepetitions) {
  QueryOutcome outcome;
  outcome.errorStatus = status::kGenErr;
  if (queryEx_ == nullptr || bindings.empty()) return outcome;
  bool built = false;
  SnmpVarBindList request{NewAgentList(bindings, false, &built),
                          static_cast<UINT>(bindings.size())};
  if (request.list == nullptr) return outcome;
  if (built) {
    AsnInteger32 errorStatus = nonRepeaters;
    AsnInteger32 errorIndex = maxRepetitions;
    AsnOctetString context{nullptr, 0, FALSE};
    auto query = reinterpret_cast<PFNSNMPEXTENSIONQUERYEX>(queryEx_);
    outcome.callResult = query(SNMP_EXTENSION_GET_BULK, transaction_, &request, &context,
                               &errorStatus, &errorIndex) != FALSE;
    outcome.errorStatus = errorStatus;
    outcome.errorIndex = errorIndex;
  }
  // The agent may have replaced the array with a longer one; a list that
  // announces bindings without an array has none.
  const UINT answered = request.list != nullptr ? request.len : 0;
  if (built && outcome.callResult && outcome.errorStatus == status::kNoError &&
      answered <= kMaxBulkBindings) {
    std::vector<VarBind> answers(answered);
    for (UINT i = 0; i < answered && outcome.errorStatus == status::kNoError; ++i) {
      if (!CopyOidFromAgent(request.list[i].name, &answers[i].name) ||
          !CopyValueFromAgent(request.list[i].value, &answers[i].value)) {
        outcome.errorStatus = status::kGenErr;
        outcome.errorIndex = static_cast<int>(i + 1);
      }
    }
    if (outcome.errorStatus == status::kNoError) bindings = std::move(answers);
  } else if (outcome.errorStatus == status::kNoError) {
    outcome.errorStatus = status::kGenErr;
  }
  FreeAgentList(request.list, answered);
  return outcome;
}

QueryOutcome ExtensionAgent::Query(uint8_t pduType, std::vector<VarBind>& bindings) {
  QueryOutcome outcome;
  if (bindings.empty()) {
    outcome.callResult = TRUE;
    return outcome;
  }
  const UINT count = static_cast<UINT>(bindings.size());
  bool built = false;
  SnmpVarBind* list = NewAgentList(bindings, true, &built);
  if (list == nullptr) {
    outcome.errorStatus = status::kGenErr;
    outcome.errorIndex = 1;
    return outcome;
  }
  SnmpVarBindList request{list, count};
  if (built) {
    AsnInteger32 errorStatus = 0;
    AsnInteger32 errorIndex = 0;
    if (queryEx_ != nullptr) {
      outcome = QueryEx(reinterpret_cast<PFNSNMPEXTENSIONQUERYEX>(queryEx_), pduType, transaction_,
                        &request);
    } else {
      auto query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(query_);
      outcome.callResult = query(pduType, &request, &errorStatus, &errorIndex) != FALSE;
      outcome.errorStatus = errorStatus;
      outcome.errorIndex = errorIndex;
    }
    for (UINT i = 0; i < count; ++i) {
      VarBind& answer = bindings[i];
      if (!CopyOidFromAgent(list[i].name, &answer.name)) answer.name.clear();
      if (!CopyValueFromAgent(list[i].value, &answer.value) && outcome.errorStatus == 0 &&
          pduType != SNMP_PDU_SET) {
        outcome.errorStatus = status::kGenErr;
        outcome.errorIndex = static_cast<int>(i + 1);
      }
    }
  } else {
    outcome.errorStatus = status::kGenErr;
    outcome.errorIndex = 1;
  }
  FreeAgentList(list, count);
  return outcome;
}

bool ExtensionAgent::NextTrap(TrapMessage* trap) {
  if (trap_ == nullptr) return false;
  AsnObjectIdentifier enterprise{0, nullptr};
  AsnInteger32 generic = 0;
  AsnInteger32 specific = 0;
  AsnTimeticks timeStamp = 0;
  auto entry = reinterpret_cast<PFNSNMPEXTENSIONTRAP>(trap_);
  if (!entry(&enterprise, &generic, &specific, &timeStamp, &trapList_->list)) return false;
  *trap = TrapMessage();
  CopyOidFromAgent(enterprise, &trap->enterprise);
  trap->genericTrap = generic;
  trap->specificTrap = specific;
  trap->timeStamp = timeStamp;
  const SnmpVarBindList& list = trapList_->list;
  if (list.list != nullptr) {
    UINT count = list.len < kMaxTrapBindings ? list.len : kMaxTrapBindings;
    for (UINT i = 0; i < count; ++i) {
      VarBind binding;
      if (!CopyOidFromAgent(list.list[i].name, &binding.name) || binding.name.empty()) continue;
      if (!CopyValueFromAgent(list.list[i].value, &binding.value)) continue;
      trap->bindings.push_back(std::move(binding));
    }
  }
  return true;
}

}  // namespace snmpsvc
