// Runs gnuplot as a child process and feeds it a script through a pipe. Its
// standard output and error are this process's (the dumb terminal draws on
// standard output).
#pragma once

#include <string>

namespace wltrend {

// The program started: WLTREND_GNUPLOT when set, else "gnuplot" from PATH.
// True when gnuplot read the whole script and exited with status 0; else
// false with `error` set.
bool runGnuplot(const std::string& script, std::string* error);

}  // namespace wltrend
