// One loaded extension agent: its shared library, its three entry points, its
// trap event and its view.
//
// Ownership: the object owns the library handle and closes it (dlclose, which
// runs the agent's unload sequence) when destroyed. Memory handed to the agent
// for a query is allocated with GlobalAlloc and freed after the call, including
// any name the agent replaced. What SnmpExtensionTrap fills stays the agent's:
// it is copied, never freed.
//
// Thread safety: Query may run on one thread while NextTrap runs on another
// (as the Windows service does); each of them must not be called from two
// threads at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mib_types.h"

namespace snmpsvc {

struct QueryOutcome {
  bool callResult = false;  // the entry point's BOOL result
  int errorStatus = status::kNoError;
  int errorIndex = 0;  // 1-based into the bindings passed, 0 when none
};

class ExtensionAgent {
 public:
  // Loads the library and calls SnmpExtensionInit with `timeZeroReference`.
  // Null with a reason in *error when the library cannot be loaded, lacks an
  // entry point, or its initialisation fails.
  static std::unique_ptr<ExtensionAgent> Load(const std::string& path, uint32_t timeZeroReference,
                                              std::string* error);
  ~ExtensionAgent();
  ExtensionAgent(const ExtensionAgent&) = delete;
  ExtensionAgent& operator=(const ExtensionAgent&) = delete;

  const std::string& Path() const { return path_; }
  const Oid& View() const { return view_; }
  // The event the agent signals when traps are pending; null when it gave none.
  void* TrapEvent() const { return trapEvent_; }
  bool HasTrapEntry() const { return trap_ != nullptr; }

  // One SnmpExtensionQuery call with `bindings` (names, and values for a set).
  // Answers are copied back into `bindings`. An agent that exports
  // SnmpExtensionQueryEx is called through it instead, with the transaction
  // last set; a set then runs its test, commit (undo on failure) and clean-up
  // calls, and the outcome is that of the first call that failed.
  QueryOutcome Query(uint8_t pduType, std::vector<VarBind>& bindings);

  // True when the agent exports SnmpExtensionQueryEx, and so may serve a
  // GETBULK in one call.
  bool CanQueryBulk() const { return queryEx_ != nullptr; }

  // One SnmpExtensionQueryEx(SNMP_EXTENSION_GET_BULK) call: `bindings` holds
  // the names, non-repeaters first. On a successful call the answers replace
  // `bindings` in the order of a GetBulk response, however many the agent
  // gave; otherwise `bindings` is left as it was passed. Only when
  // CanQueryBulk().
  QueryOutcome QueryBulk(std::vector<VarBind>& bindings, int nonRepeaters, int maxRepetitions);

  // The transaction of the request the next queries belong to.
  void SetTransaction(uint32_t transactionId) { transaction_ = transactionId; }

  // One SnmpExtensionTrap call; false when the agent has no trap pending.
  bool NextTrap(TrapMessage* trap);

 private:
  ExtensionAgent() = default;

  std::string path_;
  void* library_ = nullptr;
  void* query_ = nullptr;
  void* queryEx_ = nullptr;
  uint32_t transaction_ = 0;
  void* trap_ = nullptr;
  void* trapEvent_ = nullptr;
  Oid view_;
  // The binding list passed to every SnmpExtensionTrap call: the agent keeps
  // describing its previous trap in it and frees that itself.
  struct TrapList;
  std::unique_ptr<TrapList> trapList_;
};

}  // namespace snmpsvc
