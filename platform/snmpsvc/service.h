// The service as a whole: reads the registry, loads the extension agents,
// registers their views (and the system group), runs the agent loop with the
// trap thread beside it, and on a stop request unloads every agent.
#pragma once

#include "net_agent.h"

namespace snmpsvc {

// Runs until RequestStop(); returns the process exit status.
int RunService(const AgentOptions& options);

// Async-signal-safe: asks the running service to stop.
void RequestStop();

}  // namespace snmpsvc
