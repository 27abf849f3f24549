// Program Manager's execute commands over the desktop menu files. Internal to
// the platform library (see win32/dde.h for the layout); one thread.
#pragma once

#include <string>
#include <vector>

namespace wl::dde {

struct ProgmanCommand {
  std::string name;  // as written
  std::vector<std::string> arguments;
};

// Parses "[Cmd(arg,...)][Cmd2]...": false with nothing in *commands for a
// malformed string or an unknown command.
bool ParseCommands(const std::string& text, std::vector<ProgmanCommand>* commands);

// Carries out the commands in order; false at the first that fails.
bool RunCommands(const std::vector<ProgmanCommand>& commands);

// File id of a group or item name: letters and digits in lower case, '-'
// for runs of anything else (at most 32), '-', 8 hex digits of a hash of the
// exact bytes of the name.
std::string NameId(const std::string& name);

}  // namespace wl::dde
