// The error service, liberrloggr.so: trace lines to a log file and reports
// to the event log on behalf of a calling module.
//
// A module registers with NTErrorInit, giving its instance handle: message 1
// of the module's message table names its log file (text up to "%0", plus
// ".LOG", in the log directory given), message 2 its event source. Each
// NTErrorLogFormatPtr call formats a FormatMessage template with the inserts
// given and
//   - appends it as one line to the log file when the output selector has
//     NTERROR_OUTPUT_LOGFILE and the call's trace class shares a bit with the
//     debug mask;
//   - reports it to the event log (type eventType, category the trace class,
//     identifier eventId, the text as the one insertion string) when the
//     selector has NTERROR_OUTPUT_EVENTLOG and eventType (1 error, 2 warning,
//     4 information) is in the report mask. An eventType of 0 reports nothing.
// Handle 0, or a handle already given back, makes every call do nothing.
//
// Thread safety: every call may come from any thread at any time, the same
// handle included; lines from concurrent calls are written whole.
#pragma once

#include <stdarg.h>

#include "win32/types.h"

#define ERRLOGGR_API __attribute__((visibility("default")))

#define NTERROR_OUTPUT_EVENTLOG 0x0001u
#define NTERROR_OUTPUT_LOGFILE 0x0002u

#define NTERROR_REPORT_ERROR 0x0001u
#define NTERROR_REPORT_WARNING 0x0002u
#define NTERROR_REPORT_INFORMATION 0x0004u

WL_EXTERN_C_BEGIN

// The interface version, 1. `reserved` may be null; otherwise it receives 0.
ERRLOGGR_API DWORD ERRLOGGR_GetSupportedVersions(DWORD* reserved);

// Registers a module. 0 and a non-zero *handle on success; otherwise a Win32
// error code and *handle 0: ERROR_INVALID_PARAMETER (null handle pointer,
// unknown output bits, a log directory longer than MAX_PATH),
// ERROR_MR_MID_NOT_FOUND (message 1 or 2 absent while its output is asked
// for), ERROR_INVALID_NAME (a message text that is no file or source name),
// ERROR_PATH_NOT_FOUND (the log directory cannot be created, or none is given
// and there is no install root), ERROR_NOT_ENOUGH_MEMORY, or the event log's
// error. A null or empty log directory means install root + "\LOGFILES".
ERRLOGGR_API DWORD NTErrorInit(DWORD outputs, HINSTANCE module, WORD reportMask, WORD debugMask,
                               LPCWSTR logDirectory, DWORD* handle);

// Replace the report (event types) or debug (trace classes) mask from then
// on. 0, or ERROR_INVALID_HANDLE.
ERRLOGGR_API DWORD NTErrorSetReport(DWORD handle, WORD reportMask);
ERRLOGGR_API DWORD NTErrorSetDebug(DWORD handle, WORD debugMask);

// Formats `format` (a FormatMessage template, %1!d! etc.) with the inserts
// that `args` points to (a va_list*, read in insert order; may be null when
// the template has none) and writes it as described above. When anything is
// written the text, cut to bufferChars - 1 characters, is also left in
// `buffer` (if not null); the cut text is what is written. A template that
// cannot be formatted with its inserts is written as it stands. Returns 0
// (also when the masks select nothing), ERROR_INVALID_HANDLE,
// ERROR_NOT_ENOUGH_MEMORY (the line is lost) or
// ERROR_INVALID_PARAMETER (null format).
ERRLOGGR_API DWORD NTErrorLogFormatPtr(DWORD handle, WORD eventType, WORD traceClass, DWORD eventId,
                                       LPWSTR buffer, DWORD bufferChars, LPCWSTR format,
                                       va_list* args);

// Gives the handle back: 0, or ERROR_INVALID_HANDLE.
ERRLOGGR_API DWORD NTErrorDeInit(DWORD handle);

WL_EXTERN_C_END
