// Reporting of failures every component shares: an event of the component's
// event source, and the report of a thread the system would not create.
//
// Thread safety: safe from any thread when the channels handed in are.
#pragma once

#include "win32/types.h"

namespace wlcommon {

// The event log's event types used by the agent.
constexpr WORD kEventTypeError = 1;
constexpr WORD kEventTypeInformation = 4;

// Writes one event without inserts under `source`; a source that cannot be
// registered (or a null one) writes nothing.
void reportEvent(const char* source, DWORD eventId, WORD eventType);

// printf-like output channel of a component.
using MessageChannel = void (*)(const char* format, ...);

// How one component tells that a thread could not be created: a line to its
// trace channel, a line to its console, and an event of its source. Every
// part may be null (then it is left out).
struct ThreadFailureReport {
  MessageChannel trace;
  const char* traceText;
  MessageChannel console;
  const char* consoleText;
  const char* eventSource;
  DWORD eventId;
};

// Writes the three parts in that order; the texts go out as they are (never
// as formats).
void reportThreadNotCreated(const ThreadFailureReport& report);

}  // namespace wlcommon
