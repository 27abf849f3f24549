// CWinApp, the module states and the work of a regular DLL's entry point.
#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "mfc/afxwin.h"
#include "win32/resources.h"

IMPLEMENT_DYNAMIC(CWinApp, CObject)

namespace {

std::mutex& StatesMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

// Module states of the libraries, by link map; never freed (a library loaded
// again at the same place finds its state again).
std::map<const void*, AFX_MODULE_STATE*>& LibraryStates() {
  static auto* states = new std::map<const void*, AFX_MODULE_STATE*>;
  return *states;
}

link_map* ProgramMap() {
  static link_map* program = [] {
    link_map* map = nullptr;
    void* self = dlopen(nullptr, RTLD_NOW);
    if (self != nullptr && dlinfo(self, RTLD_DI_LINKMAP, &map) != 0) map = nullptr;
    return map;
  }();
  return program;
}

thread_local AFX_MODULE_STATE* t_currentState = nullptr;

// "/x/libhostscan.so" -> "libhostscan".
std::u16string BaseName(const char* path) {
  std::string base = path == nullptr ? std::string() : std::string(path);
  base = base.substr(base.find_last_of('/') + 1);
  base = base.substr(0, base.find('.'));
  return std::u16string(base.begin(), base.end());
}

// At process exit, as Windows detaches every library still loaded: the
// ExitInstance of each application not shut down yet.
void ExitRemainingApplications() {
  std::vector<AFX_MODULE_STATE*> states;
  {
    std::lock_guard<std::mutex> lock(StatesMutex());
    for (const auto& entry : LibraryStates()) states.push_back(entry.second);
  }
  for (AFX_MODULE_STATE* state : states) {
    CWinApp* app = state->m_pCurrentWinApp;
    if (app == nullptr || !state->m_bInitialized) continue;
    state->m_bInitialized = FALSE;
    AFX_MANAGE_STATE(state);
    try {
      app->ExitInstance();
    } catch (...) {
    }
  }
}

}  // namespace

AFX_MODULE_STATE* AfxGetAppModuleState() {
  static auto* state = new AFX_MODULE_STATE;  // the program: null handles
  return state;
}

AFX_MODULE_STATE* AfxModuleStateOfAddress(const void* address) {
  Dl_info info;
  link_map* map = nullptr;
  if (address == nullptr ||
      dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr || map == ProgramMap()) {
    return AfxGetAppModuleState();
  }
  std::lock_guard<std::mutex> lock(StatesMutex());
  auto& states = LibraryStates();
  auto it = states.find(map);
  if (it != states.end()) return it->second;
  auto* state = new (std::nothrow) AFX_MODULE_STATE;
  if (state == nullptr) return AfxGetAppModuleState();  // memory short: no state of its own
  state->m_hCurrentInstanceHandle = map;
  state->m_hCurrentResourceHandle = map;
  state->m_bDLL = TRUE;
  try {
    states.emplace(map, state);
  } catch (...) {
    delete state;
    return AfxGetAppModuleState();
  }
  return state;
}

AFX_MODULE_STATE* AfxGetModuleState() {
  return t_currentState != nullptr ? t_currentState : AfxGetAppModuleState();
}

AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* pNewState) {
  AFX_MODULE_STATE* previous = t_currentState;
  t_currentState = pNewState;
  return previous;
}

CWinApp* AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }

LPCTSTR AfxGetAppName() { return AfxGetModuleState()->m_lpszCurrentAppName; }

HINSTANCE AfxGetInstanceHandle() { return AfxGetModuleState()->m_hCurrentInstanceHandle; }

HINSTANCE AfxGetResourceHandle() { return AfxGetModuleState()->m_hCurrentResourceHandle; }

void AfxSetResourceHandle(HINSTANCE hInstResource) {
  AfxGetModuleState()->m_hCurrentResourceHandle = hInstResource;
}

CWinApp::CWinApp(LPCTSTR lpszAppName) : m_pModuleState(AfxModuleStateOfAddress(this)) {
  m_hInstance = m_pModuleState->m_hCurrentInstanceHandle;
  if (lpszAppName != nullptr) {
    m_strAppName = lpszAppName;
  } else {
    Dl_info info;
    if (m_hInstance != nullptr && dladdr(this, &info) != 0) {
      m_strAppName = BaseName(info.dli_fname).c_str();
    }
  }
  m_pszAppName = m_strAppName;
  m_pModuleState->m_pCurrentWinApp = this;
  m_pModuleState->m_lpszCurrentAppName = m_pszAppName;
}

CWinApp::~CWinApp() {
  if (m_pModuleState->m_pCurrentWinApp == this) {
    m_pModuleState->m_pCurrentWinApp = nullptr;
    m_pModuleState->m_lpszCurrentAppName = nullptr;
    m_pModuleState->m_bInitialized = FALSE;
  }
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

BOOL AfxDllMain(AFX_MODULE_STATE* pModuleState, HINSTANCE hInstance, DWORD dwReason) {
  if (pModuleState == nullptr) return FALSE;
  AFX_MANAGE_STATE(pModuleState);
  CWinApp* app = pModuleState->m_pCurrentWinApp;
  if (dwReason == DLL_PROCESS_ATTACH) {
    pModuleState->m_hCurrentInstanceHandle = hInstance;
    if (pModuleState->m_hCurrentResourceHandle == nullptr) {
      pModuleState->m_hCurrentResourceHandle = hInstance;
    }
    pModuleState->m_bDLL = TRUE;
    if (app == nullptr || pModuleState->m_bInitialized) return TRUE;
    BOOL started = FALSE;
    try {
      started = app->InitInstance();
    } catch (...) {
      started = FALSE;
    }
    if (started) {
      pModuleState->m_bInitialized = TRUE;
      // Registered at each attach, after that library's application object
      // was constructed, so one run comes before that object's destructor at
      // exit (later runs find nothing left to do).
      std::atexit(ExitRemainingApplications);
      return TRUE;
    }
    try {
      app->ExitInstance();
    } catch (...) {
    }
    Dl_info info;
    const char* file = dladdr(app, &info) != 0 ? info.dli_fname : "(unknown)";
    std::fprintf(stderr, "wardenline: %s: InitInstance of the application failed; not loaded\n",
                 file);
    std::fflush(stderr);
    return FALSE;
  }
  if (dwReason == DLL_PROCESS_DETACH && app != nullptr && pModuleState->m_bInitialized) {
    pModuleState->m_bInitialized = FALSE;
    try {
      app->ExitInstance();
    } catch (...) {
    }
  }
  return TRUE;
}
