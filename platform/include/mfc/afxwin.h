// The application object and module state of the MFC run-time stand-in.
//
// A shared library built on the run-time ("a regular DLL") holds one global
// object of a class derived from CWinApp and links the static library
// `wlmfc_dllmain`, which gives it MFC's DLL entry point: an exported DllMain
// that our LoadLibraryA calls when the library gains its first reference and
// FreeLibrary when it loses its last (see win32/resources.h). On attach the
// entry point runs InitInstance with the library's module state current;
// FALSE makes it run ExitInstance, log a line on standard error, and return
// FALSE, so that LoadLibraryA unloads the library and fails with
// ERROR_DLL_INIT_FAILED. On detach it runs ExitInstance; a library still
// attached when the process exits has ExitInstance run from an atexit
// handler. A library loaded with plain dlopen runs neither.
//
// Module state: every module (the program, each such library) has one
// AFX_MODULE_STATE, found from the address of its application object or of
// its code. The current state is per thread, the program's by default;
// AFX_MANAGE_STATE(AfxGetStaticModuleState()) at the top of a library's
// exported function makes the library's state current until the function
// returns, so that AfxGetApp, AfxGetInstanceHandle, AfxGetResourceHandle
// (and with it CString::LoadString and Format(UINT, ...)) resolve in the
// library's own resources. The entry point does the same around
// InitInstance and ExitInstance.
//
// Thread safety: module states are created under a lock and live until the
// process ends; the current-state pointer is per thread.
#pragma once

#include "mfc/afxcoll.h"
#include "win32/windows.h"

class CWinApp;

struct WLMFC_API AFX_MODULE_STATE {
  CWinApp* m_pCurrentWinApp = nullptr;
  HINSTANCE m_hCurrentInstanceHandle = nullptr;
  HINSTANCE m_hCurrentResourceHandle = nullptr;
  LPCTSTR m_lpszCurrentAppName = nullptr;
  BOOL m_bDLL = FALSE;
  BOOL m_bInitialized = FALSE;  // InitInstance succeeded, ExitInstance not yet run
};

class WLMFC_API CWinApp : public CObject {
  DECLARE_DYNAMIC(CWinApp)

 public:
  // Registers the object with the module state of the module that holds it
  // (the library whose data it lives in, else the program).
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  ~CWinApp() override;

  // The default start-up succeeds and the default shut-down returns 0.
  virtual BOOL InitInstance();
  virtual int ExitInstance();

  LPCTSTR m_pszAppName = nullptr;   // the name given, else the module's base name
  HINSTANCE m_hInstance = nullptr;  // the module that holds the object

 private:
  AFX_MODULE_STATE* m_pModuleState;
  CString m_strAppName;
};

// The current module state of the calling thread (the program's when none
// was made current).
WLMFC_API AFX_MODULE_STATE* AfxGetModuleState();
// The program's module state.
WLMFC_API AFX_MODULE_STATE* AfxGetAppModuleState();
// Makes a state current for the calling thread; returns the previous one.
WLMFC_API AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* pNewState);
// The module state of the module that contains `address`, created on first
// use (the program's for an address in no module, such as the heap).
WLMFC_API AFX_MODULE_STATE* AfxModuleStateOfAddress(const void* address);

WLMFC_API CWinApp* AfxGetApp();
WLMFC_API LPCTSTR AfxGetAppName();
WLMFC_API HINSTANCE AfxGetInstanceHandle();
WLMFC_API HINSTANCE AfxGetResourceHandle();
WLMFC_API void AfxSetResourceHandle(HINSTANCE hInstResource);

// The work of a regular DLL's DllMain (called by wlmfc_dllmain's entry point
// with the library's module state).
WLMFC_API BOOL AfxDllMain(AFX_MODULE_STATE* pModuleState, HINSTANCE hInstance, DWORD dwReason);

// The module state of the module this code is compiled into: defined by
// wlmfc_dllmain in each library that links it (hidden, one per library).
__attribute__((visibility("hidden"))) AFX_MODULE_STATE* AfxGetStaticModuleState();

struct WLMFC_API AFX_MAINTAIN_STATE {
  explicit AFX_MAINTAIN_STATE(AFX_MODULE_STATE* pNewState)
      : m_pPrevModuleState(AfxSetModuleState(pNewState)) {}
  ~AFX_MAINTAIN_STATE() { AfxSetModuleState(m_pPrevModuleState); }
  AFX_MAINTAIN_STATE(const AFX_MAINTAIN_STATE&) = delete;
  AFX_MAINTAIN_STATE& operator=(const AFX_MAINTAIN_STATE&) = delete;

 private:
  AFX_MODULE_STATE* m_pPrevModuleState;
};

#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE _ctlState(p)
