// The trend agent's lifecycle: its entry into start-up and shut-down, the
// start-up thread, and the bodies of the three entry points (entry.cpp only
// forwards to them).
//
// Thread safety: see agent_state.h for the locks; extensionQuery and
// extensionTrap take controlSemaphore themselves.
#pragma once

#include <string>

#include "agent/trend/agent_state.h"
#include "agent/trend/output.h"
#include "snmp/snmp.h"
#include "win32/types.h"

namespace trend {

// True between a successful ntrend_Init and the next ntrend_Exit.
extern bool initialized;

// The supported view, 1.3.6.1.4.1.64823.2.45.
extern UINT supportedViewIds[9];

// The start-up sequence: 0 success, 1 failure (already reported).
int ntrend_Init();
// The shut-down sequence. Its waits are bounded, so it ends even when a
// stopped thread kept a semaphore. Leaves both semaphore handles closed.
void ntrend_Exit();

// Creates controlSemaphore and bucketSemaphore, both unavailable, unless they
// exist already. True when both handles exist.
bool createAgentSemaphores();

// The bodies of the entry points (entry.cpp only forwards to them).
BOOL extensionInit(DWORD timeZero, HANDLE* trapEventOut, AsnObjectIdentifier* supportedView);
BOOL extensionQuery(BYTE requestType, SnmpVarBindList* list, AsnInteger32* errorStatus,
                    AsnInteger32* errorIndex);
// SnmpExtensionQueryEx: get, get-next and the set's commit as extensionQuery
// serves them (the set is checked and applied at its commit; test, undo and
// clean-up succeed without effect), and SNMP_EXTENSION_GET_BULK as rounds of
// getNext within one hold of controlSemaphore. Other types: genErr.
BOOL extensionQueryEx(UINT requestType, SnmpVarBindList* list, AsnInteger32* errorStatus,
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
