#include "agent/perfhelper/peek_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "agent/common/install_root.h"

namespace perfpeek {

wlcommon::LogFile peekLogFile;

void openPeekLog() {
  std::string root;
  if (wlcommon::readInstallPath(wlcommon::kInstallRootBytes, &root) == 0) {
    peekLogFile.open(root.c_str(), "PERFPEEK.LOG");
  } else {
    peekLogFile.close();
  }
}

void peekLog(const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  peekLogFile.write(message, std::strlen(message));
}

}  // namespace perfpeek
