// The four output channels of the trend agent (trace log, console, quiet
// console, event log) and the identifiers of its message table.
//
// The trace log goes to standard output and to install root +
// "\LOGFILES\CURVEMIB.LOG" (opened and closed per message). Console messages
// are cut at 199 characters; the quiet console is switched off at build time.
// Events are written under the source "VO DEDAZ".
// Thread safety: every channel may be called from any thread; openTraceLog
// and the tests' traceLogFile.close() are serialised with the channels.
#pragma once

#include "agent/common/failure_report.h"
#include "agent/common/log_file.h"
#include "win32/types.h"

namespace trend {

// Event identifiers of the message table.
enum EventId : DWORD {
  kEventLoaded = 1001,
  kEventUnloaded = 1002,
  kEventInitFailed = 1003,
  kEventThreadFailed = 1004,
  kEventNoMemory = 1005,
  kEventInternalError = 1006,
  kEventNoTrendDirectory = 1007,
  kEventNoSemaphore = 1008,
  kEventNoIniFile = 1009,
  kEventTrendDirectoryInUse = 1010,  // another running agent holds the directory
  kEventHistoryFileFailed = 1011,
  kEventHistoryFileRemoved = 1012,
};
using wlcommon::kEventTypeError;
using wlcommon::kEventTypeInformation;

// The trace log's file; without one the trace goes to standard output only.
extern wlcommon::LogFile traceLogFile;

// Reads the install root and points the trace log at its
// "LOGFILES\CURVEMIB.LOG", emptying the file; without an install root the
// trace log has no file.
void openTraceLog();

void traceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void consoleMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void quietMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportEvent(DWORD eventId, WORD eventType);

// "nTrend Error: unable to create thread." to the trace log, the console's
// "Unable to create thread from the operating system." and event 1004.
void reportThreadFailure();

}  // namespace trend
