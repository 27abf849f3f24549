// The net-snmp side of the service. Only this file and trap sending see
// net-snmp's headers; the extension interface stays out of it.
#include "net_agent.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
#include <net-snmp/agent/agent_callbacks.h>
// clang-format on

#include "message_screen.h"
#include "service_log.h"
#include "trap_conversion.h"

// net-snmp's list of open sessions (exported, though not declared in its
// public headers): right after the master agent starts, its listening ones.
extern "C" struct session_list* Sessions;

namespace snmpsvc {

namespace {

constexpr char kAppName[] = "snmpsvc";
// AgentX: how often a subagent checks its master, and reconnects when lost.
constexpr int kAgentxPingSeconds = 15;

int wakeRead = -1;
int wakeWrite = -1;
bool subagentMode = false;
const AccessPolicy* accessPolicy = nullptr;
std::function<void()> authenticationFailure;

// The receive functions of the master's transports, wrapped by ScreenedRecv.
using ReceiveFunction = int (*)(netsnmp_transport*, void*, int, void**, int*);
using SendFunction = int (*)(netsnmp_transport*, const void*, int, void**, int*);
std::map<netsnmp_transport*, ReceiveFunction> originalReceive;
// SETs whose values do not fit their 32-bit types: request id -> positions.
std::map<int64_t, std::vector<int>> oversizedSets;
constexpr size_t kMaxRememberedSets = 256;
std::chrono::steady_clock::time_point lastDropLog;

// Reads a datagram and screens it (message_screen.h) before net-snmp parses
// it. A dropped datagram reads as a failed receive, which net-snmp ignores.
int ScreenedRecv(netsnmp_transport* transport, void* buffer, int size, void** opaque,
                 int* opaqueLength) {
  auto original = originalReceive.find(transport);
  if (original == originalReceive.end()) return -1;
  const int length = original->second(transport, buffer, size, opaque, opaqueLength);
  if (length <= 0) return length;
  ScreenResult screen =
      ScreenMessage(static_cast<const uint8_t*>(buffer), static_cast<size_t>(length));
  if (screen.drop) {
    // At most one line a minute for this cause.
    const auto now = std::chrono::steady_clock::now();
    if (lastDropLog == std::chrono::steady_clock::time_point() ||
        now - lastDropLog >= std::chrono::minutes(1)) {
      lastDropLog = now;
      LogError("request dropped: an object identifier has a sub-identifier above 4294967295");
    }
    return -1;
  }
  // A request id seen again (a retry or a new request) is judged afresh.
  if (screen.oversizedValues.empty()) {
    oversizedSets.erase(screen.requestId);
  } else {
    if (oversizedSets.size() >= kMaxRememberedSets) oversizedSets.clear();
    oversizedSets[screen.requestId] = std::move(screen.oversizedValues);
  }
  return length;
}

// The largest UDP payload over IPv4.
constexpr int kMaxDatagram = 65507;
std::map<netsnmp_transport*, SendFunction> originalSend;
std::chrono::steady_clock::time_point lastTooBigLog;

// Sends a reply; one too large for a datagram goes out as tooBig instead
// (message_screen.h), so that the manager hears why.
int ScreenedSend(netsnmp_transport* transport, const void* buffer, int size, void** opaque,
                 int* opaqueLength) {
  auto original = originalSend.find(transport);
  if (original == originalSend.end()) return -1;
  std::vector<uint8_t> tooBig;
  if (size > kMaxDatagram && !(transport->flags & NETSNMP_TRANSPORT_FLAG_STREAM) &&
      TooBigResponse(static_cast<const uint8_t*>(buffer), static_cast<size_t>(size), &tooBig)) {
    // The SNMPv1 form repeats the request's names, which came in one datagram.
    if (tooBig.size() > static_cast<size_t>(kMaxDatagram)) tooBig.clear();
    const auto now = std::chrono::steady_clock::now();
    if (lastTooBigLog == std::chrono::steady_clock::time_point() ||
        now - lastTooBigLog >= std::chrono::minutes(1)) {
      lastTooBigLog = now;
      LogError("a reply of %d bytes does not fit in one datagram; answered tooBig", size);
    }
    if (!tooBig.empty() && tooBig.size() <= static_cast<size_t>(kMaxDatagram)) {
      const int sent = original->second(transport, tooBig.data(), static_cast<int>(tooBig.size()),
                                        opaque, opaqueLength);
      return sent < 0 ? sent : size;  // net-snmp counts the reply as sent
    }
  }
  return original->second(transport, buffer, size, opaque, opaqueLength);
}

// Puts ScreenedRecv in front of every transport the master agent listens on.
void ScreenMasterTransports() {
  for (session_list* entry = Sessions; entry != nullptr; entry = entry->next) {
    netsnmp_transport* transport = entry->transport;
    if (transport == nullptr || transport->f_recv == nullptr || transport->f_recv == ScreenedRecv) {
      continue;
    }
    originalReceive[transport] = transport->f_recv;
    transport->f_recv = ScreenedRecv;
    if (transport->f_send != nullptr) {
      originalSend[transport] = transport->f_send;
      transport->f_send = ScreenedSend;
    }
  }
}

// True when the SET binding at `position` of request `requestId` was found
// too wide for its type when it arrived.
bool OversizedValue(int64_t requestId, int position) {
  auto found = oversizedSets.find(requestId);
  if (found == oversizedSets.end()) return false;
  for (int p : found->second) {
    if (p == position) return true;
  }
  return false;
}

std::vector<oid> ToNetOid(const Oid& arcs) { return std::vector<oid>(arcs.begin(), arcs.end()); }

Oid FromNetOid(const oid* arcs, size_t length) {
  if (arcs == nullptr) return Oid();
  if (length > kMaxOidLength) length = kMaxOidLength;
  Oid result(length);
  for (size_t i = 0; i < length; ++i) result[i] = static_cast<uint32_t>(arcs[i]);
  return result;
}

// The sender of a request as a socket address, when the transport kept one.
const sockaddr* SourceOf(const netsnmp_pdu* pdu, size_t* length) {
  *length = 0;
  if (pdu->transport_data == nullptr ||
      pdu->transport_data_length < static_cast<int>(sizeof(sockaddr))) {
    return nullptr;
  }
  // UDP and TCP transports keep the remote address first.
  *length = static_cast<size_t>(pdu->transport_data_length);
  return static_cast<const sockaddr*>(pdu->transport_data);
}

std::string CommunityOf(const netsnmp_pdu* pdu) {
  if (pdu->community == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(pdu->community), pdu->community_len);
}

bool IsCommunityVersion(const netsnmp_pdu* pdu) {
  return pdu->version == SNMP_VERSION_1 || pdu->version == SNMP_VERSION_2c;
}

// First check of every request (master only): unknown community or host
// outside the permitted managers: net-snmp drops the request unanswered.
int CheckInitialAccess(int, int, void* serverArgument, void*) {
  auto* parameters = static_cast<view_parameters*>(serverArgument);
  netsnmp_pdu* pdu = parameters->pdu;
  if (pdu == nullptr) return 0;
  // GetBulkRequest-PDU does not exist in SNMPv1: such a message is dropped
  // unanswered, as an SNMPv1 agent drops any PDU it does not know.
  if (pdu->version == SNMP_VERSION_1 && pdu->command == SNMP_MSG_GETBULK) {
    parameters->errorcode = VACM_NOSECNAME;
    return 0;
  }
  if (accessPolicy == nullptr) {
    parameters->errorcode = VACM_SUCCESS;
    return 0;
  }
  if (!IsCommunityVersion(pdu)) {
    // SNMPv3 users come only from the operator's configuration file; the
    // user-based security model has checked the user's keys, but only when
    // the request is authenticated: a user name alone admits nothing.
    parameters->errorcode =
        pdu->securityLevel >= SNMP_SEC_LEVEL_AUTHNOPRIV ? VACM_SUCCESS : VACM_NOACCESS;
    return 0;
  }
  size_t length = 0;
  const sockaddr* source = SourceOf(pdu, &length);
  if (accessPolicy->ForRequest(CommunityOf(pdu), source, length) == Access::kNone) {
    parameters->errorcode = VACM_NOSECNAME;
    if (authenticationFailure) authenticationFailure();
  } else {
    parameters->errorcode = VACM_SUCCESS;
  }
  return 0;
}

// Every later view check (per binding, per subtree): the service grants the
// whole MIB to every admitted request, so it overrules net-snmp's VACM, which
// has no configuration here. SNMPv1 Counter64 answers are refused by net-snmp
// before this is asked.
int GrantView(int, int, void* serverArgument, void*) {
  static_cast<view_parameters*>(serverArgument)->errorcode = VACM_SUCCESS;
  return 0;
}

bool WriteAllowed(netsnmp_agent_request_info* reqinfo) {
  if (subagentMode || accessPolicy == nullptr) return true;  // the master decided
  netsnmp_pdu* pdu = reqinfo->asp != nullptr ? reqinfo->asp->pdu : nullptr;
  if (pdu == nullptr) return false;
  // SNMPv3 users exist only through the operator's configuration file.
  if (!IsCommunityVersion(pdu)) return true;
  size_t length = 0;
  const sockaddr* source = SourceOf(pdu, &length);
  return accessPolicy->ForRequest(CommunityOf(pdu), source, length) == Access::kReadWrite;
}

ProtocolVersion VersionOf(netsnmp_agent_request_info* reqinfo) {
  if (subagentMode) return ProtocolVersion::kV2c;  // the master converts for v1 managers
  netsnmp_pdu* pdu = reqinfo->asp != nullptr ? reqinfo->asp->pdu : nullptr;
  return pdu != nullptr && pdu->version == SNMP_VERSION_1 ? ProtocolVersion::kV1
                                                          : ProtocolVersion::kV2c;
}

Value ValueOfVariable(const netsnmp_variable_list* var) {
  Value value;
  value.type = var->type;
  switch (var->type) {
    case ASN_INTEGER:
      if (var->val.integer != nullptr)
        value = Value::Integer(static_cast<int32_t>(*var->val.integer));
      break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
      if (var->val.integer != nullptr) {
        value.number = static_cast<uint32_t>(*var->val.integer);
      }
      break;
    case ASN_COUNTER64:
      if (var->val.counter64 != nullptr) {
        value.number = (static_cast<uint64_t>(var->val.counter64->high) << 32) |
                       static_cast<uint32_t>(var->val.counter64->low);
      }
      break;
    case ASN_OBJECT_ID:
      value.oid = FromNetOid(var->val.objid, var->val_len / sizeof(oid));
      break;
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_BIT_STR:
      if (var->val.string != nullptr) {
        value.bytes.assign(reinterpret_cast<const char*>(var->val.string), var->val_len);
      }
      break;
    default:
      value.type = tag::kNull;
      break;
  }
  return value;
}

// Puts a value into a binding; false for a value the protocol cannot carry.
bool StoreValue(netsnmp_variable_list* var, const Value& value) {
  switch (value.type) {
    case tag::kInteger: {
      long number = static_cast<int32_t>(static_cast<int64_t>(value.number));
      return snmp_set_var_typed_value(var, ASN_INTEGER, &number, sizeof number) == 0;
    }
    case tag::kCounter32:
    case tag::kGauge32:
    case tag::kTimeTicks:
    case tag::kUnsigned32: {
      u_long number = static_cast<uint32_t>(value.number);
      // Unsigned32 travels with the Gauge32 tag.
      u_char type = value.type == tag::kUnsigned32 ? ASN_GAUGE : value.type;
      return snmp_set_var_typed_value(var, type, &number, sizeof number) == 0;
    }
    case tag::kCounter64: {
      struct counter64 number;
      number.high = static_cast<u_long>(value.number >> 32);
      number.low = static_cast<u_long>(value.number & 0xFFFFFFFFu);
      return snmp_set_var_typed_value(var, ASN_COUNTER64, &number, sizeof number) == 0;
    }
    case tag::kObjectId: {
      std::vector<oid> arcs = ToNetOid(value.oid);
      return snmp_set_var_typed_value(var, ASN_OBJECT_ID, arcs.data(), arcs.size() * sizeof(oid)) ==
             0;
    }
    case tag::kIpAddress:
      if (value.bytes.size() != 4) return false;
      return snmp_set_var_typed_value(var, ASN_IPADDRESS, value.bytes.data(), 4) == 0;
    case tag::kOctetString:
    case tag::kOpaque:
    case tag::kBits:
      return snmp_set_var_typed_value(var, value.type == tag::kBits ? ASN_OCTET_STR : value.type,
                                      value.bytes.data(), value.bytes.size()) == 0;
    case tag::kNull:
      return snmp_set_var_typed_value(var, ASN_NULL, nullptr, 0) == 0;
    default:
      return false;
  }
}

// Marks a get-next binding as "nothing more in this view": net-snmp moves it
// to the end of the registered range and asks the next view.
void MarkExhausted(netsnmp_request_info* request, const Oid& view) {
  if (request->range_end != nullptr && request->range_end_len != 0) {
    snmp_set_var_objid(request->requestvb, request->range_end, request->range_end_len);
  } else {
    std::vector<oid> end = ToNetOid(view);
    while (!end.empty() && end.back() == 0xFFFFFFFFu) end.pop_back();
    if (!end.empty()) ++end.back();
    snmp_set_var_objid(request->requestvb, end.data(), end.size());
  }
  snmp_set_var_typed_value(request->requestvb, ASN_NULL, nullptr, 0);
}

// The transaction a handler call belongs to. net-snmp calls a handler several
// times for one request (each GETBULK repetition, each subtree), one request
// after another on this thread, so a request is told apart from the previous
// one by its session and PDU. A subagent's requests carry the master's
// transaction ID, which one request of the master's keeps over all the
// AgentX requests it makes.
uint32_t TransactionOf(netsnmp_agent_request_info* reqinfo) {
  static const void* lastSession = nullptr;
  static const void* lastPdu = nullptr;
  static long lastRequestId = 0;
  static long lastAgentxTransaction = -1;
  static uint32_t transaction = 0;
  const netsnmp_pdu* pdu = reqinfo->asp != nullptr ? reqinfo->asp->pdu : nullptr;
  const long requestId = pdu != nullptr ? pdu->reqid : 0;
  const long agentxTransaction = subagentMode && pdu != nullptr ? pdu->transid : -1;
  const bool same = pdu != nullptr && reqinfo->asp == lastSession && pdu == lastPdu &&
                    requestId == lastRequestId && agentxTransaction == lastAgentxTransaction;
  const bool sameMaster =
      subagentMode && pdu != nullptr && agentxTransaction == lastAgentxTransaction;
  if (!same && !sameMaster) ++transaction;
  lastSession = reqinfo->asp;
  lastPdu = pdu;
  lastRequestId = requestId;
  lastAgentxTransaction = agentxTransaction;
  return transaction;
}

// Puts a get-next answer into the request's current binding. True when the
// binding holds a value from this view; false when it failed, or when the
// view holds nothing more for it (net-snmp then asks the next view).
bool StoreNext(netsnmp_agent_request_info* reqinfo, netsnmp_request_info* request,
               const ViewRequest& answer, const Oid& view) {
  if (answer.error != status::kNoError) {
    netsnmp_set_request_error(reqinfo, request, answer.error);
    return false;
  }
  if (answer.exhausted) {
    MarkExhausted(request, view);
    return false;
  }
  std::vector<oid> name = ToNetOid(answer.bind.name);
  snmp_set_var_objid(request->requestvb, name.data(), name.size());
  if (!StoreValue(request->requestvb, answer.bind.value)) {
    netsnmp_set_request_error(reqinfo, request, SNMP_ERR_GENERR);
    return false;
  }
  return true;
}

// GETBULK: every repetition of the bindings in this view, in one handler
// call. The backend is first asked to read ahead (one SnmpExtensionQueryEx
// for an extension agent that serves GETBULK itself). Each round then takes
// the bindings still repeating: their answers come from the read-ahead while
// it lasts, the others from one get-next (one SnmpExtensionQuery for an
// extension agent). A binding goes on from its previous answer while it has
// repetitions left and its answers stay inside the registered range. A
// binding whose walk leaves the view keeps its remaining repetitions, and
// net-snmp hands it to the next view. The first error ends the request, as
// it would with one get-next per repetition.
void HandleBulk(ViewBackend* backend, netsnmp_agent_request_info* reqinfo,
                std::vector<netsnmp_request_info*> active, std::vector<ViewRequest> round,
                ProtocolVersion version) {
  std::vector<std::vector<ViewRequest>> ahead;
  std::vector<int> repetitions;
  repetitions.reserve(active.size());
  for (netsnmp_request_info* request : active) repetitions.push_back(std::max(request->repeat, 0));
  if (*std::max_element(repetitions.begin(), repetitions.end()) > 0) {
    ahead = backend->ReadAhead(round, repetitions, version);
  }
  // Where each active binding's read-ahead answers are.
  std::vector<size_t> origin(active.size());
  for (size_t i = 0; i < origin.size(); ++i) origin[i] = i;

  std::vector<netsnmp_request_info*> repeating;
  std::vector<ViewRequest> nextRound;
  std::vector<size_t> nextOrigin;
  std::vector<size_t> asked;
  std::vector<ViewRequest> askedRound;
  for (size_t roundNo = 0; !active.empty(); ++roundNo) {
    asked.clear();
    askedRound.clear();
    for (size_t i = 0; i < active.size(); ++i) {
      const size_t from = origin[i];
      if (from < ahead.size() && roundNo < ahead[from].size()) {
        round[i] = std::move(ahead[from][roundNo]);
      } else {
        asked.push_back(i);
        askedRound.push_back(std::move(round[i]));
      }
    }
    if (!asked.empty()) {
      backend->GetNext(askedRound, version);
      for (size_t k = 0; k < asked.size(); ++k) round[asked[k]] = std::move(askedRound[k]);
    }
    bool failed = false;
    repeating.clear();
    nextRound.clear();
    nextOrigin.clear();
    for (size_t i = 0; i < active.size(); ++i) {
      netsnmp_request_info* request = active[i];
      if (!StoreNext(reqinfo, request, round[i], backend->View())) {
        failed = failed || request->status != SNMP_ERR_NOERROR;
        continue;
      }
      netsnmp_variable_list* answered = request->requestvb;
      netsnmp_variable_list* following = answered->next_variable;
      if (request->repeat <= 0 || following == nullptr) continue;
      // An answer at or past the range's end (a registration nested in the
      // view): net-snmp moves the binding on to the next subtree.
      if (request->range_end != nullptr &&
          snmp_oid_compare(answered->name, answered->name_length, request->range_end,
                           request->range_end_len) >= 0) {
        continue;
      }
      --request->repeat;
      snmp_set_var_objid(following, answered->name, answered->name_length);
      following->type = ASN_PRIV_RETRY;
      request->requestvb = following;
      // net-snmp's mark for an answer cut at a range's end belongs to the
      // previous repetition.
      if (request->inclusive == 2) request->inclusive = 0;
      ViewRequest next;
      next.bind.name = std::move(round[i].bind.name);
      repeating.push_back(request);
      nextRound.push_back(std::move(next));
      nextOrigin.push_back(origin[i]);
    }
    if (failed) return;
    active.swap(repeating);
    round.swap(nextRound);
    origin.swap(nextOrigin);
  }
}

int HandleView(netsnmp_mib_handler* handler, netsnmp_handler_registration*,
               netsnmp_agent_request_info* reqinfo, netsnmp_request_info* requests) {
  auto* backend = static_cast<ViewBackend*>(handler->myvoid);
  backend->BeginRequest(TransactionOf(reqinfo));
  std::vector<netsnmp_request_info*> pending;
  std::vector<ViewRequest> bindings;
  for (netsnmp_request_info* request = requests; request != nullptr; request = request->next) {
    if (request->processed) continue;
    ViewRequest binding;
    binding.bind.name = FromNetOid(request->requestvb->name, request->requestvb->name_length);
    if (reqinfo->mode == MODE_SET_ACTION) binding.bind.value = ValueOfVariable(request->requestvb);
    pending.push_back(request);
    bindings.push_back(std::move(binding));
  }
  if (pending.empty()) return SNMP_ERR_NOERROR;
  ProtocolVersion version = VersionOf(reqinfo);

  switch (reqinfo->mode) {
    case MODE_GET:
      backend->Get(bindings, version);
      for (size_t i = 0; i < pending.size(); ++i) {
        const ViewRequest& answer = bindings[i];
        if (answer.error != status::kNoError) {
          netsnmp_set_request_error(reqinfo, pending[i], answer.error);
        } else if (answer.bind.value.type == tag::kNoSuchObject ||
                   answer.bind.value.type == tag::kNoSuchInstance) {
          netsnmp_set_request_error(reqinfo, pending[i], answer.bind.value.type);
        } else if (!StoreValue(pending[i]->requestvb, answer.bind.value)) {
          netsnmp_set_request_error(reqinfo, pending[i], SNMP_ERR_GENERR);
        }
      }
      break;
    case MODE_GETNEXT:
      backend->GetNext(bindings, version);
      for (size_t i = 0; i < pending.size(); ++i) {
        StoreNext(reqinfo, pending[i], bindings[i], backend->View());
      }
      break;
    case MODE_GETBULK:
      HandleBulk(backend, reqinfo, std::move(pending), std::move(bindings), version);
      break;
    case MODE_SET_RESERVE1: {
      if (!WriteAllowed(reqinfo)) {
        netsnmp_set_request_error(reqinfo, pending.front(), SNMP_ERR_NOACCESS);
        break;
      }
      netsnmp_pdu* pdu = reqinfo->asp != nullptr ? reqinfo->asp->pdu : nullptr;
      for (netsnmp_request_info* request : pending) {
        if (pdu != nullptr && OversizedValue(pdu->reqid, request->index)) {
          netsnmp_set_request_error(
              reqinfo, request,
              version == ProtocolVersion::kV1 ? SNMP_ERR_BADVALUE : SNMP_ERR_WRONGVALUE);
          break;
        }
      }
      break;
    }
    case MODE_SET_ACTION:
      backend->Set(bindings, version);
      for (size_t i = 0; i < pending.size(); ++i) {
        if (bindings[i].error != status::kNoError) {
          netsnmp_set_request_error(reqinfo, pending[i], bindings[i].error);
        }
      }
      break;
    default:
      // RESERVE2, COMMIT, FREE, UNDO: an extension agent's set is done at
      // once and cannot be undone.
      break;
  }
  return SNMP_ERR_NOERROR;
}

// net-snmp copies the line.
void Remember(const std::string& line) {
  std::string copy = line;
  netsnmp_config_remember(copy.data());
}

void OnWakeReadable(int fd, void*) {
  char buffer[256];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

bool NetAgent::Init(const AgentOptions& options, std::string* error) {
  options_ = options;
  subagentMode = options.subagent;
  // The service reads no configuration or MIB files of the machine and keeps
  // no state between runs.
  setenv("MIBS", "", 1);
  setenv("MIBDIRS", "/nonexistent", 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
  if (options.foreground) {
    snmp_enable_stderrlog();
  } else {
    snmp_enable_syslog_ident(kAppName, LOG_DAEMON);
  }
  if (options.subagent) {
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
    netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL,
                       kAgentxPingSeconds);
    if (!options.agentxSocket.empty()) {
      netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET,
                            options.agentxSocket.c_str());
    }
  } else {
    std::string ports;
    for (const std::string& address : options.listenAddresses) {
      if (!ports.empty()) ports += ',';
      ports += address;
    }
    if (ports.empty()) ports = "udp:161";
    netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_PORTS, ports.c_str());
  }
  netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_DONT_LOG_TCPWRAPPERS_CONNECTS,
                         1);
  // No SMUX peers: the master agent listens only where it is told.
  char noSmux[] = "-smux";
  add_to_init_list(noSmux);
  if (init_agent(kAppName) != 0) {
    *error = "net-snmp agent initialisation failed";
    return false;
  }
  // Access is decided by the service (SetAccessPolicy); these entries only
  // tell net-snmp's VACM that it is configured, so that it does not warn.
  if (!options.subagent) {
    Remember("view snmpsvcAll included .1");
    Remember("group snmpsvcNone v2c snmpsvcNone");
  }
  for (const std::string& line : options.configLines) Remember(line);
  initialised_ = true;
  return true;
}

bool NetAgent::Register(ViewBackend* backend, std::string* error) {
  std::vector<oid> view = ToNetOid(backend->View());
  netsnmp_handler_registration* registration =
      netsnmp_create_handler_registration(backend->Label().c_str(), HandleView, view.data(),
                                          view.size(), HANDLER_CAN_RWRITE | HANDLER_CAN_GETBULK);
  if (registration == nullptr) {
    *error = "cannot create the registration";
    return false;
  }
  registration->handler->myvoid = backend;
  int result = netsnmp_register_handler(registration);
  if (result != MIB_REGISTERED_OK) {
    *error = result == MIB_DUPLICATE_REGISTRATION ? "the view is already registered"
                                                  : "registration failed";
    return false;
  }
  registrations_.push_back(registration);
  return true;
}

void NetAgent::SetAccessPolicy(const AccessPolicy* policy,
                               std::function<void()> onAuthenticationFailure) {
  accessPolicy = policy;
  authenticationFailure = std::move(onAuthenticationFailure);
}

bool NetAgent::Open(std::string* error) {
  int fds[2];
  if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    *error = std::string("cannot create the wake-up pipe: ") + strerror(errno);
    return false;
  }
  wakeRead = fds[0];
  wakeWrite = fds[1];
  init_snmp(kAppName);
  // Registered after net-snmp's VACM with the lowest priority, so that these
  // run last and their decision stands.
  netsnmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_ACM_CHECK_INITIAL,
                            CheckInitialAccess, nullptr, NETSNMP_CALLBACK_LOWEST_PRIORITY);
  netsnmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_ACM_CHECK, GrantView, nullptr,
                            NETSNMP_CALLBACK_LOWEST_PRIORITY);
  netsnmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_ACM_CHECK_SUBTREE, GrantView,
                            nullptr, NETSNMP_CALLBACK_LOWEST_PRIORITY);
  if (!options_.subagent && init_master_agent() != 0) {
    *error = "cannot open the agent's transports";
    return false;
  }
  if (!options_.subagent) ScreenMasterTransports();
  register_readfd(wakeRead, OnWakeReadable, this);
  return true;
}

void NetAgent::SetWakeCallback(std::function<void()> callback) {
  wakeCallback_ = std::move(callback);
}

void NetAgent::Wake() {
  if (wakeWrite >= 0) {
    char byte = 1;
    ssize_t written = write(wakeWrite, &byte, 1);
    (void)written;  // a full pipe already holds a wake-up
  }
}

void NetAgent::Run(const std::function<bool()>& keepRunning) {
  while (keepRunning()) {
    agent_check_and_process(1);
    if (wakeCallback_) wakeCallback_();
  }
}

bool NetAgent::SendTrap(const TrapMessage& trap, const std::string& community,
                        const TrapDestination& destination, std::string* error) {
  netsnmp_session session;
  snmp_sess_init(&session);
  std::string peer = PeerName(destination);
  std::vector<u_char> communityBytes(community.begin(), community.end());
  session.peername = peer.data();
  session.version = destination.v2c ? SNMP_VERSION_2c : SNMP_VERSION_1;
  session.community = communityBytes.data();
  session.community_len = communityBytes.size();
  void* handle = snmp_sess_open(&session);
  if (handle == nullptr) {
    *error = "cannot open a session to " + peer;
    return false;
  }
  std::array<uint8_t, 4> agentAddress = LocalAddressFor(destination);
  netsnmp_pdu* pdu = nullptr;
  bool built = true;
  if (destination.v2c) {
    pdu = snmp_pdu_create(SNMP_MSG_TRAP2);
    for (const VarBind& binding : ToV2Notification(trap, agentAddress, community)) {
      std::vector<oid> name = ToNetOid(binding.name);
      netsnmp_variable_list* var = snmp_varlist_add_variable(&pdu->variables, name.data(),
                                                             name.size(), ASN_NULL, nullptr, 0);
      built = built && var != nullptr && StoreValue(var, binding.value);
    }
  } else {
    pdu = snmp_pdu_create(SNMP_MSG_TRAP);
    std::vector<oid> enterprise = ToNetOid(trap.enterprise);
    pdu->enterprise = snmp_duplicate_objid(enterprise.data(), enterprise.size());
    pdu->enterprise_length = enterprise.size();
    pdu->trap_type = trap.genericTrap;
    pdu->specific_type = trap.specificTrap;
    pdu->time = trap.timeStamp;
    std::memcpy(pdu->agent_addr, agentAddress.data(), 4);
    for (const VarBind& binding : trap.bindings) {
      // Counter64 has no SNMPv1 encoding.
      if (binding.value.type == tag::kCounter64) continue;
      std::vector<oid> name = ToNetOid(binding.name);
      netsnmp_variable_list* var = snmp_varlist_add_variable(&pdu->variables, name.data(),
                                                             name.size(), ASN_NULL, nullptr, 0);
      built = built && var != nullptr && StoreValue(var, binding.value);
    }
  }
  bool sent = false;
  if (!built) {
    *error = "the trap holds a value that cannot be encoded";
    snmp_free_pdu(pdu);
  } else if (snmp_sess_send(handle, pdu) == 0) {
    *error = "cannot send to " + peer;
    snmp_free_pdu(pdu);
  } else {
    sent = true;
  }
  snmp_sess_close(handle);
  return sent;
}

void NetAgent::Shutdown() {
  if (!initialised_) return;
  if (wakeRead >= 0) unregister_readfd(wakeRead);
  snmp_shutdown(kAppName);
  shutdown_agent();
  if (wakeRead >= 0) close(wakeRead);
  if (wakeWrite >= 0) close(wakeWrite);
  wakeRead = wakeWrite = -1;
  accessPolicy = nullptr;
  originalReceive.clear();
  originalSend.clear();
  oversizedSets.clear();
  initialised_ = false;
}

std::array<uint8_t, 4> LocalAddressFor(const TrapDestination& destination) {
  std::array<uint8_t, 4> address{0, 0, 0, 0};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  std::string port = std::to_string(destination.port);
  if (getaddrinfo(destination.host.c_str(), port.c_str(), &hints, &found) != 0 ||
      found == nullptr) {
    return address;
  }
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd >= 0) {
    if (connect(fd, found->ai_addr, found->ai_addrlen) == 0) {
      sockaddr_in local{};
      socklen_t length = sizeof local;
      if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        std::memcpy(address.data(), &local.sin_addr, 4);
      }
    }
    close(fd);
  }
  freeaddrinfo(found);
  return address;
}

}  // namespace snmpsvc
