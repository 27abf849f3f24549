#include "agent/common/failure_report.h"

#include "win32/eventlog.h"

namespace wlcommon {

void reportEvent(const char* source, DWORD eventId, WORD eventType) {
  if (source == nullptr) return;
  HANDLE handle = RegisterEventSourceA(nullptr, source);
  if (handle == nullptr) return;
  ReportEventA(handle, eventType, 0, eventId, nullptr, 0, 0, nullptr, nullptr);
  DeregisterEventSource(handle);
}

void reportThreadNotCreated(const ThreadFailureReport& report) {
  if (report.trace != nullptr && report.traceText != nullptr) {
    report.trace("%s", report.traceText);
  }
  if (report.console != nullptr && report.consoleText != nullptr) {
    report.console("%s", report.consoleText);
  }
  if (report.eventSource != nullptr)
    reportEvent(report.eventSource, report.eventId, kEventTypeError);
}

}  // namespace wlcommon
