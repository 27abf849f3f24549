#include "agent/hostres/ridovo_config.h"

#include <cstring>

#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/trace_log.h"
#include "win32/profile.h"
#include "win32/sync.h"

namespace {

constexpr size_t kPathChars = 260;
constexpr DWORD kValueChars = 80;
constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;  // 24
constexpr DWORD kMinimumIntervalSeconds = 15;
constexpr DWORD kDefaultIntervalSeconds = 60;

const WCHAR kFileName[] = u"RIDOVO.INI";
const WCHAR kErrorSection[] = u"Error Settings";
const WCHAR kOptionSection[] = u"Option Settings";

struct ReportKey {
  const WCHAR* key;
  const WCHAR* defaultText;
  DWORD defaultFlag;
};
const ReportKey kReportKeys[3] = {
    {u"ReportError", u"Yes", 1}, {u"ReportWarning", u"Yes", 1}, {u"ReportInformation", u"No", 0}};

size_t WideLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// ASCII case-insensitive equality of two NUL-terminated wide strings.
bool EqualNoCase(const WCHAR* a, const WCHAR* b) {
  for (;; ++a, ++b) {
    WCHAR x = *a;
    WCHAR y = *b;
    if (x >= u'a' && x <= u'z') x = static_cast<WCHAR>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<WCHAR>(y - 32);
    if (x != y) return false;
    if (x == 0) return true;
  }
}

CS_ridovoApp* App() { return RidovoApp(); }

}  // namespace

CRIDOVOCONFIG::CRIDOVOCONFIG() {
  TraceLog(HR_TRACE_OBJECT, u"CRIDOVOCONFIG::CRIDOVOCONFIG: Completed\r\n");
}

CRIDOVOCONFIG::~CRIDOVOCONFIG() {
  StopThread();
  if (m_h_signal != nullptr) CloseSignal();
  if (m_h_stop != nullptr) CloseHandle(m_h_stop);
  TraceLog(HR_TRACE_OBJECT, u"CRIDOVOCONFIG::~CRIDOVOCONFIG: Completed\r\n");
}

DWORD CRIDOVOCONFIG::Init() {
  DWORD result = CreateSignal();
  if (result == HR_RESULT_OK) {
    result = Read();
    if (result == HR_RESULT_CONFIG_FILE) result = HR_RESULT_CONFIG_ABSENT;
  }
  if (result != HR_RESULT_OK && result != HR_RESULT_CONFIG_ABSENT) DeInit();
  TraceLog(HR_TRACE_INIT, u"CRIDOVOCONFIG::Init: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

void CRIDOVOCONFIG::StopThread() {
  if (m_h_thread == nullptr) return;
  SetEvent(m_h_stop);
  WaitForSingleObject(m_h_thread, INFINITE);
  CloseHandle(m_h_thread);
  m_h_thread = nullptr;
}

void CRIDOVOCONFIG::DeInit() {
  // The thread waits on the change signal: it ends before the signal closes.
  StopThread();
  CloseSignal();
  TraceLog(HR_TRACE_INIT, u"CRIDOVOCONFIG::DeInit: Completed\r\n");
}

DWORD CRIDOVOCONFIG::CreateSignal() {
  DWORD result = HR_RESULT_OK;
  const WCHAR* directory = App() != nullptr ? App()->IniPathGet() : nullptr;
  if (directory == nullptr) {
    result = HR_RESULT_MISSING;
  } else {
    m_h_signal = FindFirstChangeNotificationW(directory, FALSE, kNotifyFilter);
    if (m_h_signal == INVALID_HANDLE_VALUE || m_h_signal == nullptr) {
      m_h_signal = nullptr;
      result = HR_RESULT_SIGNAL;
    }
  }
  TraceLog(HR_TRACE_TABLE,
           u"CRIDOVOCONFIG::CreateSignal: Completed, handle = %1!#x!, result = %2!d!\r\n",
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_h_signal)),
           static_cast<int>(result));
  Sleep(0);
  return result;
}

void CRIDOVOCONFIG::CloseSignal() {
  if (m_h_signal != INVALID_HANDLE_VALUE && m_h_signal != nullptr) {
    FindCloseChangeNotification(m_h_signal);
  }
  m_h_signal = nullptr;
  TraceLog(HR_TRACE_TABLE, u"CRIDOVOCONFIG::CloseSignal: Completed\r\n");
  Sleep(0);
}

bool CRIDOVOCONFIG::FilePath(WCHAR* path) {
  const WCHAR* directory = App() != nullptr ? App()->IniPathGet() : nullptr;
  if (directory == nullptr) return false;
  const size_t length = WideLength(directory);
  const size_t nameLength = WideLength(kFileName);
  if (length + 1 + nameLength + 1 > kPathChars) return false;
  memcpy(path, directory, length * sizeof(WCHAR));
  path[length] = u'\\';
  memcpy(path + length + 1, kFileName, (nameLength + 1) * sizeof(WCHAR));
  return true;
}

DWORD CRIDOVOCONFIG::GetConfigInfo(FILETIME* lastWrite, DWORD* sizeHigh, DWORD* sizeLow) const {
  DWORD result = HR_RESULT_OK;
  WCHAR path[kPathChars];
  if (lastWrite == nullptr || sizeHigh == nullptr || sizeLow == nullptr || !FilePath(path)) {
    result = HR_RESULT_MISSING;
  } else {
    SECURITY_ATTRIBUTES inherit = {};
    inherit.nLength = sizeof(inherit);
    inherit.bInheritHandle = TRUE;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      result = HR_RESULT_CONFIG_FILE;
    } else {
      BY_HANDLE_FILE_INFORMATION info = {};
      if (GetFileInformationByHandle(file, &info) != TRUE) {
        result = HR_RESULT_CONFIG_FILE;
      } else {
        *lastWrite = info.ftLastWriteTime;
        *sizeHigh = info.nFileSizeHigh;
        *sizeLow = info.nFileSizeLow;
      }
      CloseHandle(file);
    }
  }
  TraceLog(HR_TRACE_STEP, u"CRIDOVOCONFIG::GetConfigInfo: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  Sleep(0);
  return result;
}

DWORD CRIDOVOCONFIG::CompareConfigInfo(const FILETIME* lastWrite, DWORD sizeHigh,
                                       DWORD sizeLow) const {
  const DWORD result = lastWrite != nullptr && sizeHigh == m_ul_sizeHigh &&
                               sizeLow == m_ul_sizeLow &&
                               memcmp(lastWrite, &m_ft_lastWrite, sizeof(FILETIME)) == 0
                           ? 1
                           : 0;
  TraceLog(HR_TRACE_STEP, u"CRIDOVOCONFIG::CompareConfigInfo: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  Sleep(0);
  return result;
}

DWORD CRIDOVOCONFIG::Read() {
  WCHAR path[kPathChars];
  DWORD result = HR_RESULT_OK;
  if (!FilePath(path)) {
    result = HR_RESULT_MISSING;
  } else {
    result = GetConfigInfo(&m_ft_lastWrite, &m_ul_sizeHigh, &m_ul_sizeLow);
    if (result == HR_RESULT_OK) result = ReadError(path);
    if (result == HR_RESULT_OK) result = ReadSetting(path);
  }
  TraceLog(HR_TRACE_STEP, u"CRIDOVOCONFIG::Read: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CRIDOVOCONFIG::ReadError(const WCHAR* path) {
  DWORD result = HR_RESULT_OK;
  CS_ridovoApp* app = App();
  if (path == nullptr || app == nullptr) {
    result = HR_RESULT_MISSING;
  } else {
    for (int index = 0; index < 3; ++index) {
      WCHAR value[kValueChars] = {};
      GetPrivateProfileStringW(kErrorSection, kReportKeys[index].key,
                               kReportKeys[index].defaultText, value, kValueChars, path);
      value[kValueChars - 1] = 0;
      DWORD flag = kReportKeys[index].defaultFlag;
      if (EqualNoCase(value, u"No")) flag = 0;
      if (EqualNoCase(value, u"Yes")) flag = 1;
      app->ReportSet(index, flag);
      Sleep(0);
    }
    app->DebugSet(static_cast<WORD>(GetPrivateProfileIntW(kErrorSection, u"Debug", 0, path)));
    Sleep(0);
  }
  TraceLog(HR_TRACE_STEP, u"CRIDOVOCONFIG::ReadError: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CRIDOVOCONFIG::ReadSetting(const WCHAR* path) {
  DWORD result = HR_RESULT_OK;
  CS_ridovoApp* app = App();
  if (path == nullptr || app == nullptr) {
    result = HR_RESULT_MISSING;
  } else {
    const int seconds = static_cast<int>(GetPrivateProfileIntW(
        kOptionSection, u"MonitorInterval", static_cast<int>(kDefaultIntervalSeconds), path));
    app->MonitorIntervalSet(IntervalMilliseconds(seconds));
  }
  TraceLog(HR_TRACE_STEP, u"CRIDOVOCONFIG::ReadSetting: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  Sleep(0);
  return result;
}

DWORD CRIDOVOCONFIG::IntervalMilliseconds(int seconds) {
  // Signed comparison: negative values fall back to the default too.
  DWORD taken = seconds >= static_cast<int>(kMinimumIntervalSeconds) ? static_cast<DWORD>(seconds)
                                                                     : kDefaultIntervalSeconds;
  if (taken > 0xFFFFFFFEu / 1000u) taken = 0xFFFFFFFEu / 1000u;
  return taken * 1000u;
}

DWORD CRIDOVOCONFIG::ThreadStart(uintptr_t* handle, unsigned* threadId) {
  *handle = 0;
  *threadId = 0;
  if (m_h_stop == nullptr) m_h_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (m_h_stop == nullptr || m_h_thread != nullptr) return HR_RESULT_THREAD;
  ResetEvent(m_h_stop);
  *handle = _beginthreadex(nullptr, 0, &CRIDOVOCONFIG::Monitor, nullptr, 0, threadId);
  if (*handle == 0) return HR_RESULT_THREAD;
  m_h_thread = reinterpret_cast<HANDLE>(*handle);
  return HR_RESULT_OK;
}

unsigned WINAPI CRIDOVOCONFIG::Monitor(void*) {
  CS_ridovoApp* app = App();
  CRIDOVOCONFIG* self = app != nullptr ? app->ConfigGet() : nullptr;
  if (self == nullptr) {
    TraceLog(HR_TRACE_THREAD, u"CRIDOVOCONFIG::Monitor: Completed, result = %1!d!\r\n",
             static_cast<int>(HR_RESULT_MISSING));
    return HR_RESULT_MISSING;
  }
  return self->RunThread();
}

unsigned CRIDOVOCONFIG::RunThread() {
  CS_ridovoApp* app = App();
  for (;;) {
    const HANDLE waits[2] = {m_h_signal, m_h_stop};
    const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    Sleep(0);
    if (woken != WAIT_OBJECT_0) break;
    FILETIME lastWrite = {};
    DWORD sizeHigh = 0;
    DWORD sizeLow = 0;
    if (GetConfigInfo(&lastWrite, &sizeHigh, &sizeLow) == HR_RESULT_OK &&
        CompareConfigInfo(&lastWrite, sizeHigh, sizeLow) == 0 && Read() == HR_RESULT_OK) {
      app->ApplyErrorSettings();
    }
    if (FindNextChangeNotification(m_h_signal) != TRUE) break;
    Sleep(0);
  }
  TraceLog(HR_TRACE_THREAD, u"CRIDOVOCONFIG::Monitor: Completed, result = %1!d!\r\n",
           static_cast<int>(HR_RESULT_CONFIG_FILE));
  return HR_RESULT_CONFIG_FILE;
}
