#include "core/trace.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <utility>

namespace wl::trace {
namespace {

constexpr const char* kNames[] = {"reg", "eventlog", "files", "profile", "sync"};
static_assert(sizeof kNames / sizeof kNames[0] == static_cast<size_t>(Channel::kCount));

constexpr uint32_t kLoaded = 1u << 31;
constexpr uint32_t kNoticesOff = 1u << 30;
std::atomic<uint32_t> state{0};  // channel bits, kNoticesOff, kLoaded once read

std::mutex noticeMutex;
std::set<std::pair<const char*, const char*>>& NoticesShown() {
  static auto* shown = new std::set<std::pair<const char*, const char*>>;
  return *shown;
}

void WriteLine(const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(STDERR_FILENO, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

uint32_t Load() {
  uint32_t current = state.load(std::memory_order_acquire);
  if (current & kLoaded) return current;
  std::string unknown;
  const char* text = std::getenv("WL_DEBUG");
  const Selection selection = ParseSelection(text != nullptr ? text : "", &unknown);
  uint32_t value = selection.channels | kLoaded | (selection.notices ? 0 : kNoticesOff);
  uint32_t expected = current;
  if (state.compare_exchange_strong(expected, value, std::memory_order_acq_rel) &&
      !unknown.empty() && selection.notices) {
    std::string line = "wlplatform: WL_DEBUG: unknown channel " + unknown + " (known: all, none";
    for (const char* name : kNames) line += std::string(", ") + name;
    line += ")\n";
    WriteLine(line.data(), line.size());
  }
  return state.load(std::memory_order_acquire);
}

}  // namespace

const char* ChannelName(Channel channel) {
  const auto i = static_cast<size_t>(channel);
  return i < static_cast<size_t>(Channel::kCount) ? kNames[i] : "?";
}

Selection ParseSelection(std::string_view text, std::string* unknown) {
  Selection selection;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find_first_of(", \t", pos);
    const std::string_view word = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    if (word.empty()) continue;
    if (word == "all" || word == "*") {
      selection.channels = (1u << static_cast<unsigned>(Channel::kCount)) - 1;
      continue;
    }
    if (word == "none") {
      selection.channels = 0;
      selection.notices = false;
      continue;
    }
    bool known = false;
    for (size_t i = 0; i < static_cast<size_t>(Channel::kCount); ++i) {
      if (word == kNames[i]) {
        selection.channels |= 1u << i;
        known = true;
      }
    }
    if (!known && unknown != nullptr) {
      if (!unknown->empty()) unknown->push_back(',');
      unknown->append(word);
    }
  }
  return selection;
}

bool Enabled(Channel channel) { return (Load() & (1u << static_cast<unsigned>(channel))) != 0; }

void Write(Channel channel, const char* format, ...) {
  char line[1024];
  int prefix = std::snprintf(line, sizeof line, "wlplatform[%s] ", ChannelName(channel));
  if (prefix < 0) return;
  va_list args;
  va_start(args, format);
  int body = std::vsnprintf(line + prefix, sizeof line - prefix - 1, format, args);
  va_end(args);
  if (body < 0) return;
  size_t length = static_cast<size_t>(prefix) + static_cast<size_t>(body);
  if (length > sizeof line - 2) length = sizeof line - 2;  // cut long lines
  line[length++] = '\n';
  WriteLine(line, length);
}

void Unsupported(const char* function, const char* argument) {
  if (Load() & kNoticesOff) return;
  {
    std::lock_guard<std::mutex> lock(noticeMutex);
    if (!NoticesShown().emplace(function, argument).second) return;
  }
  char line[256];
  int length = std::snprintf(line, sizeof line, "wlplatform: %s: %s not supported; ignored\n",
                             function, argument);
  if (length > 0) WriteLine(line, std::min(static_cast<size_t>(length), sizeof line - 1));
}

void ReloadForTesting() {
  state.store(0, std::memory_order_release);
  std::lock_guard<std::mutex> lock(noticeMutex);
  NoticesShown().clear();
}

}  // namespace wl::trace
