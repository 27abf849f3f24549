// What the agent says when its history files fail it, and what it does about
// files it had to remove at start-up.
//
// Failed writes and reads of a history file go to the trace log every time
// and to the event log once per control and kind of failure (event 1011). A
// file removed at start-up as damaged, or as a second file of a control that
// is already restored, is reported in the trace log and the event log (event
// 1012) with the control's class and instance when its header tells them;
// the control is then made again from its configuration line, if one
// matches, with an empty history.
//
// Thread safety: with controlSemaphore held, or during start-up.
#pragma once

#include <string>

#include "agent/trend/control.h"

namespace trend {

enum class HistoryFailure { kWrite, kRead, kCreate };

// Forgets which failures are in the event log (each load reports anew).
void forgetReportedHistoryFailures();
// Reports a failed operation on the history file of a control.
void reportHistoryFailure(DWORD controlIndex, HistoryFailure kind, const std::string& path);

// Reports the removal of a history file. `header` is the file's 412-byte
// header when it could be read (class, interval and instance are taken from
// it and remembered for recreateRemovedControls), else null.
void noteRemovedHistoryFile(const std::string& path, const BYTE* header, const char* reason);

// Creates, from the configuration lines of the same class, the controls whose
// files were removed and that no restored control stands for; forgets the
// removed files. Call after the restored controls are numbered and indexed.
void recreateRemovedControls();
// Forgets the removed files (the controls come from the configuration anyway).
void forgetRemovedHistoryFiles();

}  // namespace trend
