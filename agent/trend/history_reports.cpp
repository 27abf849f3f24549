// Reports of history file failures and removals; re-creation of the controls
// whose files were removed.
#include "agent/trend/history_reports.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "agent/trend/configuration.h"
#include "agent/common/counter_classes.h"
#include "agent/trend/agent_state.h"
#include "agent/trend/output.h"
#include "win32/windows.h"

namespace trend {

namespace {

// Header fields read here (the layout is history_file.cpp's).
constexpr DWORD kOffControlIndex = 12;
constexpr DWORD kOffClassId = 20;
constexpr DWORD kOffInstanceName = 24;
constexpr DWORD kOffInstanceNameLength = 292;
constexpr DWORD kOffIntervalIndex = 296;

struct RemovedControl {
  DWORD classId = 0;
  DWORD intervalIndex = 0;
  std::string instance;
};

std::vector<RemovedControl> removedControls;
// (control, kind) pairs already in the event log.
std::set<std::pair<DWORD, int>> reportedFailures;

DWORD headerWord(const BYTE* header, DWORD offset) {
  return static_cast<DWORD>(header[offset]) | static_cast<DWORD>(header[offset + 1]) << 8 |
         static_cast<DWORD>(header[offset + 2]) << 16 |
         static_cast<DWORD>(header[offset + 3]) << 24;
}

void reportEventStrings(DWORD eventId, WORD type, std::vector<const char*> strings) {
  HANDLE source = RegisterEventSourceA(nullptr, "VO DEDAZ");
  if (source == nullptr) return;
  ReportEventA(source, type, 0, eventId, nullptr, static_cast<WORD>(strings.size()), 0,
               strings.data(), nullptr);
  DeregisterEventSource(source);
}

const char* failureVerb(HistoryFailure kind) {
  switch (kind) {
    case HistoryFailure::kWrite:
      return "write";
    case HistoryFailure::kRead:
      return "read";
    case HistoryFailure::kCreate:
      return "create";
  }
  return "use";
}

}  // namespace

void forgetReportedHistoryFailures() { reportedFailures.clear(); }

void reportHistoryFailure(DWORD controlIndex, HistoryFailure kind, const std::string& path) {
  const char* verb = failureVerb(kind);
  traceLog("ntrend Error: unable to %s the history file %s of control %lu.\n", verb, path.c_str(),
           static_cast<unsigned long>(controlIndex));
  if (!reportedFailures.insert({controlIndex, static_cast<int>(kind)}).second) return;
  const std::string control = std::to_string(controlIndex);
  reportEventStrings(kEventHistoryFileFailed, kEventTypeError,
                     {verb, path.c_str(), control.c_str()});
}

void noteRemovedHistoryFile(const std::string& path, const BYTE* header, const char* reason) {
  if (header == nullptr) {
    traceLog("ntrend: removed history file %s (%s); its control is unknown\n", path.c_str(),
             reason);
    reportEventStrings(kEventHistoryFileRemoved, EVENTLOG_WARNING_TYPE,
                       {path.c_str(), "unknown", "unknown", reason});
    return;
  }
  RemovedControl removed;
  removed.classId = headerWord(header, kOffClassId);
  removed.intervalIndex = headerWord(header, kOffIntervalIndex);
  DWORD length = headerWord(header, kOffInstanceNameLength);
  if (length > static_cast<DWORD>(kMaxInstanceNameLength)) length = kMaxInstanceNameLength;
  const char* name = reinterpret_cast<const char*>(header + kOffInstanceName);
  removed.instance.assign(name, strnlen(name, length));
  const char* className =
      removed.classId >= 1 && removed.classId <= kNumClasses ? perfwalk::counterClass(static_cast<int>(removed.classId))->className
          : "";
  const std::string classText = std::to_string(removed.classId) + " " + className;
  traceLog("ntrend: removed history file %s (%s) of control %lu, class %s, instance \"%s\"\n",
           path.c_str(), reason, static_cast<unsigned long>(headerWord(header, kOffControlIndex)),
           classText.c_str(), removed.instance.c_str());
  reportEventStrings(kEventHistoryFileRemoved, EVENTLOG_WARNING_TYPE,
                     {path.c_str(), classText.c_str(), removed.instance.c_str(), reason});
  if (removed.classId >= 1 && removed.classId <= kNumClasses) removedControls.push_back(removed);
}

void recreateRemovedControls() {
  for (const RemovedControl& removed : removedControls) {
    for (const ControlConfig* line = configList; line != nullptr; line = line->next) {
      if (line->classId != removed.classId || line->intervalIndex != removed.intervalIndex)
        continue;
      // Numbered after the restored controls, inserted in order, with a new
      // file; a control that is already there (a duplicate) is not made.
      createInstanceControl(line, removed.instance.c_str());
    }
  }
  removedControls.clear();
}

void forgetRemovedHistoryFiles() { removedControls.clear(); }

}  // namespace trend
