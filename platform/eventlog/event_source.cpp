// RegisterEventSourceA, ReportEventA, DeregisterEventSource. A report stores
// one record (see event_store.h) with its message resolved at once from the
// source's message file, and sends a line to syslog (facility user) unless
// $WARDENLINE_EVENTLOG_SYSLOG is "0".
#include <syslog.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/kernel_object.h"
#include "core/trace.h"
#include "event_store.h"
#include "win32/eventlog.h"
#include "win32/memory.h"
#include "win32/registry.h"
#include "win32/resources.h"
#include "win32/timeapi.h"

namespace {

constexpr WORD kMaxStrings = 256;
constexpr const char* kSourcesKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

class EventSource : public wl::KernelObject {
 public:
  explicit EventSource(std::string name) : name_(std::move(name)) {}
  bool TryAcquire() override { return false; }
  bool Waitable() const override { return false; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

// Replaces %NAME% by the environment variable NAME where it is set.
std::string ExpandEnvironment(const std::string& text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      out += text.substr(pos);
      break;
    }
    const std::string name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : getenv(name.c_str());
    out += text.substr(pos, open - pos);
    out += value != nullptr ? std::string(value) : text.substr(open, close - open + 1);
    pos = close + 1;
  }
  return out;
}

// The source's message files (the value may list several, separated by ';').
std::vector<std::string> MessageFiles(const std::string& source) {
  std::vector<std::string> files;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kSourcesKey + source).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return files;
  }
  DWORD type = 0, size = 0;
  std::string value;
  if (RegQueryValueExA(key, "EventMessageFile", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    value.resize(size);
    if (RegQueryValueExA(key, "EventMessageFile", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS) {
      value.clear();
    }
    value.resize(strnlen(value.c_str(), value.size()));
  }
  RegCloseKey(key);
  if (type == REG_EXPAND_SZ) value = ExpandEnvironment(value);
  size_t start = 0;
  while (start < value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string::npos) end = value.size();
    if (end > start) files.push_back(value.substr(start, end - start));
    start = end + 1;
  }
  return files;
}

// The message text of `eventId` with the insertion strings, or "" when no
// message file of the source has it. Inserts beyond the strings given are
// shown as written ("%3"), as event viewers do.
std::string ResolveMessage(const std::string& source, DWORD eventId,
                           const std::vector<std::string>& strings) {
  std::vector<std::string> missing;
  std::vector<DWORD_PTR> args;
  for (int n = 1; n <= 99; ++n) missing.push_back("%" + std::to_string(n));
  for (int n = 1; n <= 99; ++n) {
    const std::string& text =
        static_cast<size_t>(n) <= strings.size() ? strings[n - 1] : missing[n - 1];
    args.push_back(reinterpret_cast<DWORD_PTR>(text.c_str()));
  }
  for (const std::string& file : MessageFiles(source)) {
    HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) continue;
    std::string message;
    for (DWORD id : {eventId, eventId & 0xFFFFu}) {
      char* text = nullptr;
      const DWORD length =
          FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                             FORMAT_MESSAGE_ARGUMENT_ARRAY,
                         module, id, 0, reinterpret_cast<LPSTR>(&text), 0,
                         reinterpret_cast<va_list*>(args.data()));
      if (length > 0 && text != nullptr) message.assign(text, length);
      if (text != nullptr) LocalFree(text);
      if (length > 0) break;
    }
    FreeLibrary(module);
    if (!message.empty()) return message;
  }
  return std::string();
}

int SyslogPriority(WORD type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE:
      return LOG_ERR;
    case EVENTLOG_WARNING_TYPE:
    case EVENTLOG_AUDIT_FAILURE:
      return LOG_WARNING;
    case EVENTLOG_AUDIT_SUCCESS:
      return LOG_NOTICE;
    default:
      return LOG_INFO;
  }
}

void SendToSyslog(const wl::eventlog::EventRecord& record) {
  const char* setting = getenv("WARDENLINE_EVENTLOG_SYSLOG");
  if (setting != nullptr && strcmp(setting, "0") == 0) return;
  std::string text = record.message.empty() ? std::string("(no message text)") : record.message;
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  syslog(LOG_USER | SyslogPriority(record.type), "%s[%u]: %s", record.source.c_str(),
         static_cast<unsigned>(record.eventId & 0xFFFFu), text.c_str());
}

}  // namespace

extern "C" {

HANDLE RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
  // Only the local computer's log exists here.
  if ((lpUNCServerName != nullptr && *lpUNCServerName != '\0') || lpSourceName == nullptr ||
      *lpSourceName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return wl::RegisterHandle(std::make_shared<EventSource>(lpSourceName));
}

BOOL ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid,
                  WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings, LPVOID lpRawData) {
  if (lpUserSid != nullptr) wl::trace::Unsupported("ReportEventA", "lpUserSid");
  WL_TRACE(kEventLog, "ReportEventA type %u category %u id %lu, %u string(s), %lu byte(s) of data",
           wType, wCategory, static_cast<unsigned long>(dwEventID), wNumStrings,
           static_cast<unsigned long>(dwDataSize));
  auto source = wl::LookupHandleAs<EventSource>(hEventLog);
  if (source == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (wNumStrings > kMaxStrings || (wNumStrings > 0 && lpStrings == nullptr) ||
      (dwDataSize > 0 && lpRawData == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  wl::eventlog::EventRecord record;
  for (WORD i = 0; i < wNumStrings; ++i) {
    if (lpStrings[i] == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    record.strings.push_back(lpStrings[i]);
  }
  record.time = static_cast<int64_t>(wl_time(nullptr));
  record.source = source->Name();
  record.type = wType;
  record.category = wCategory;
  record.eventId = dwEventID;
  if (dwDataSize > 0) record.data.assign(static_cast<const char*>(lpRawData), dwDataSize);
  record.message = ResolveMessage(record.source, dwEventID, record.strings);
  SendToSyslog(record);
  const DWORD error = wl::eventlog::AppendRecord(record);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL DeregisterEventSource(HANDLE hEventLog) {
  if (wl::LookupHandleAs<EventSource>(hEventLog) == nullptr || !wl::UnregisterHandle(hEventLog)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
