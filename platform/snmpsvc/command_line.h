// The command line of snmpsvc:
//   snmpsvc [-f] [--agent ADDR]... [--agentx SOCKET] [-c FILE]
// -f / --foreground   stay in the foreground and log to standard error
// --agent ADDR        a transport to listen on (repeatable; default udp:161)
// --agentx SOCKET     run as an AgentX subagent of the master at SOCKET
// -c / --config FILE  extra net-snmp configuration lines (SNMPv3 users)
// Pure parsing; any thread.
#pragma once

#include <string>

#include "net_agent.h"

namespace snmpsvc {

enum class CommandLineResult { kRun, kHelp, kError };

CommandLineResult ParseCommandLine(int argc, const char* const* argv, AgentOptions* options,
                                   std::string* message);

extern const char kUsage[];

}  // namespace snmpsvc
