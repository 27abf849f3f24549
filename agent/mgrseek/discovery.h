// The discovery service: the console list filled by the listener thread, the
// updater thread that merges it into the trap destinations, and the service
// main and control handler around them.
//
// State is global, as the service has one instance per process. The semaphore
// "FIND Wardenline SEMAPHORE" guards `receivedList` and serializes update
// passes; `workingList` and `exclusionList` belong to the updater (and to the
// stop, after the threads have ended). Every message goes to standard output.
#pragma once

#include <cstddef>
#include <cstdint>

#include "agent/mgrseek/manager_entry.h"
#include "win32/types.h"

namespace mgrseek {

constexpr const char* kServiceName = "MGRSEEK";
constexpr const char* kSemaphoreName = "FIND Wardenline SEMAPHORE";
constexpr uint16_t kSapSocket = 0x0452;
constexpr uint8_t kSapPacketType = 4;
constexpr int kReceiveBufferSize = 2000;
// Consoles heard beyond this many are ignored (and the fact logged once), so
// that a flood of advertisements cannot grow the list or the key for ever.
constexpr size_t kMaxConsolesHeard = 1000;
constexpr DWORD kDefaultUpdatePeriodMs = 60000;

extern ManagerEntry* receivedList;
extern ManagerEntry* exclusionList;
extern ManagerEntry* workingList;
extern HANDLE listSemaphore;

// Milliseconds between two update passes (set before the start).
void setUpdatePeriod(DWORD milliseconds);

// The listener's work on one received datagram: every console entry is
// printed and, when its name is usable, added to `receivedList` once.
void acceptDatagram(const uint8_t* data, size_t size);

// One update pass: merges `receivedList` into the key's destinations, takes the
// exclusions out and rewrites the key when anything changed, all in one
// registry transaction. Returns whether the key was rewritten.
bool updatePass();

// Service main and control handler, for the dispatcher's table.
void WINAPI serviceMain(DWORD argc, LPSTR* argv);
void WINAPI controlHandler(DWORD control);

// Frees every list (tests).
void resetForTesting();

}  // namespace mgrseek
