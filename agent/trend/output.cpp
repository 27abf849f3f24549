// The four output channels of the trend agent: trace log, console, quiet
// console and event log.
#include "agent/trend/output.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "agent/common/install_root.h"
#include "agent/trend/trend_directory.h"

namespace trend {

wlcommon::LogFile traceLogFile;

namespace {

constexpr const char* kEventSource = "VO DEDAZ";

// Console messages are formatted into a buffer of this size (terminator
// included); longer text is cut.
constexpr size_t kConsoleBufferBytes = 200;

// The quiet console is switched off at build time: it never prints.
constexpr bool kQuietSwitchOn = true;

// Keeps the standard-output and file copies of concurrent messages whole.
std::mutex& outputMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string formatUnbounded(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(needed) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<size_t>(needed));
}

void writeConsole(const char* format, va_list args) {
  char buffer[kConsoleBufferBytes];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  std::lock_guard<std::mutex> lock(outputMutex());
  std::fputs(buffer, stdout);
  std::fflush(stdout);
}

}  // namespace

void traceLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = formatUnbounded(format, args);
  va_end(args);

  std::lock_guard<std::mutex> lock(outputMutex());
  traceLogFile.write(text.data(), text.size());
}

void openTraceLog() {
  std::string root;
  const bool haveRoot = wlcommon::readInstallPath(wlcommon::kInstallRootBytes, &root) == 0;
  std::lock_guard<std::mutex> lock(outputMutex());
  if (haveRoot) {
    // The log of another agent over the same history files is left as it is;
    // this agent's few lines (why it does not start) are added to it.
    traceLogFile.open(root.c_str(), "CURVEMIB.LOG", !trendDirectoryHeldElsewhere());
  } else {
    traceLogFile.close();
  }
}

void consoleMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  writeConsole(format, args);
  va_end(args);
}

void quietMessage(const char* format, ...) {
  if (kQuietSwitchOn) return;
  va_list args;
  va_start(args, format);
  writeConsole(format, args);
  va_end(args);
}

void reportEvent(DWORD eventId, WORD eventType) {
  wlcommon::reportEvent(kEventSource, eventId, eventType);
}

void reportThreadFailure() {
  static const wlcommon::ThreadFailureReport kReport = {
      traceLog,       "nTrend Error: unable to create thread.\n",
      consoleMessage, "Unable to create thread from the operating system.\r\n",
      kEventSource,   kEventThreadFailed};
  wlcommon::reportThreadNotCreated(kReport);
}

}  // namespace trend
