// Agent-wide state of the trend agent that the modules share: the two
// semaphores, the trap event, the install path and the SNMP time reference.
// The start-up sequence (lifecycle.h) sets them up and the shut-down sequence
// takes them down.
//
// Thread safety: controlSemaphore guards every list, ring, history file and
// cache page; bucketSemaphore serialises an interval change against
// shut-down. Lock order: controlSemaphore first. The values themselves are
// written only by start-up and shut-down.
#pragma once

#include <string>

#include "win32/types.h"

namespace trend {

extern DWORD timeZeroReference;
extern HANDLE trapEvent;
extern HANDLE controlSemaphore;  // "NTREND SEMAPHORE"
extern HANDLE bucketSemaphore;   // "NTREND BUCKET SEMAPHORE"
extern std::string installPath;  // no trailing backslash

}  // namespace trend
