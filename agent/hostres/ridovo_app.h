// CS_ridovoApp: the application object of libhostscan.so (one global
// instance, constructed when the library loads). Its start-up checks the
// interface versions of the libraries it links, reads the configuration,
// registers with the error service and the providers and starts the
// configuration watcher and processor load threads; its shut-down stops both
// threads before destroying their objects.
//
// Settings are single aligned stores read without a lock by the two threads.
// Start-up and shut-down run on the loader's thread only.
#pragma once

#include <atomic>

#include "agent/hostres/ridovo_config.h"
#include "agent/hostres/ridovo_process.h"
#include "mfc/afxwin.h"

class CS_ridovoApp : public CWinApp {
 public:
  CS_ridovoApp();
  ~CS_ridovoApp() override;

  // CheckProviderVersions, Init, HRDXInit: TRUE when all give 0.
  BOOL InitInstance() override;
  // HRDXTerminate, then the exit clean-up. Returns 0.
  int ExitInstance() override;

  // Defaults, install path, error service, configuration, processor monitor
  // and both threads; runs the exit clean-up on failure. A result code.
  DWORD Init();
  DWORD Monitor();
  DWORD MonitorConfig();
  DWORD MonitorProcessor();
  // Report and debug masks to the error service. Always 0.
  DWORD ApplyErrorSettings();
  // Stops and destroys the processor monitor and the configuration watcher,
  // then gives the error-service handle back. May run twice.
  void ExitCleanup();

  // Index 0 error, 1 warning, 2 information; other indexes are ignored / 0.
  void ReportSet(int index, DWORD value);
  DWORD ReportGet(int index) const;
  void DebugSet(WORD mask) { m_w_debug.store(mask); }
  WORD DebugGet() const { return m_w_debug.load(); }
  void MonitorIntervalSet(DWORD milliseconds) { m_ul_monitorInterval.store(milliseconds); }
  DWORD MonitorIntervalGet() const { return m_ul_monitorInterval.load(); }
  DWORD ErrorLogGet() const { return m_h_errorLog; }
  // The configuration directory, or null when there is none.
  const WCHAR* IniPathGet() const;
  CRIDOVOCONFIG* ConfigGet() const { return m_p_config; }
  CRIDOVOPROCESS* ProcessGet() const { return m_p_process; }
  // Hands the application a processor monitor, which it owns from then on;
  // a previous one is stopped and destroyed. Init makes its own; programs
  // that run no start-up (tests) give one here.
  void ProcessSetForTesting(CRIDOVOPROCESS* process);

 private:
  DWORD m_h_errorLog = 0;
  std::atomic<DWORD> m_b_report[3];
  std::atomic<WORD> m_w_debug{0};
  std::atomic<DWORD> m_ul_monitorInterval{60000};
  CString m_s_iniPath;
  CRIDOVOCONFIG* m_p_config = nullptr;
  CRIDOVOPROCESS* m_p_process = nullptr;
};

// The library's application object, or null before it is constructed.
CS_ridovoApp* RidovoApp();

// Interface versions of the error service, registry provider, Win32 provider
// and performance helper, asked in that order: 0, or 1234 at the first that
// does not report 1 (the rest are not asked).
DWORD CheckProviderVersions();

// The same over a list of version queries, asked in order (count entries);
// CheckProviderVersions passes the four libraries' own.
using VERSIONQUERY = int (*)(int32_t* reserved);
DWORD CheckProviderVersions(const VERSIONQUERY* queries, int count);

// Registers with the Win32 and registry providers for the library's life and
// stamps the installed-software change time. A result code.
DWORD HRDXInit();
// Deregisters from both providers and frees every table list.
void HRDXTerminate();

// Provider handles (0: not registered) and the installed-software change stamp.
extern WORD g_w_w32Handle;
extern WORD g_w_regHandle;
extern SYSTEMTIME g_st_swInstalledLastChange;

// The seven table lists (null until the table's hrInit builds it), freed by
// HRDXTerminate in this order.
enum HRTABLELIST {
  HR_LIST_STORAGE,
  HR_LIST_FILESYSTEM,
  HR_LIST_DEVICE,
  HR_LIST_PARTITION,
  HR_LIST_SWRUN,
  HR_LIST_SWRUNPERF,
  HR_LIST_SWINSTALLED,
  HR_LIST_COUNT
};
extern CObList* g_p_tableList[HR_LIST_COUNT];
