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

 private:
  // The position in `pending` of the binding an error index names; a missing
  // or out-of-range index blames the first binding.
  static size_t Blamed(int errorIndex, size_t pendingCount);
  // Get-next of one name; the answer's name, or false when the query failed.
  bool ProbeNext(const Oid& name, Oid* answer);
  // True when a get of `name` answers without error.
  bool InstanceExists(const Oid& name);

  ExtensionAgent* agent_;
};

}  // namespace snmpsvc
