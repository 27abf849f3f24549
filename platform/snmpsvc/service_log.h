// The service's log: standard error in the foreground (-f), syslog (daemon
// facility, ident "snmpsvc") otherwise. Thread-safe.
#pragma once

namespace snmpsvc {

void OpenServiceLog(bool foreground);
void LogInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogError(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace snmpsvc
