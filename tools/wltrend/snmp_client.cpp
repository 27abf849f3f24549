#include "snmp_client.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <cstdlib>
#include <cstring>

namespace wltrend {

struct SnmpClient::Session {
  netsnmp_session* handle = nullptr;
};

namespace {

void initLibrary() {
  static const bool done = [] {
    // No MIB module is needed: every name is numeric. Nothing is written to
    // net-snmp's persistent directory.
    setenv("MIBS", "", 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    init_snmp("wltrend");
    return true;
  }();
  (void)done;
}

std::string sessionError(netsnmp_session* session) {
  int libError = 0;
  int sysError = 0;
  char* text = nullptr;
  snmp_error(session, &libError, &sysError, &text);
  std::string message = text != nullptr ? text : "unknown SNMP error";
  std::free(text);
  return message;
}

std::vector<oid> toOid(const Arcs& arcs) { return std::vector<oid>(arcs.begin(), arcs.end()); }

// Takes a binding of an answer apart; false when it cannot be read safely.
bool toBinding(const netsnmp_variable_list* var, Binding* binding, std::string* error) {
  if (var->name == nullptr || var->name_length > MAX_OID_LEN) {
    *error = "an answer holds an unreadable name";
    return false;
  }
  binding->name.clear();
  for (size_t i = 0; i < var->name_length; ++i) {
    if (var->name[i] > 0xFFFFFFFFu) {
      *error = "an answer holds a name with an arc above 32 bits";
      return false;
    }
    binding->name.push_back(static_cast<uint32_t>(var->name[i]));
  }
  binding->integer = 0;
  binding->bytes.clear();
  switch (var->type) {
    case ASN_INTEGER:
      if (var->val.integer == nullptr || var->val_len < sizeof(long)) {
        *error = "an answer holds an INTEGER without a value";
        return false;
      }
      binding->kind = Binding::Kind::Integer;
      binding->integer = *var->val.integer;
      break;
    case ASN_OCTET_STR:
      binding->kind = Binding::Kind::OctetString;
      if (var->val_len > 0) {
        if (var->val.string == nullptr || var->val_len > 65535) {
          *error = "an answer holds an unreadable OCTET STRING";
          return false;
        }
        binding->bytes.assign(reinterpret_cast<const char*>(var->val.string), var->val_len);
      }
      break;
    case SNMP_NOSUCHOBJECT:
    case SNMP_NOSUCHINSTANCE:
      binding->kind = Binding::Kind::NoSuchName;
      break;
    case SNMP_ENDOFMIBVIEW:
      binding->kind = Binding::Kind::EndOfView;
      break;
    default:
      binding->kind = Binding::Kind::Other;
      break;
  }
  return true;
}

// Lexicographic order of two names.
int compareArcs(const Arcs& a, const Arcs& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

std::unique_ptr<SnmpClient> SnmpClient::open(const SnmpOptions& options, std::string* error) {
  initLibrary();
  netsnmp_session settings;
  snmp_sess_init(&settings);
  std::string peer = options.peer;
  std::string community = options.community;
  settings.peername = peer.data();
  settings.version = options.version1 ? SNMP_VERSION_1 : SNMP_VERSION_2c;
  settings.community = reinterpret_cast<u_char*>(community.data());
  settings.community_len = community.size();
  if (options.timeoutSeconds >= 0) {
    settings.timeout = static_cast<long>(options.timeoutSeconds * 1000000.0);
  }
  if (options.retries >= 0) settings.retries = options.retries;
  netsnmp_session* handle = snmp_open(&settings);
  if (handle == nullptr) {
    *error = sessionError(&settings);
    return nullptr;
  }
  std::unique_ptr<SnmpClient> client(new SnmpClient());
  client->session_ = std::make_unique<Session>();
  client->session_->handle = handle;
  client->maxRepetitions_ = std::max(1, options.maxRepetitions);
  client->version1_ = options.version1;
  return client;
}

SnmpClient::~SnmpClient() {
  if (session_ && session_->handle != nullptr) snmp_close(session_->handle);
}

namespace {

// Sends a request and waits for its answer. The caller frees *response.
SnmpStatus exchange(netsnmp_session* session, netsnmp_pdu* request, netsnmp_pdu** response,
                    std::string* error) {
  *response = nullptr;
  const int status = snmp_synch_response(session, request, response);
  if (status == STAT_SUCCESS && *response != nullptr) return SnmpStatus::Ok;
  if (*response != nullptr) {
    snmp_free_pdu(*response);
    *response = nullptr;
  }
  if (status == STAT_TIMEOUT) {
    *error = "no answer: host unreachable or community wrong";
    return SnmpStatus::NoAnswer;
  }
  *error = sessionError(session);
  return SnmpStatus::Failed;
}

}  // namespace

SnmpStatus SnmpClient::get(const std::vector<Arcs>& names, std::vector<Binding>* bindings,
                           std::string* error) {
  netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
  for (const Arcs& name : names) {
    const std::vector<oid> arcs = toOid(name);
    snmp_add_null_var(request, arcs.data(), arcs.size());
  }
  netsnmp_pdu* response = nullptr;
  const SnmpStatus status = exchange(session_->handle, request, &response, error);
  if (status != SnmpStatus::Ok) return status;
  bindings->clear();
  SnmpStatus result = SnmpStatus::Ok;
  if (response->errstat == SNMP_ERR_NOSUCHNAME) {
    // SNMPv1 names one missing binding and answers none of them.
    for (const Arcs& name : names) {
      Binding binding;
      binding.name = name;
      binding.kind = Binding::Kind::NoSuchName;
      bindings->push_back(binding);
    }
  } else if (response->errstat != SNMP_ERR_NOERROR) {
    *error = std::string("the agent answered ") + snmp_errstring(response->errstat);
    result = SnmpStatus::Failed;
  } else {
    for (netsnmp_variable_list* var = response->variables; var != nullptr;
         var = var->next_variable) {
      Binding binding;
      if (!toBinding(var, &binding, error)) {
        result = SnmpStatus::Failed;
        break;
      }
      bindings->push_back(std::move(binding));
    }
    if (result == SnmpStatus::Ok && bindings->size() != names.size()) {
      *error = "the agent answered " + std::to_string(bindings->size()) + " of " +
               std::to_string(names.size()) + " names";
      result = SnmpStatus::Failed;
    }
  }
  snmp_free_pdu(response);
  return result;
}

SnmpStatus SnmpClient::walk(const Arcs& root, const std::function<bool(const Binding&)>& visit,
                            std::string* error) {
  Arcs last = root;
  int repetitions = maxRepetitions_;
  for (;;) {
    netsnmp_pdu* request = snmp_pdu_create(version1_ ? SNMP_MSG_GETNEXT : SNMP_MSG_GETBULK);
    if (!version1_) {
      request->non_repeaters = 0;
      request->max_repetitions = repetitions;
    }
    const std::vector<oid> arcs = toOid(last);
    snmp_add_null_var(request, arcs.data(), arcs.size());
    netsnmp_pdu* response = nullptr;
    const SnmpStatus status = exchange(session_->handle, request, &response, error);
    if (status != SnmpStatus::Ok) return status;
    if (response->errstat == SNMP_ERR_TOOBIG && repetitions > 1) {
      snmp_free_pdu(response);
      repetitions /= 2;
      continue;
    }
    if (response->errstat == SNMP_ERR_NOSUCHNAME && version1_) {
      snmp_free_pdu(response);  // SNMPv1: past the last name of the agent
      return SnmpStatus::Ok;
    }
    if (response->errstat != SNMP_ERR_NOERROR) {
      *error = std::string("the agent answered ") + snmp_errstring(response->errstat);
      snmp_free_pdu(response);
      return SnmpStatus::Failed;
    }
    bool more = response->variables != nullptr;
    SnmpStatus result = SnmpStatus::Ok;
    for (netsnmp_variable_list* var = response->variables; var != nullptr && more;
         var = var->next_variable) {
      Binding binding;
      if (!toBinding(var, &binding, error)) {
        result = SnmpStatus::Failed;
        break;
      }
      if (binding.kind == Binding::Kind::EndOfView || !isUnder(binding.name, root)) {
        more = false;
        break;
      }
      if (compareArcs(binding.name, last) <= 0) {
        *error = "the agent answered names out of order";
        result = SnmpStatus::Failed;
        break;
      }
      last = binding.name;
      if (!visit(binding)) more = false;
    }
    snmp_free_pdu(response);
    if (result != SnmpStatus::Ok) return result;
    if (!more) return SnmpStatus::Ok;
  }
}

}  // namespace wltrend
