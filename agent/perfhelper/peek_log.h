// The helper's log "PERFPEEK.LOG" under the install root's "LOGFILES": each
// message goes to standard output, then is appended to the file (opened and
// closed per message). Without an install root only standard output is used.
// Thread safety: messages are written while holding the helper's semaphore or
// during load and unload.
#pragma once

#include "agent/common/log_file.h"

namespace perfpeek {

// The helper's log file (plain storage: nothing to free at unload).
extern wlcommon::LogFile peekLogFile;

// Reads the install root (150 bytes at most) and uses its
// "LOGFILES\PERFPEEK.LOG" from now on, emptying it; without an install root
// the log has no file.
void openPeekLog();

// Formats into at most 1,023 characters and writes to the log.
void peekLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace perfpeek
