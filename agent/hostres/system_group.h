// The system group (hrSystem): scalars asked of the providers and the
// performance helper at every call; nothing is kept.
//
// Thread safety: any thread (the providers and the helper serialize
// themselves), but the consumer calls from one thread at a time.
#pragma once

#include "agent/hostres/hostscan.h"
#include "mfc/afxstr.h"
#include "platform/providers/winprob/winprob.h"

class HOSTSCAN_CLASS CSystemGroup {
 public:
  // Hundredths of a second since boot (0 on failure): 0 or 1201.
  static DWORD hrSystemUptimeGet(DWORD& value);
  // Local date and time with the zone and its kind: 0 or 1202.
  static DWORD hrSystemDateGet(SYSTEMTIME& date, TIME_ZONE_INFORMATION& zone, HRTimeZone& kind);
  // Always 0 with value 0: no load device is known.
  static DWORD hrSystemInitialLoadDeviceGet(DWORD& value);
  // Always 0; the string is left as it is.
  static DWORD hrSystemInitialLoadParametersGet(CString& value);
  // User sessions (0 on failure): 0 or 1203.
  static DWORD hrSystemNumUsersGet(DWORD& value);
  // The number of process instances the performance helper lists. Always 0.
  static DWORD hrSystemProcessesGet(DWORD& value);
  // Always 0 with value 0: no fixed limit.
  static DWORD hrSystemMaxProcessesGet(DWORD& value);
};
