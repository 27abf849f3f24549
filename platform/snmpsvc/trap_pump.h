// The trap thread: waits on every extension agent's trap event and, when one
// is signalled, calls that agent's SnmpExtensionTrap until it has no trap
// left, queueing a copy of each trap for the agent thread, which sends it.
//
// Thread safety: Start/Stop from the owning thread; TakeAll from any thread
// (the agent thread). The `wake` callback runs on the trap thread.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "extension_agent.h"

namespace snmpsvc {

class TrapPump {
 public:
  TrapPump() = default;
  ~TrapPump();
  TrapPump(const TrapPump&) = delete;
  TrapPump& operator=(const TrapPump&) = delete;

  // Watches the agents that gave a trap event and export SnmpExtensionTrap
  // (at most 63; the rest are logged and ignored). False when there is
  // nothing to watch or the thread cannot start.
  bool Start(const std::vector<ExtensionAgent*>& agents, std::function<void()> wake);
  // Ends the thread; safe to call more than once. Must run before the agents
  // are unloaded.
  void Stop();
  std::deque<TrapMessage> TakeAll();

 private:
  void Loop();

  std::vector<ExtensionAgent*> agents_;
  std::vector<void*> events_;  // the stop event first, then one per agent
  std::function<void()> wake_;
  std::thread thread_;
  std::mutex mutex_;
  std::deque<TrapMessage> queue_;
};

}  // namespace snmpsvc
