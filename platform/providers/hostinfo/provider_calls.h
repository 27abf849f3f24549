// The common frame of every provider call: the handle check, the fixture
// (which, when it lists the call, answers instead of the machine), the hand-
// out of records and the rule that no exception leaves a provider.
// Thread safety: as ProviderState.
#pragma once

#include <cstring>

#include "fixture.h"
#include "host_root.h"
#include "provider_state.h"
#include "win32/types.h"

namespace wl::host {

// A list call. `live(host)` returns the records of the machine.
template <typename Record, typename Live>
int ListCall(ProviderState& state, const char* name, WORD handle, Record** records, Live live) {
  if (!records) return -1;
  *records = nullptr;
  if (!state.IsRegistered(handle)) return -1;
  try {
    const FixtureLookup lookup = LookUpFixture(name);
    if (lookup.malformed) return -1;
    Answer liveAnswer;
    const Answer* answer = lookup.answer;
    if (!answer) {
      liveAnswer = ListAnswer(live(Host::FromEnvironment()));
      answer = &liveAnswer;
    }
    void* block = nullptr;
    const int result = state.HandOut(*answer, sizeof(Record), &block);
    *records = static_cast<Record*>(block);
    return result;
  } catch (...) {
    return -1;
  }
}

// A single-value call. `live(host, &answer)` fills the answer of the machine
// and returns 0 or a Win32 error code.
template <typename Value, typename Live>
int ValueCall(ProviderState& state, const char* name, WORD handle, Value* value, Live live) {
  if (!value) return ERROR_INVALID_PARAMETER;
  if (!state.IsRegistered(handle)) return ERROR_INVALID_HANDLE;
  try {
    const FixtureLookup lookup = LookUpFixture(name);
    if (lookup.malformed) return ERROR_INVALID_DATA;
    Value answer{};
    if (lookup.answer) {
      if (lookup.answer->result != 0) return lookup.answer->result;
      if (lookup.answer->records.empty() || lookup.answer->records[0].size() != sizeof(Value)) {
        return ERROR_INVALID_DATA;
      }
      std::memcpy(&answer, lookup.answer->records[0].data(), sizeof(Value));
    } else {
      const int result = live(Host::FromEnvironment(), &answer);
      if (result != 0) return result;
    }
    *value = answer;
    return 0;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace wl::host
