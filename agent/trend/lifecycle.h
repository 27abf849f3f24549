// Agent-wide state of the trend agent, its output channels and its entry into
// start-up and shut-down. The three SNMP entry points are in entry.cpp.
//
// Thread safety: controlSemaphore guards every list, ring, history file and
// cache page; bucketSemaphore serialises an interval change against shut-down.
// Lock order: controlSemaphore first. The output channels may be called from
// any thread.
#pragma once

#include <string>

#include "snmp/snmp.h"
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
// The start-up sequence: 0 success, 1 failure (already reported).
int ntrend_Init();
// The shut-down sequence. Its waits are bounded, so it ends even when a
// stopped thread kept a semaphore. Leaves both semaphore handles closed.
void ntrend_Exit();

// Creates controlSemaphore and bucketSemaphore, both unavailable, unless they
// exist already. True when both handles exist.
bool createAgentSemaphores();

// The bodies of the three entry points (entry.cpp only forwards to them).
BOOL extensionInit(DWORD timeZero, HANDLE* trapEventOut, AsnObjectIdentifier* supportedView);
BOOL extensionQuery(BYTE requestType, SnmpVarBindList* list, AsnInteger32* errorStatus,
                    AsnInteger32* errorIndex);
BOOL extensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap,
                   AsnInteger32* specificTrap, AsnTimeticks* timeStamp,
                   SnmpVarBindList* varBindList);

// Trap time stamp in hundredths of a second: tickCount / 10 - timeZero,
// unsigned 32-bit (wraps with the tick count).
DWORD trapTimeStamp(DWORD tickCountMs, DWORD timeZero);

// Registered by the start-up thread on the library's exit list (run at dlclose
// and at process exit): ends the start-up thread (unless called on it), then
// runs ntrend_Exit.
void unloadAgent();

// The request handlers SnmpExtensionQuery dispatches to: the MIB's by
// default; tests may replace them.
struct QueryHandlers {
  BOOL (*get)(SnmpVarBindList*, AsnInteger32*, AsnInteger32*);
  BOOL (*getNext)(SnmpVarBindList*, AsnInteger32*, AsnInteger32*);
  BOOL (*setCheck)(SnmpVarBindList*, AsnInteger32*, AsnInteger32*);
  BOOL (*setCommit)(SnmpVarBindList*, AsnInteger32*, AsnInteger32*);
};
extern QueryHandlers queryHandlers;

}  // namespace trend
