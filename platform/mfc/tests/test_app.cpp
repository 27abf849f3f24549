// A regular DLL on the run-time stand-in, for the application tests. Its
// InitInstance starts a worker thread and then succeeds, or fails when
// WLMFC_TEST_INIT is "fail"; ExitInstance stops the worker. Each step is
// reported to the test program through its exported wlmfc_test_event.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "mfc/afxwin.h"

namespace {

const WlMessageEntry kMessages[] = {{1, "TESTAPP%0\r\n"}, {2, "TEST APP%0\r\n"}};
const WlMessageEntry kStrings[] = {{101, "library string %s"}};

void Event(const char* what) {
  using Hook = void (*)(const char*);
  if (auto hook = reinterpret_cast<Hook>(dlsym(RTLD_DEFAULT, "wlmfc_test_event"))) hook(what);
}

class CTestApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    Event(AfxGetApp() == this ? "init:own-state" : "init:wrong-state");
    stop_ = false;
    worker_ = std::thread([this] {
      while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    const char* mode = getenv("WLMFC_TEST_INIT");
    return mode == nullptr || strcmp(mode, "fail") != 0;
  }
  int ExitInstance() override {
    Event("exit");
    stop_ = true;
    if (worker_.joinable()) worker_.join();
    return 0;
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

CTestApp theApp;

}  // namespace

WL_DEFINE_MODULE_RESOURCES(kMessages, kStrings);

// String 101 formatted in the library's own module state.
extern "C" __attribute__((visibility("default"))) void TestAppFormat(CString* out) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  out->Format(101u, u"x");
}

extern "C" __attribute__((visibility("default"))) HINSTANCE TestAppInstance() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return AfxGetInstanceHandle();
}
