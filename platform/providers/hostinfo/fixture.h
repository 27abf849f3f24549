// The provider fixture: a JSON file named by WARDENLINE_PROVIDERS whose
// members, named after provider calls, replace those calls' answers (records,
// or a failure result). docs/hostres-providers.md gives the format.
// Thread safety: every function may be called from any thread.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "schema.h"

namespace wl::host {

inline constexpr size_t kMaxProviderFixtureBytes = 64u << 20;
inline constexpr size_t kMaxProviderFixtureDepth = 16;

using FixtureAnswers = std::map<std::string, Answer, std::less<>>;

// Parses a fixture text. On failure false, with `error` naming the member
// (for example `W32GetStorage[2].size: must be an integer from 0 to 4294967295`).
bool ParseProviderFixture(std::string_view text, FixtureAnswers* answers, std::string* error);

// The fixture text of a set of answers, in call order.
std::string WriteProviderFixture(const FixtureAnswers& answers);

// How a call is to be answered under the fixture in use.
struct FixtureLookup {
  bool active = false;     // WARDENLINE_PROVIDERS names a file
  bool malformed = false;  // ...which cannot be read or parsed: the call fails
  // The call's answer when the fixture lists it (null otherwise), inside the
  // parsed fixture that `answers` keeps alive for as long as the lookup lives.
  const Answer* answer = nullptr;
  std::shared_ptr<const FixtureAnswers> answers;
};

// Reads WARDENLINE_PROVIDERS (the file is re-read on every call, parsed again
// when its bytes change). A file that cannot be read or parsed is reported on
// standard error once per change, naming the file and the member at fault.
FixtureLookup LookUpFixture(std::string_view call);

}  // namespace wl::host
