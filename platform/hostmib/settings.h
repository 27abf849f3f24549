// The agent's settings in the registry: HKLM
// "SOFTWARE\Tarvex\Wardenline\HostmibAgent\CurrentVersion", value
// "RefreshSeconds" (REG_DWORD): how old, in seconds, the rows of a table
// family may grow before a request rebuilds them. Absent: 5. A value of
// another type or above 86400 is not taken (5 and a reason).
#pragma once

#include <chrono>
#include <string>

namespace hostmib {

extern const char kAgentKey[];
constexpr unsigned kDefaultRefreshSeconds = 5;
constexpr unsigned kMaxRefreshSeconds = 86400;

// The refresh age; *problem gets a line to log when the value was refused.
std::chrono::seconds ReadRefreshAge(std::string* problem);

}  // namespace hostmib
