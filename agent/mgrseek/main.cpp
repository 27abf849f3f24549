// mgrseek: the manager discovery service (see docs/mgrseek.md).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "agent/mgrseek/discovery.h"
#include "win32/winsvc.h"

namespace {

constexpr const char* kUsage =
    "usage: mgrseek            run as the service MGRSEEK (started by the service manager)\n"
    "       mgrseek -f [--period SECONDS]\n"
    "                          run in the foreground; Ctrl-C stops it. --period sets the\n"
    "                          time between two updates of the trap destinations (60)\n";

}  // namespace

int main(int argc, char** argv) {
  bool foreground = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-f") == 0) {
      foreground = true;
    } else if (std::strcmp(argv[i], "--period") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const long seconds = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0' || seconds < 1 || seconds > 86400) {
        std::fprintf(stderr, "mgrseek: bad period %s\n%s", argv[i], kUsage);
        return 2;
      }
      mgrseek::setUpdatePeriod(static_cast<DWORD>(seconds) * 1000);
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "mgrseek: unknown argument %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  char name[] = "MGRSEEK";
  const SERVICE_TABLE_ENTRYA table[] = {{name, mgrseek::serviceMain}, {nullptr, nullptr}};
  if (foreground) {
    wl_StartServiceCtrlDispatcherForeground(table);
    return 0;
  }
  if (!StartServiceCtrlDispatcherA(table) &&
      GetLastError() == static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)) {
    std::fputs(
        "mgrseek: this is the service MGRSEEK, started by the service manager; "
        "to run it here use 'mgrseek -f' (Ctrl-C stops it)\n",
        stderr);
  }
  return 0;
}
