// A manager-side SNMP session on net-snmp's client library: get and subtree
// walks, with GETBULK for SNMPv2c and get-next for SNMPv1.
//
// Ownership: the client owns its net-snmp session and closes it when
// destroyed. Not thread-safe; one request at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "trend_model.h"

namespace wltrend {

struct SnmpOptions {
  std::string peer;       // as net-snmp writes it: host, host:port, udp:host:port
  bool version1 = false;  // SNMPv1 (get-next walks); else SNMPv2c (GETBULK)
  std::string community = "public";
  double timeoutSeconds = -1;  // < 0: net-snmp's default
  int retries = -1;            // < 0: net-snmp's default
  int maxRepetitions = 100;    // GETBULK
};

enum class SnmpStatus {
  Ok,
  NoAnswer,  // timed out: host unreachable or community wrong
  Failed,    // anything else; the message says what
};

class SnmpClient {
 public:
  // Opens a session; null with `error` set when net-snmp refuses the peer.
  static std::unique_ptr<SnmpClient> open(const SnmpOptions& options, std::string* error);
  ~SnmpClient();
  SnmpClient(const SnmpClient&) = delete;
  SnmpClient& operator=(const SnmpClient&) = delete;

  // Gets the names in one request. A name the agent does not hold comes back
  // as Kind::NoSuchName (SNMPv1's noSuchName error is turned into that for
  // every binding of the request).
  SnmpStatus get(const std::vector<Arcs>& names, std::vector<Binding>* bindings,
                 std::string* error);

  // Walks every name under `root` in order, calling `visit` for each; stops
  // early when `visit` returns false. Fails when the agent answers names out
  // of order (a loop) or an error status.
  SnmpStatus walk(const Arcs& root, const std::function<bool(const Binding&)>& visit,
                  std::string* error);

 private:
  SnmpClient() = default;
  struct Session;
  std::unique_ptr<Session> session_;
  int maxRepetitions_ = 100;
  bool version1_ = false;
};

}  // namespace wltrend
