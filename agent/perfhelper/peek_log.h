// The helper's log "PERFPEEK.LOG" under the install root's "LOGFILES": each
// message goes to standard output, then is appended to the file (opened and
// closed per message). Without an install root only standard output is used.
// Thread safety: messages are written while holding the helper's semaphore or
// during load and unload.
#pragma once

#include <string>

namespace perfpeek {

// Reads the install root (registry value "PathName" under HKLM
// "Software\Tarvex\Wardenline\CurrentVersion", at most 150 bytes with its
// terminator). False when it cannot be read.
bool readInstallRoot(std::string* root);

// Uses install root + "\LOGFILES\PERFPEEK.LOG" from now on and empties it; an
// empty root turns the file off.
void openPeekLog(const std::string& installRoot);
// The log file path in use (empty when none).
const char* peekLogPath();

void peekLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace perfpeek
