// How `wlevent` reads its options and shows records: pure functions, so that
// the tests check them without a store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "eventlog/event_store.h"

namespace wl::eventview {

// "--since" accepts seconds since 1970, or a local date "YYYY-MM-DD" with an
// optional time "THH:MM[:SS]" or " HH:MM[:SS]". False for anything else.
bool ParseSince(const std::string& text, int64_t* seconds);

// "Error", "Warning", "Information", "Success", "Audit Success",
// "Audit Failure", or "Type N".
std::string TypeWord(unsigned type);

// One line: local time, type word, source, event id (low 16 bits, as event
// viewers show it), message on one line (or the insertion strings when no
// message text was found).
std::string FormatLine(const eventlog::EventRecord& record);

// The records as a JSON array (one object per record).
std::string FormatJson(const std::vector<eventlog::EventRecord>& records);

}  // namespace wl::eventview
