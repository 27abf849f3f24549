#include "service_log.h"

#include <stdarg.h>
#include <stdio.h>
#include <syslog.h>

#include <mutex>

namespace snmpsvc {

namespace {
bool toStderr = true;
std::mutex logMutex;

void Write(int priority, const char* format, va_list args) {
  char line[2048];
  vsnprintf(line, sizeof line, format, args);
  if (toStderr) {
    std::lock_guard<std::mutex> lock(logMutex);
    fprintf(stderr, "snmpsvc: %s\n", line);
    fflush(stderr);
  } else {
    syslog(priority, "%s", line);
  }
}
}  // namespace

void OpenServiceLog(bool foreground) {
  toStderr = foreground;
  if (!foreground) openlog("snmpsvc", LOG_PID, LOG_DAEMON);
}

void LogInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(LOG_INFO, format, args);
  va_end(args);
}

void LogError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(LOG_ERR, format, args);
  va_end(args);
}

}  // namespace snmpsvc
