// The view of one extension agent as a backend of the protocol side: turns
// the bindings of a request that fall into the view into SnmpExtensionQuery
// calls and their answers back into SNMP answers (see docs/snmpsvc.md for the
// mapping). Called from the agent thread only.
#pragma once

#include <memory>

#include "extension_agent.h"
#include "view_backend.h"

namespace snmpsvc {

class ExtensionView : public ViewBackend {
 public:
  explicit ExtensionView(ExtensionAgent* agent);

  const Oid& View() const override { return agent_->View(); }
  const std::string& Label() const override { return agent_->Path(); }
  void BeginRequest(uint32_t transactionId) override { agent_->SetTransaction(transactionId); }
  void Get(std::vector<ViewRequest>& requests, ProtocolVersion version) override;
  void GetNext(std::vector<ViewRequest>& requests, ProtocolVersion version) override;
  void Set(std::vector<ViewRequest>& requests, ProtocolVersion version) override;
  // One SNMP_EXTENSION_GET_BULK call for an agent that exports
  // SnmpExtensionQueryEx. An agent whose bulk call fails while a get-next of
  // the same names succeeds does not know the request type: it is not asked
  // again, and that get-next gives the first round.
  std::vector<std::vector<ViewRequest>> ReadAhead(const std::vector<ViewRequest>& requests,
                                                  const std::vector<int>& repetitions,
                                                  ProtocolVersion version) override;

 private:
  // The position in `pending` of the binding an error index names; a missing
  // or out-of-range index blames the first binding.
  static size_t Blamed(int errorIndex, size_t pendingCount);
  // Get-next of one name; the answer's name, or false when the query failed.
  bool ProbeNext(const Oid& name, Oid* answer);
  // True when a get of `name` answers without error.
  bool InstanceExists(const Oid& name);

  ExtensionAgent* agent_;
  bool bulkRefused_ = false;
};

}  // namespace snmpsvc
