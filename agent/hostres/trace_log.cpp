#include "agent/hostres/trace_log.h"

#include <stdarg.h>

#include <atomic>

#include "providers/errloggr.h"

namespace {

std::atomic<DWORD> g_dw_traceHandle{0};

}  // namespace

void TraceLogHandleSet(DWORD handle) { g_dw_traceHandle.store(handle); }

DWORD TraceLogHandleGet() { return g_dw_traceHandle.load(); }

void TraceLog(WORD traceClass, const WCHAR* format, ...) {
  if (format == nullptr) return;
  WCHAR buffer[1024];
  va_list args;
  va_start(args, format);
  NTErrorLogFormatPtr(g_dw_traceHandle.load(), 0, traceClass, 0, buffer, 1024, format, &args);
  va_end(args);
}
