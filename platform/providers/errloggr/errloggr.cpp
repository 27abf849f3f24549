// The error service: registrations, masks, the log file and event reports.
#include "providers/errloggr.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "win32/eventlog.h"
#include "win32/files.h"
#include "win32/memory.h"
#include "win32/registry.h"
#include "win32/resources.h"
#include "win32/sync.h"
#include "win32/timeapi.h"

namespace {

constexpr DWORD kVersion = 1;
constexpr DWORD kKnownOutputs = NTERROR_OUTPUT_EVENTLOG | NTERROR_OUTPUT_LOGFILE;
// Longest file or source name taken from a message table.
constexpr size_t kMaxNameChars = 128;
// Lines are cut to this when the caller gives no buffer.
constexpr DWORD kDefaultLineChars = 1024;

struct Session {
  DWORD outputs = 0;
  std::atomic<WORD> reportMask{0};
  std::atomic<WORD> debugMask{0};
  std::string logPath;  // Windows-style or host path, UTF-8
  HANDLE eventSource = nullptr;
  std::mutex fileMutex;

  ~Session() {
    if (eventSource != nullptr) DeregisterEventSource(eventSource);
  }
};

struct Registry {
  std::shared_mutex mutex;
  std::map<DWORD, std::shared_ptr<Session>> sessions;
  DWORD lastHandle = 0;
};

Registry& Sessions() {
  static auto* registry = new Registry;  // used until exit
  return *registry;
}

std::shared_ptr<Session> Find(DWORD handle) {
  if (handle == 0) return nullptr;
  Registry& registry = Sessions();
  std::shared_lock<std::shared_mutex> lock(registry.mutex);
  auto it = registry.sessions.find(handle);
  return it == registry.sessions.end() ? nullptr : it->second;
}

std::string ToUtf8(const WCHAR* text, size_t length) {
  if (length == 0) return std::string();
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), bytes, nullptr,
                      nullptr);
  return out;
}

// Message `id` of the module's table, up to its %0, without surrounding
// blanks; empty when absent. Sets *error on failure.
std::u16string ModuleMessage(HINSTANCE module, DWORD id, DWORD* error) {
  WCHAR buffer[kMaxNameChars + 8];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, id, 0,
                     buffer, static_cast<DWORD>(sizeof buffer / sizeof buffer[0]), nullptr);
  if (length == 0) {
    *error =
        GetLastError() == ERROR_INSUFFICIENT_BUFFER ? ERROR_INVALID_NAME : ERROR_MR_MID_NOT_FOUND;
    return std::u16string();
  }
  std::u16string text(buffer, length);
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  text.erase(0, start);
  if (text.empty()) *error = ERROR_INVALID_NAME;
  return text;
}

bool IsFileName(const std::u16string& name) {
  if (name.empty() || name.size() > kMaxNameChars || name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) {
      return false;
    }
  }
  return true;
}

bool IsSourceName(const std::u16string& name) {
  if (name.empty() || name.size() > kMaxNameChars) return false;
  for (char16_t c : name) {
    if (c < 0x20 || c == u'\\') return false;
  }
  return true;
}

// The install root's log directory, install root + "\LOGFILES" (the root
// read as every component reads it: PathName, at most 150 bytes); empty when
// there is none.
std::string InstallLogDirectory() {
  constexpr DWORD kInstallPathBytes = 150;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvex\\Wardenline\\CurrentVersion", 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return std::string();
  }
  char buffer[kInstallPathBytes + 1] = {};
  DWORD type = 0;
  DWORD size = kInstallPathBytes;
  const LONG status =
      RegQueryValueExA(key, "PathName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
  buffer[size < kInstallPathBytes ? size : kInstallPathBytes] = '\0';
  std::string root = buffer;
  if (root.empty()) return root;
  if (root.back() != '\\' && root.back() != '/') root += '\\';
  return root + "LOGFILES";
}

// One log line: local time, thread, text with its line breaks as "\n".
std::string LogLine(const std::string& text) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "%04u-%02u-%02u %02u:%02u:%02u.%03u %5lu ", now.wYear,
                now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                static_cast<unsigned long>(GetCurrentThreadId()));
  std::string line = prefix;
  line.reserve(line.size() + text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line.push_back(text[i] == '\r' ? '\n' : text[i]);
  }
  while (line.size() > 1 && line.back() == '\n') line.pop_back();
  line.push_back('\n');
  return line;
}

void WriteLine(Session& session, const std::string& text) {
  const std::string line = LogLine(text);
  std::lock_guard<std::mutex> lock(session.fileMutex);
  FILE* file = wl_fopen(session.logPath.c_str(), "a");
  if (file == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fclose(file);
}

void Report(Session& session, WORD eventType, WORD traceClass, DWORD eventId,
            const std::string& text) {
  std::string message = text;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  LPCSTR strings[1] = {message.c_str()};
  ReportEventA(session.eventSource, eventType, traceClass, eventId, nullptr, 1, 0, strings,
               nullptr);
}

// NTErrorInit's work; *handle is 0 on entry.
DWORD Register(DWORD outputs, HINSTANCE module, WORD reportMask, WORD debugMask,
               LPCWSTR logDirectory, DWORD* handle) {
  if ((outputs & ~kKnownOutputs) != 0) return ERROR_INVALID_PARAMETER;
  auto session = std::make_shared<Session>();
  session->outputs = outputs;
  session->reportMask = reportMask;
  session->debugMask = debugMask;
  DWORD error = ERROR_SUCCESS;

  if ((outputs & NTERROR_OUTPUT_LOGFILE) != 0) {
    size_t length = 0;
    while (logDirectory != nullptr && length <= MAX_PATH && logDirectory[length] != 0) ++length;
    if (length > MAX_PATH) return ERROR_INVALID_PARAMETER;
    const std::u16string name = ModuleMessage(module, 1, &error);
    if (error != ERROR_SUCCESS) return error;
    if (!IsFileName(name)) return ERROR_INVALID_NAME;
    // No directory given: the install root's.
    std::string directory = length > 0 ? ToUtf8(logDirectory, length) : InstallLogDirectory();
    if (directory.empty()) return length > 0 ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND;
    if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return ERROR_PATH_NOT_FOUND;
    }
    const char last = directory.back();
    if (last != '\\' && last != '/') {
      directory += directory.find('\\') != std::string::npos ? "\\" : "/";
    }
    session->logPath = directory + ToUtf8(name.data(), name.size()) + ".LOG";
  }
  if ((outputs & NTERROR_OUTPUT_EVENTLOG) != 0) {
    const std::u16string source = ModuleMessage(module, 2, &error);
    if (error != ERROR_SUCCESS) return error;
    if (!IsSourceName(source)) return ERROR_INVALID_NAME;
    session->eventSource =
        RegisterEventSourceA(nullptr, ToUtf8(source.data(), source.size()).c_str());
    if (session->eventSource == nullptr) return GetLastError();
  }

  Registry& registry = Sessions();
  std::unique_lock<std::shared_mutex> lock(registry.mutex);
  do {
    ++registry.lastHandle;  // never 0, never one in use
  } while (registry.lastHandle == 0 || registry.sessions.count(registry.lastHandle) != 0);
  registry.sessions[registry.lastHandle] = std::move(session);
  *handle = registry.lastHandle;
  return ERROR_SUCCESS;
}

// Formats and writes one call's text (see NTErrorLogFormatPtr).
void Write(Session& session, bool trace, bool report, WORD eventType, WORD traceClass,
           DWORD eventId, LPWSTR buffer, DWORD bufferChars, LPCWSTR format, va_list* args) {
  LPWSTR text = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, format,
                                0, 0, reinterpret_cast<LPWSTR>(&text), 0, args);
  if (length == 0) {
    // A template its inserts do not fit: written as it stands.
    if (text != nullptr) LocalFree(text);
    text = nullptr;
    length = FormatMessageW(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        format, 0, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  }
  const DWORD limit =
      buffer != nullptr && bufferChars > 0 ? bufferChars - 1 : kDefaultLineChars - 1;
  if (length > limit) length = limit;
  if (buffer != nullptr && bufferChars > 0) {
    if (length > 0) std::memcpy(buffer, text, length * sizeof(WCHAR));
    buffer[length] = 0;
  }
  std::string utf8;
  try {
    utf8 = ToUtf8(text, length);
  } catch (...) {
    if (text != nullptr) LocalFree(text);
    throw;
  }
  if (text != nullptr) LocalFree(text);
  if (trace) WriteLine(session, utf8);
  if (report) Report(session, eventType, traceClass, eventId, utf8);
}

}  // namespace

extern "C" {

DWORD ERRLOGGR_GetSupportedVersions(DWORD* reserved) {
  if (reserved != nullptr) *reserved = 0;
  return kVersion;
}

DWORD NTErrorInit(DWORD outputs, HINSTANCE module, WORD reportMask, WORD debugMask,
                  LPCWSTR logDirectory, DWORD* handle) {
  if (handle == nullptr) return ERROR_INVALID_PARAMETER;
  *handle = 0;
  try {
    return Register(outputs, module, reportMask, debugMask, logDirectory, handle);
  } catch (...) {  // memory short: no exception crosses into the caller
    *handle = 0;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

DWORD NTErrorSetReport(DWORD handle, WORD reportMask) {
  std::shared_ptr<Session> session = Find(handle);
  if (session == nullptr) return ERROR_INVALID_HANDLE;
  session->reportMask = reportMask;
  return ERROR_SUCCESS;
}

DWORD NTErrorSetDebug(DWORD handle, WORD debugMask) {
  std::shared_ptr<Session> session = Find(handle);
  if (session == nullptr) return ERROR_INVALID_HANDLE;
  session->debugMask = debugMask;
  return ERROR_SUCCESS;
}

DWORD NTErrorLogFormatPtr(DWORD handle, WORD eventType, WORD traceClass, DWORD eventId,
                          LPWSTR buffer, DWORD bufferChars, LPCWSTR format, va_list* args) {
  std::shared_ptr<Session> session = Find(handle);
  if (session == nullptr) return ERROR_INVALID_HANDLE;
  if (format == nullptr) return ERROR_INVALID_PARAMETER;
  const bool trace = (session->outputs & NTERROR_OUTPUT_LOGFILE) != 0 &&
                     (traceClass & session->debugMask.load()) != 0;
  const bool report = (session->outputs & NTERROR_OUTPUT_EVENTLOG) != 0 && eventType != 0 &&
                      (eventType & session->reportMask.load()) == eventType;
  if (!trace && !report) return ERROR_SUCCESS;
  try {
    Write(*session, trace, report, eventType, traceClass, eventId, buffer, bufferChars, format,
          args);
  } catch (...) {  // memory short: the line is lost, the caller goes on
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_SUCCESS;
}

DWORD NTErrorDeInit(DWORD handle) {
  if (handle == 0) return ERROR_INVALID_HANDLE;
  std::shared_ptr<Session> session;
  {
    Registry& registry = Sessions();
    std::unique_lock<std::shared_mutex> lock(registry.mutex);
    auto it = registry.sessions.find(handle);
    if (it == registry.sessions.end()) return ERROR_INVALID_HANDLE;
    session = std::move(it->second);
    registry.sessions.erase(it);
  }
  // Calls still running on other threads keep the session until they end.
  return ERROR_SUCCESS;
}

}  // extern "C"
