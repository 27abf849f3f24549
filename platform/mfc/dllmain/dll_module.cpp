// The entry point of a regular DLL on the MFC run-time stand-in: linked into
// each library that holds an application object (see mfc/afxwin.h).
#include "mfc/afxwin.h"

namespace {

// Any object of this library: its address names the library.
const char g_anchor = 0;

}  // namespace

AFX_MODULE_STATE* AfxGetStaticModuleState() {
  static AFX_MODULE_STATE* const state = AfxModuleStateOfAddress(&g_anchor);
  return state;
}

extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE hInstance, DWORD dwReason,
                                                               LPVOID) {
  return AfxDllMain(AfxGetStaticModuleState(), hInstance, dwReason);
}
