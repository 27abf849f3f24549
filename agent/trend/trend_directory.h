// The trend directory as a place this agent may use: it must be a directory,
// and it is locked for the agent's life through the file "CURVEMIB.LCK" in
// it, so that a second agent over the same history files refuses to start
// instead of corrupting them.
//
// Thread safety: start-up and shut-down only.
#pragma once

#include "win32/types.h"

namespace trend {

// True when trendDirectory names an existing directory (not a file).
bool trendDirectoryIsDirectory();

// Takes the lock. 0 taken; 1 the lock file cannot be made (the directory is
// not usable; reported like a missing directory); 2 another agent holds it
// (trace log, console and event 1010). Taking it again while held is 0.
int lockTrendDirectory();
// True when another agent holds the lock of the trend directory this
// installation's configuration names (install root and trendDirectory are
// read for it). Used before the trace log is emptied: that log is the other
// agent's too.
bool trendDirectoryHeldElsewhere();
// Lets the lock go (the lock file stays). Safe when not held.
void unlockTrendDirectory();

// The reports of a trend directory that cannot be made or used: trace log
// with the system's error, event 1007 and the console line.
void reportUnusableTrendDirectory(DWORD error);

}  // namespace trend
