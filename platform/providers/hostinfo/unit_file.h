// Parser of systemd unit files (systemd.unit(5)): the description and the
// first command line of a service.
// Thread safety: pure function.
#pragma once

#include <string>
#include <string_view>

namespace wl::host {

struct UnitInfo {
  std::string description;  // [Unit] Description=
  std::string execStart;    // [Service] the first ExecStart= that stays, prefixes removed
};

// Continuation lines (a trailing backslash) are joined; "ExecStart=" with no
// value clears what came before; comments and other keys are passed over.
UnitInfo ParseUnitFile(std::string_view text);

// The program of a command line: its first word, without quotes.
std::string CommandProgram(std::string_view command);

}  // namespace wl::host
