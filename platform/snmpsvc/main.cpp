// snmpsvc: the SNMP service that hosts extension agents (see docs/snmpsvc.md).
#include <signal.h>
#include <stdio.h>

#include "command_line.h"
#include "host_access_cache.h"
#include "service.h"

// net-snmp's agent asks TCP wrappers about every request; this definition
// takes the place of libwrap's, which it calls through a cache of the answers
// (see host_access_cache.h).
extern "C" __attribute__((visibility("default"))) int hosts_ctl(char* daemon, char* clientName,
                                                                char* clientAddress,
                                                                char* clientUser) {
  return snmpsvc::HostsCtlThroughCache(daemon, clientName, clientAddress, clientUser);
}

namespace {

void OnStopSignal(int) { snmpsvc::RequestStop(); }

}  // namespace

int main(int argc, char** argv) {
  snmpsvc::AgentOptions options;
  std::string message;
  switch (snmpsvc::ParseCommandLine(argc, argv, &options, &message)) {
    case snmpsvc::CommandLineResult::kHelp:
      fputs(snmpsvc::kUsage, stdout);
      return 0;
    case snmpsvc::CommandLineResult::kError:
      fprintf(stderr, "snmpsvc: %s\n%s", message.c_str(), snmpsvc::kUsage);
      return 2;
    case snmpsvc::CommandLineResult::kRun:
      break;
  }
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return snmpsvc::RunService(options);
}
