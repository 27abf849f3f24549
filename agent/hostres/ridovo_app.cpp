#include "agent/hostres/ridovo_app.h"

#include <cstring>
#include <new>

#include "agent/hostres/result_codes.h"
#include "agent/hostres/table_list.h"
#include "agent/hostres/trace_log.h"
#include "agent/perfhelper/perfpeek.h"
#include "platform/providers/regprob/regprob.h"
#include "platform/providers/winprob/winprob.h"
#include "providers/errloggr.h"

WORD g_w_w32Handle = 0;
WORD g_w_regHandle = 0;
SYSTEMTIME g_st_swInstalledLastChange = {};
CObList* g_p_tableList[HR_LIST_COUNT] = {};

namespace {

CS_ridovoApp* g_p_app = nullptr;

constexpr DWORD kErrorOutputs = NTERROR_OUTPUT_EVENTLOG | NTERROR_OUTPUT_LOGFILE;  // 3
constexpr WORD kInitialReportMask = 7;

}  // namespace

CS_ridovoApp* RidovoApp() { return g_p_app; }

CS_ridovoApp::CS_ridovoApp() {
  m_b_report[0].store(1);
  m_b_report[1].store(1);
  m_b_report[2].store(0);
  g_p_app = this;
}

CS_ridovoApp::~CS_ridovoApp() {
  ExitCleanup();
  if (g_p_app == this) g_p_app = nullptr;
}

void CS_ridovoApp::ReportSet(int index, DWORD value) {
  if (index < 0 || index > 2) return;
  m_b_report[index].store(value != 0 ? 1 : 0);
  Sleep(0);
}

DWORD CS_ridovoApp::ReportGet(int index) const {
  return index >= 0 && index <= 2 ? m_b_report[index].load() : 0;
}

void CS_ridovoApp::ProcessSetForTesting(CRIDOVOPROCESS* process) {
  if (process == m_p_process) return;
  if (m_p_process != nullptr) {
    m_p_process->DeInit();
    delete m_p_process;
  }
  m_p_process = process;
}

const WCHAR* CS_ridovoApp::IniPathGet() const {
  return m_s_iniPath.IsEmpty() ? nullptr : static_cast<LPCTSTR>(m_s_iniPath);
}

DWORD CheckProviderVersions(const VERSIONQUERY* queries, int count) {
  for (int i = 0; i < count; ++i) {
    if (queries[i](nullptr) != 1) return HR_RESULT_VERSION;
  }
  return HR_RESULT_OK;
}

DWORD CheckProviderVersions() {
  // The error service answers with a DWORD* argument; the other three with
  // int32_t*. Both are a 32-bit out-value that is passed as null here.
  static const VERSIONQUERY kQueries[] = {
      [](int32_t*) { return static_cast<int>(ERRLOGGR_GetSupportedVersions(nullptr)); },
      &REGPROB_GetSupportedVersions,
      &WINPROB_GetSupportedVersions,
      &PERFPEEK_GetSupportedVersions,
  };
  return CheckProviderVersions(kQueries, 4);
}

BOOL CS_ridovoApp::InitInstance() {
  DWORD result = CheckProviderVersions();
  if (result == HR_RESULT_OK) result = Init();
  if (result == HR_RESULT_OK) result = HRDXInit();
  if (result != HR_RESULT_OK) return FALSE;
  TraceLog(HR_TRACE_INIT, u"CS_ridovoApp::InitInstance: Completed, result = %1!d!\r\n", 0);
  return TRUE;
}

int CS_ridovoApp::ExitInstance() {
  HRDXTerminate();
  ExitCleanup();
  return 0;
}

DWORD CS_ridovoApp::Init() {
  m_h_errorLog = 0;
  TraceLogHandleSet(0);
  ReportSet(0, 1);
  ReportSet(1, 1);
  ReportSet(2, 0);
  DebugSet(0);
  MonitorIntervalSet(60000);
  m_s_iniPath.Empty();

  CString root;
  WORD registry = 0;
  DWORD result = RegRegister(&registry) == 0 ? HR_RESULT_OK : HR_RESULT_REGISTRY;
  if (result == HR_RESULT_OK) {
    WCHAR* path = nullptr;
    if (RegGetWardenlinePathName(registry, &path) != 0 || path == nullptr) {
      result = HR_RESULT_REGISTRY;
    } else {
      root = path;
    }
    if (path != nullptr) RegFreeResource(registry, path);
    RegDeregister(registry);
  }
  if (result == HR_RESULT_OK) {
    // The directory gets exactly one final separator before the subdirectories.
    const int length = root.GetLength();
    const int backslash = root.ReverseFind(u'\\');
    const int slash = root.ReverseFind(u'/');
    const bool endsInSeparator =
        length > 0 && (backslash == length - 1 || (backslash < 0 && slash == length - 1));
    if (!endsInSeparator) root += u"\\";
    m_s_iniPath = root + u"INI";
    const CString logDirectory = root + u"LOGFILES";
    if (m_s_iniPath.IsEmpty() || logDirectory.IsEmpty()) result = HR_RESULT_NO_MEMORY;
    if (result == HR_RESULT_OK &&
        NTErrorInit(kErrorOutputs, m_hInstance, kInitialReportMask, 0,
                    static_cast<LPCTSTR>(logDirectory), &m_h_errorLog) != 0) {
      m_h_errorLog = 0;
      result = HR_RESULT_ERROR_SERVICE;
    }
    TraceLogHandleSet(m_h_errorLog);
  }
  if (result == HR_RESULT_OK) {
    m_p_config = new (std::nothrow) CRIDOVOCONFIG();
    if (m_p_config == nullptr) {
      result = HR_RESULT_NO_MEMORY;
    } else {
      result = m_p_config->Init();
      if (result == HR_RESULT_CONFIG_ABSENT) result = HR_RESULT_OK;
      if (result == HR_RESULT_OK) ApplyErrorSettings();
    }
  }
  if (result == HR_RESULT_OK) {
    m_p_process = new (std::nothrow) CRIDOVOPROCESS();
    result = m_p_process == nullptr ? HR_RESULT_NO_MEMORY : m_p_process->Init();
  }
  if (result == HR_RESULT_OK) result = Monitor();
  // Traced before the clean-up gives the error-service handle back, so that a
  // failed start-up leaves its code in the log.
  TraceLog(HR_TRACE_INIT, u"CS_ridovoApp::Init: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  if (result != HR_RESULT_OK) ExitCleanup();
  return result;
}

DWORD CS_ridovoApp::Monitor() {
  DWORD result = MonitorConfig();
  if (result == HR_RESULT_OK) result = MonitorProcessor();
  TraceLog(HR_TRACE_THREAD, u"CS_ridovoApp::Monitor: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CS_ridovoApp::MonitorConfig() {
  uintptr_t handle = 0;
  unsigned threadId = 0;
  const DWORD result =
      m_p_config == nullptr ? HR_RESULT_MISSING : m_p_config->ThreadStart(&handle, &threadId);
  TraceLog(HR_TRACE_THREAD,
           u"CS_ridovoApp::MonitorConfig: Completed, thread = %1!ld!, thread id = %2!#x!, "
           u"result = %3!d!\r\n",
           static_cast<int>(handle), threadId, static_cast<int>(result));
  return result;
}

DWORD CS_ridovoApp::MonitorProcessor() {
  uintptr_t handle = 0;
  unsigned threadId = 0;
  const DWORD result =
      m_p_process == nullptr ? HR_RESULT_MISSING : m_p_process->ThreadStart(&handle, &threadId);
  TraceLog(HR_TRACE_THREAD,
           u"CS_ridovoApp::MonitorProcessor: Completed, thread = %1!ld!, thread id = %2!#x!, "
           u"result = %3!d!\r\n",
           static_cast<int>(handle), threadId, static_cast<int>(result));
  return result;
}

DWORD CS_ridovoApp::ApplyErrorSettings() {
  WORD report = 0;
  if (ReportGet(0) == 1) report |= 1;
  if (ReportGet(1) == 1) report |= 2;
  if (ReportGet(2) == 1) report |= 4;
  NTErrorSetReport(m_h_errorLog, report);
  NTErrorSetDebug(m_h_errorLog, DebugGet());
  return 0;
}

void CS_ridovoApp::ExitCleanup() {
  // Each object's DeInit stops its thread and waits for it, so no thread is
  // left touching an object that is about to be destroyed.
  if (m_p_process != nullptr) {
    m_p_process->DeInit();
    delete m_p_process;
    m_p_process = nullptr;
  }
  if (m_p_config != nullptr) {
    m_p_config->DeInit();
    delete m_p_config;
    m_p_config = nullptr;
  }
  if (m_h_errorLog != 0) {
    TraceLogHandleSet(0);
    NTErrorDeInit(m_h_errorLog);
    m_h_errorLog = 0;
  }
}

DWORD HRDXInit() {
  DWORD result = static_cast<DWORD>(W32Register(&g_w_w32Handle));
  if (result != HR_RESULT_OK) g_w_w32Handle = 0;
  if (result == HR_RESULT_OK) {
    memset(&g_st_swInstalledLastChange, 0, sizeof(g_st_swInstalledLastChange));
    const int stamp = W32GetSWInstalledLastChange(g_w_w32Handle, &g_st_swInstalledLastChange);
    if (stamp != 0) result = static_cast<DWORD>(stamp);
  }
  if (result == HR_RESULT_OK) {
    result = static_cast<DWORD>(RegRegister(&g_w_regHandle));
    if (result != HR_RESULT_OK) g_w_regHandle = 0;
  }
  TraceLog(HR_TRACE_INIT, u"HRDXInit: Completed, result = %1!d!\r\n", static_cast<int>(result));
  return result;
}

void HRDXTerminate() {
  if (g_w_w32Handle != 0) W32Deregister(g_w_w32Handle);
  g_w_w32Handle = 0;
  if (g_w_regHandle != 0) RegDeregister(g_w_regHandle);
  g_w_regHandle = 0;
  for (CObList*& list : g_p_tableList) HrListFree(list);
  TraceLog(HR_TRACE_INIT, u"HRDXTerminate: Completed\r\n");
}
