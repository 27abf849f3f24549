// Agent-wide state of the trend agent, its output channels and its entry into
// start-up and shut-down. The three SNMP entry points are in entry.cpp.
//
// Thread safety: controlSemaphore guards every list, ring, history file and
// cache page; bucketSemaphore serialises an interval change against shut-down.
// Lock order: controlSemaphore first. The output channels may be called from
// any thread.
#pragma once

#include <string>

#include "win32/types.h"

namespace trend {

extern DWORD timeZeroReference;
extern HANDLE trapEvent;
extern HANDLE controlSemaphore;  // "NTREND SEMAPHORE"
extern HANDLE bucketSemaphore;   // "NTREND BUCKET SEMAPHORE"
extern std::string installPath;  // no trailing backslash
extern std::string logFilePath;  // empty when the install path is unknown
extern LONG initialized;

// The supported view, 1.3.6.1.4.1.64823.2.45.
extern UINT supportedViewIds[9];

// Event identifiers and types of the message table.
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
};
constexpr WORD kEventTypeError = 1;
constexpr WORD kEventTypeInformation = 4;

// Output channels.
void traceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void consoleMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void quietMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportEvent(DWORD eventId, WORD eventType);

// 0 and the install root, or a registry error code.
LONG readInstallPath(std::string* path);
void openTraceLog();
int ntrend_Init();
void ntrend_Exit();

}  // namespace trend
