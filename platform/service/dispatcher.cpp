// The service control dispatcher. The calling thread becomes the dispatcher:
// it starts the service main on a thread of its own and then waits on a pipe
// for stop signals and status changes, calling the control handler for a stop.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "status_record.h"
#include "win32/winsvc.h"

namespace {

// The one dispatcher of the process.
struct Dispatcher {
  std::mutex mutex;
  bool active = false;
  bool foreground = false;
  std::string name;
  LPHANDLER_FUNCTION handler = nullptr;
  SERVICE_STATUS status{};
  bool stopped = false;
  bool stopPending = false;  // asked for before a handler was registered
  bool stopSent = false;
};

Dispatcher& TheDispatcher() {
  static Dispatcher* dispatcher = new Dispatcher;
  return *dispatcher;
}

// Written by the signal handler and by SetServiceStatus, read by the dispatcher.
std::atomic<int> wakeWrite{-1};
constexpr char kStopSignal = 'T';
constexpr char kStatusChanged = 'S';

// The one handle this dispatcher gives out.
SERVICE_STATUS_HANDLE const kStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5E4C);

void OnStopSignal(int) {
  const int saved = errno;
  const int fd = wakeWrite.load();
  if (fd >= 0) {
    const ssize_t ignored = write(fd, &kStopSignal, 1);
    (void)ignored;
  }
  errno = saved;
}

void Wake(char why) {
  const int fd = wakeWrite.load();
  if (fd >= 0) {
    const ssize_t ignored = write(fd, &why, 1);
    (void)ignored;
  }
}

BOOL RunDispatcher(const SERVICE_TABLE_ENTRYA* table, bool foreground) {
  if (table == nullptr || table[0].lpServiceName == nullptr || table[0].lpServiceProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!foreground) {
    const char* controller = std::getenv("WARDENLINE_SERVICE_CONTROLLER");
    if (controller == nullptr || controller[0] == '\0') {
      SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
      return FALSE;
    }
  }
  Dispatcher& d = TheDispatcher();
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.active) {
      SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
      return FALSE;
    }
    d.active = true;
    d.foreground = foreground;
    d.name = table[0].lpServiceName;
    d.handler = nullptr;
    d.status = SERVICE_STATUS{};
    d.stopped = false;
    d.stopPending = false;
    d.stopSent = false;
  }
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::lock_guard<std::mutex> lock(d.mutex);
    d.active = false;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  wakeWrite.store(pipeFds[1]);
  struct sigaction action = {}, oldTerm = {}, oldInt = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, &oldTerm);
  sigaction(SIGINT, &action, &oldInt);

  std::atomic<bool> mainReturned{false};
  std::string serviceName = d.name;
  LPSERVICE_MAIN_FUNCTIONA serviceMain = table[0].lpServiceProc;
  std::thread mainThread([&] {
    std::vector<char> nameCopy(serviceName.begin(), serviceName.end());
    nameCopy.push_back('\0');
    LPSTR args[] = {nameCopy.data(), nullptr};
    serviceMain(1, args);
    mainReturned.store(true);
    Wake(kStatusChanged);
  });

  DWORD exitCode = 0;
  for (;;) {
    pollfd p{pipeFds[0], POLLIN, 0};
    poll(&p, 1, 1000);
    char buffer[64];
    bool stopRequested = false;
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
      for (ssize_t i = 0; i < n; ++i) stopRequested = stopRequested || buffer[i] == kStopSignal;
    }
    LPHANDLER_FUNCTION handler = nullptr;
    bool registered = false;
    {
      std::lock_guard<std::mutex> lock(d.mutex);
      if (d.stopped) {
        exitCode = d.status.dwWin32ExitCode;
        break;
      }
      registered = d.handler != nullptr;
      d.stopPending = d.stopPending || stopRequested;
      if (d.stopPending && !d.stopSent && registered) {
        d.stopSent = true;
        handler = d.handler;
      }
    }
    if (handler != nullptr) handler(SERVICE_CONTROL_STOP);
    // A main that gave up before registering leaves nothing to wait for.
    if (mainReturned.load() && !registered) break;
  }
  mainThread.join();

  sigaction(SIGTERM, &oldTerm, nullptr);
  sigaction(SIGINT, &oldInt, nullptr);
  wakeWrite.store(-1);
  close(pipeFds[0]);
  close(pipeFds[1]);
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    d.active = false;
    d.handler = nullptr;
  }
  if (!foreground && exitCode != 0) {
    std::fflush(nullptr);
    std::exit(exitCode > 255 ? 1 : static_cast<int>(exitCode));
  }
  return TRUE;
}

}  // namespace

WLAPI BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* lpServiceStartTable) {
  return RunDispatcher(lpServiceStartTable, false);
}

WLAPI BOOL
wl_StartServiceCtrlDispatcherForeground(const SERVICE_TABLE_ENTRYA* lpServiceStartTable) {
  return RunDispatcher(lpServiceStartTable, true);
}

WLAPI SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR lpServiceName,
                                                        LPHANDLER_FUNCTION lpHandlerProc) {
  Dispatcher& d = TheDispatcher();
  std::lock_guard<std::mutex> lock(d.mutex);
  if (!d.active) {
    SetLastError(ERROR_SERVICE_NOT_IN_EXE);
    return nullptr;
  }
  if (lpServiceName == nullptr || strcasecmp(lpServiceName, d.name.c_str()) != 0) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  if (lpHandlerProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  d.handler = lpHandlerProc;
  Wake(kStatusChanged);  // a stop asked for before now is delivered
  return kStatusHandle;
}

WLAPI BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                            LPSERVICE_STATUS lpServiceStatus) {
  Dispatcher& d = TheDispatcher();
  std::string name;
  bool foreground;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.active || hServiceStatus != kStatusHandle || d.handler == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (lpServiceStatus == nullptr || lpServiceStatus->dwCurrentState < SERVICE_STOPPED ||
        lpServiceStatus->dwCurrentState > SERVICE_PAUSED) {
      SetLastError(ERROR_INVALID_DATA);
      return FALSE;
    }
    d.status = *lpServiceStatus;
    if (lpServiceStatus->dwCurrentState == SERVICE_STOPPED) d.stopped = true;
    name = d.name;
    foreground = d.foreground;
  }
  if (!foreground) {
    wl::service::RecordStatus(name, *lpServiceStatus);
    switch (lpServiceStatus->dwCurrentState) {
      case SERVICE_RUNNING:
        wl::service::NotifySystemd("READY=1\nSTATUS=Running");
        break;
      case SERVICE_STOP_PENDING:
        wl::service::NotifySystemd("STOPPING=1");
        break;
      case SERVICE_STOPPED:
        wl::service::NotifySystemd("STOPPING=1\nSTATUS=Stopped, exit code " +
                                   std::to_string(lpServiceStatus->dwWin32ExitCode));
        break;
      default:
        break;
    }
  }
  Wake(kStatusChanged);
  return TRUE;
}
