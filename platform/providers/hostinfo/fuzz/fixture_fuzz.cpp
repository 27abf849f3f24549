// The provider fixture reader on arbitrary text: it either accepts the text,
// whose answers then write and read back the same, or names a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  wl::host::FixtureAnswers answers;
  std::string error;
  if (!wl::host::ParseProviderFixture(text, &answers, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  wl::host::FixtureAnswers again;
  if (!wl::host::ParseProviderFixture(wl::host::WriteProviderFixture(answers), &again, &error)) {
    std::abort();
  }
  for (const auto& [name, answer] : answers) {
    const auto found = again.find(name);
    if (found == again.end() || found->second.result != answer.result) std::abort();
    const wl::host::CallSchema* call = wl::host::FindCall(name);
    for (const std::string& record : answer.records) {
      if (record.size() != call->recordSize) std::abort();
      (void)wl::host::FormatRecord(*call, record);
    }
  }
  return 0;
}
