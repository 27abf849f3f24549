#include "fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "host_root.h"
#include "wltext/json_depth.h"

namespace wl::host {
namespace {

using Json = FixtureJson;

struct Cache {
  std::mutex mutex;
  std::string path;
  bool haveText = false;
  std::string text;
  bool usable = false;
  std::string lastReport;
  std::shared_ptr<const FixtureAnswers> answers;
};

Cache& TheCache() {
  static Cache* cache = new Cache;  // outlives every caller, including exit handlers
  return *cache;
}

void Report(Cache& cache, const std::string& message) {
  if (message == cache.lastReport) return;
  cache.lastReport = message;
  std::fprintf(stderr, "wardenline: provider fixture \"%s\": %s\n", cache.path.c_str(),
               message.c_str());
}

}  // namespace

bool ParseProviderFixture(std::string_view text, FixtureAnswers* answers, std::string* error) {
  answers->clear();
  if (text.size() > kMaxProviderFixtureBytes) {
    *error = "larger than 64 MiB";
    return false;
  }
  if (wltext::JsonNestingDepth(text) > kMaxProviderFixtureDepth) {
    *error = "nested deeper than " + std::to_string(kMaxProviderFixtureDepth) + " levels";
    return false;
  }
  const Json document = Json::parse(text, nullptr, false);
  if (document.is_discarded()) {
    *error = "not valid JSON";
    return false;
  }
  if (!document.is_object()) {
    *error = "the document must be a JSON object";
    return false;
  }
  for (const auto& [name, value] : document.items()) {
    const CallSchema* call = FindCall(name);
    if (!call) {
      *error = name + ": is not a provider call";
      return false;
    }
    Answer answer;
    if (!AnswerFromJson(*call, value, &answer, error)) return false;
    answers->emplace(name, std::move(answer));
  }
  return true;
}

std::string WriteProviderFixture(const FixtureAnswers& answers) {
  std::string text = "{\n";
  bool first = true;
  for (const CallSchema& call : AllCalls()) {
    const auto found = answers.find(call.name);
    if (found == answers.end()) continue;
    text += first ? "" : ",\n";
    first = false;
    text += "  " + Json(call.name).dump() + ": ";
    const Json value = AnswerToJson(call, found->second);
    if (value.is_array()) {
      text += "[";
      for (size_t i = 0; i < value.size(); ++i) {
        text += (i ? ",\n    " : "\n    ") + value[i].dump(-1, ' ', false);
      }
      text += value.empty() ? "]" : "\n  ]";
    } else {
      text += value.dump(-1, ' ', false);
    }
  }
  return text + "\n}\n";
}

FixtureLookup LookUpFixture(std::string_view call) {
  FixtureLookup lookup;
  const char* env = std::getenv("WARDENLINE_PROVIDERS");
  if (!env || !*env) return lookup;
  lookup.active = true;
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (cache.path != env) {
    cache.path = env;
    cache.haveText = false;
    cache.lastReport.clear();
  }
  std::string text;
  if (!Host("/").Read(cache.path, &text, kMaxProviderFixtureBytes)) {
    Report(cache, "cannot be read");
    cache.haveText = false;
    lookup.malformed = true;
    return lookup;
  }
  if (!cache.haveText || text != cache.text) {
    auto answers = std::make_shared<FixtureAnswers>();
    std::string error;
    cache.usable = ParseProviderFixture(text, answers.get(), &error);
    if (cache.usable) {
      cache.lastReport.clear();
    } else {
      Report(cache, error);
    }
    cache.answers = std::move(answers);
    cache.text = std::move(text);
    cache.haveText = true;
  }
  if (!cache.usable) {
    lookup.malformed = true;
    return lookup;
  }
  const auto found = cache.answers->find(call);
  if (found != cache.answers->end()) {
    lookup.answers = cache.answers;
    lookup.answer = &found->second;
  }
  return lookup;
}

}  // namespace wl::host
