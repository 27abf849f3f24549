#include "command_line.h"

#include <fstream>

namespace snmpsvc {

const char kUsage[] =
    "usage: snmpsvc [-f] [--agent ADDR]... [--agentx SOCKET] [-c FILE]\n"
    "  -f, --foreground    stay in the foreground, log to standard error\n"
    "  --agent ADDR        listen on ADDR (repeatable; default udp:161)\n"
    "  --agentx SOCKET     run as AgentX subagent of the master agent at SOCKET\n"
    "  -c, --config FILE   net-snmp configuration lines to apply (SNMPv3 users)\n";

namespace {

bool ReadConfigLines(const std::string& path, AgentOptions* options, std::string* message) {
  std::ifstream file(path);
  if (!file) {
    *message = "cannot read " + path;
    return false;
  }
  std::string line;
  while (std::getline(file, line)) {
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    size_t end = line.find_last_not_of(" \t\r");
    options->configLines.push_back(line.substr(start, end - start + 1));
  }
  return true;
}

}  // namespace

CommandLineResult ParseCommandLine(int argc, const char* const* argv, AgentOptions* options,
                                   std::string* message) {
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        *message = argument + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string text;
    if (argument == "-f" || argument == "--foreground") {
      options->foreground = true;
    } else if (argument == "--agent") {
      if (!value(&text)) return CommandLineResult::kError;
      options->listenAddresses.push_back(text);
    } else if (argument == "--agentx") {
      if (!value(&text)) return CommandLineResult::kError;
      options->subagent = true;
      options->agentxSocket = text;
    } else if (argument == "-c" || argument == "--config") {
      if (!value(&text)) return CommandLineResult::kError;
      if (!ReadConfigLines(text, options, message)) return CommandLineResult::kError;
    } else if (argument == "-h" || argument == "--help") {
      return CommandLineResult::kHelp;
    } else {
      *message = "unknown argument " + argument;
      return CommandLineResult::kError;
    }
  }
  if (options->subagent && !options->listenAddresses.empty()) {
    *message = "--agent and --agentx exclude each other";
    return CommandLineResult::kError;
  }
  return CommandLineResult::kRun;
}

}  // namespace snmpsvc
