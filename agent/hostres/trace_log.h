// Trace output of the host resources library through the error service.
//
// TraceLog formats `format` (a FormatMessage template, "%1!d!" and so on)
// with the variadic inserts and hands it to NTErrorLogFormatPtr with the
// current error-service handle and the trace class; the error service
// decides from its debug mask whether it is written. A null format does
// nothing. Inserts must match the template: integers as int/unsigned/long
// of the widths the template names.
//
// The handle is kept here (set by the application's start-up, cleared by its
// clean-up); with handle 0 every trace is a no-op. Thread safety: any thread.
#pragma once

#include "win32/types.h"

void TraceLog(WORD traceClass, const WCHAR* format, ...);

// The error-service handle used by TraceLog (0: none).
void TraceLogHandleSet(DWORD handle);
DWORD TraceLogHandleGet();
