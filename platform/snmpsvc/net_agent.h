// The protocol side of the service, on net-snmp's agent library: the master
// agent (or AgentX subagent), the registration of each view, the agent loop
// and the sending of traps.
//
// net-snmp keeps global state and is not thread-safe: there is one NetAgent,
// and every member except Wake() runs on the thread that calls Run() (the
// agent thread). Wake() is async-signal-safe and may be called from any
// thread or a signal handler; the wake callback then runs on the agent thread.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "access_policy.h"
#include "mib_types.h"
#include "trap_destination.h"
#include "view_backend.h"

namespace snmpsvc {

struct AgentOptions {
  bool subagent = false;                     // AgentX subagent instead of master agent
  std::vector<std::string> listenAddresses;  // master: transport addresses; empty = udp:161
  std::string agentxSocket;                  // subagent: the master's AgentX socket
  std::vector<std::string> configLines;      // extra net-snmp configuration (SNMPv3 users)
  bool foreground = false;                   // net-snmp logs to stderr, else syslog
};

class NetAgent {
 public:
  NetAgent() = default;
  NetAgent(const NetAgent&) = delete;
  NetAgent& operator=(const NetAgent&) = delete;

  // Prepares net-snmp (no configuration files of the machine, no persistent
  // state, no MIB files). Registrations follow, then Open().
  bool Init(const AgentOptions& options, std::string* error);
  // Registers a view; the backend must outlive the agent.
  bool Register(ViewBackend* backend, std::string* error);
  // Master: only requests that `policy` admits are answered; the others are
  // dropped and reported to `onAuthenticationFailure`. The policy must outlive
  // the agent. Call before Open().
  void SetAccessPolicy(const AccessPolicy* policy, std::function<void()> onAuthenticationFailure);
  // Opens the transports (master) or the AgentX session (subagent).
  bool Open(std::string* error);

  // Runs the agent loop until `keepRunning` returns false (tested after every
  // wake-up).
  void Run(const std::function<bool()>& keepRunning);
  void SetWakeCallback(std::function<void()> callback);
  void Wake();

  // Sends one trap to one destination (SNMPv1, or converted for SNMPv2c).
  bool SendTrap(const TrapMessage& trap, const std::string& community,
                const TrapDestination& destination, std::string* error);

  void Shutdown();

 private:
  AgentOptions options_;
  std::vector<void*> registrations_;
  std::function<void()> wakeCallback_;
  bool initialised_ = false;
};

// The IPv4 address this host uses to reach `destination` (the agent address
// of a v1 trap); 0.0.0.0 when unknown.
std::array<uint8_t, 4> LocalAddressFor(const TrapDestination& destination);

}  // namespace snmpsvc
