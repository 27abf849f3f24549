#include "fixture_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace wl::perf {
namespace {

struct Cache {
  std::mutex mutex;
  std::string path;
  bool haveText = false;
  std::string text;
  std::string lastReport;
  std::shared_ptr<const FixtureState> state;
};

Cache& TheCache() {
  static Cache* cache = new Cache;  // lives until exit; used from other threads' exits
  return *cache;
}

// Reads the whole file; false with a reason on failure.
bool ReadWholeFile(const std::string& path, std::string* text, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  text->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    text->append(buffer, static_cast<size_t>(n));
    if (text->size() > kMaxFixtureBytes) {
      *error = "larger than 64 MiB";
      close(fd);
      return false;
    }
  }
  close(fd);
  return true;
}

void Report(Cache& cache, const std::string& message) {
  if (message == cache.lastReport) return;
  cache.lastReport = message;
  std::fprintf(stderr, "wardenline: performance data fixture %s\n", message.c_str());
}

}  // namespace

std::shared_ptr<const FixtureState> CurrentFixture() {
  const char* env = std::getenv("WARDENLINE_PERFDATA");
  if (!env || !*env) return nullptr;
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (cache.path != env) {
    cache.path = env;
    cache.haveText = false;
    cache.state.reset();
    cache.lastReport.clear();
  }
  std::string text;
  std::string error;
  if (!ReadWholeFile(cache.path, &text, &error)) {
    Report(cache, "\"" + cache.path + "\": cannot be read: " + error);
    cache.haveText = false;
    cache.state = std::make_shared<FixtureState>();
    return cache.state;
  }
  if (cache.haveText && cache.state && text == cache.text) return cache.state;
  auto state = std::make_shared<FixtureState>();
  if (ParseFixture(text, &state->fixture, &error)) {
    state->usable = true;
    state->names = MergeNames(BuiltinNames(), state->fixture.names);
    cache.lastReport.clear();
  } else {
    Report(cache, "\"" + cache.path + "\": " + error);
  }
  cache.text = std::move(text);
  cache.haveText = true;
  cache.state = std::move(state);
  return cache.state;
}

}  // namespace wl::perf
