// One registered subtree of the MIB as the protocol side sees it: the system
// group the service serves itself, or an extension agent's view.
//
// The protocol side calls a backend from its one agent thread only; a backend
// need not be thread-safe towards itself.
#pragma once

#include <vector>

#include "mib_types.h"

namespace snmpsvc {

// The protocol version of a request, as far as the answers differ.
enum class ProtocolVersion { kV1, kV2c };

// One variable binding of a request that falls into this backend's view.
struct ViewRequest {
  VarBind bind;  // in: name (and the value to set); out: the answer
  // out: error status for this binding. Get: v1 noSuchName or any other error;
  // v2c missing objects are answered with an exception type in bind.value
  // instead. Set: the status already in the request's protocol version.
  int error = status::kNoError;
  // out, get-next only: the view holds nothing after the name; the walk goes
  // on in the next view.
  bool exhausted = false;
};

class ViewBackend {
 public:
  virtual ~ViewBackend() = default;
  virtual const Oid& View() const = 0;
  // A short name for log lines.
  virtual const std::string& Label() const = 0;
  // Called before the calls made for one request; every call of one request
  // (a GETBULK's repetitions included) sees the same number, the next request
  // another.
  virtual void BeginRequest(uint32_t /*transactionId*/) {}
  virtual void Get(std::vector<ViewRequest>& requests, ProtocolVersion version) = 0;
  virtual void GetNext(std::vector<ViewRequest>& requests, ProtocolVersion version) = 0;
  // GETBULK read-ahead: successive get-next answers of each binding, from
  // requests[i].bind.name on, at most 1 + repetitions[i] of them, in one call
  // where the backend can. answers[i][r] is binding i's answer in round r as
  // GetNext would give it; a binding's answers end at its first exhausted
  // one. Bindings may get fewer answers, or none (the default): the caller
  // asks GetNext for the rest. Never carries an error: a failed read-ahead
  // gives no answers, and GetNext reports the failure.
  virtual std::vector<std::vector<ViewRequest>> ReadAhead(
      const std::vector<ViewRequest>& /*requests*/, const std::vector<int>& /*repetitions*/,
      ProtocolVersion /*version*/) {
    return {};
  }
  // Performs the whole set of these bindings; on failure the failing binding
  // carries the error.
  virtual void Set(std::vector<ViewRequest>& requests, ProtocolVersion version) = 0;
};

}  // namespace snmpsvc
