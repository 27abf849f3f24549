// Traces of the platform layer, and notices of arguments it does not support.
// Internal to the platform library.
//
// Traces: each area writes to its own channel; the environment variable
// WL_DEBUG names the channels to show, separated by commas or blanks
// (WL_DEBUG=reg,sync,files), or "all". Shown lines go to standard error as
// "wlplatform[<channel>] <text>". WL_DEBUG is read once, at the first trace.
//
// Notices: where a caller passes an argument that the stand-in does not
// honour (a security descriptor, a flag it does not implement), the function
// goes on as documented for the stand-in and writes one line
// "wlplatform: <function>: <argument> not supported; ignored" to standard
// error, once per function and argument in a process, whatever WL_DEBUG says
// (WL_DEBUG=none hides them).
//
// Thread safety: all functions may be called from any thread; each line is
// written with one write(2).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wl::trace {

enum class Channel : uint8_t { kReg, kEventLog, kFiles, kProfile, kSync, kCount };

// The channel's name in WL_DEBUG ("reg", "eventlog", "files", "profile",
// "sync").
const char* ChannelName(Channel channel);

// What a WL_DEBUG value selects: a bit per channel (bit i for Channel i), and
// whether notices are shown. Unknown names are collected, comma-separated,
// in *unknown (may be null).
struct Selection {
  uint32_t channels = 0;
  bool notices = true;
};
Selection ParseSelection(std::string_view text, std::string* unknown);

bool Enabled(Channel channel);

// Writes one line on `channel` when it is enabled (printf format).
void Write(Channel channel, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reports, once per (function, argument), that `argument` of `function` is not
// supported. Both must be string literals (they are kept by address).
void Unsupported(const char* function, const char* argument);

// Re-reads WL_DEBUG and forgets which notices were shown; for tests.
void ReloadForTesting();

}  // namespace wl::trace

// Formats only when the channel is on.
#define WL_TRACE(channel, ...)                                        \
  do {                                                                \
    if (::wl::trace::Enabled(::wl::trace::Channel::channel)) {        \
      ::wl::trace::Write(::wl::trace::Channel::channel, __VA_ARGS__); \
    }                                                                 \
  } while (0)
