#include "agent/hostres/system_group.h"

#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/perfhelper/perfpeek.h"

namespace {

constexpr int kInstanceProcess = 6;
constexpr unsigned kNameBuffer = 257;

}  // namespace

DWORD CSystemGroup::hrSystemUptimeGet(DWORD& value) {
  value = 0;
  return W32GetSystemUptime(g_w_w32Handle, &value) == 0
             ? 0
             : static_cast<DWORD>(HR_RESULT_SYSTEM_UPTIME);
}

DWORD CSystemGroup::hrSystemDateGet(SYSTEMTIME& date, TIME_ZONE_INFORMATION& zone,
                                    HRTimeZone& kind) {
  if (W32GetSystemTime(g_w_w32Handle, &date) != 0) return HR_RESULT_SYSTEM_DATE;
  if (W32GetSystemTimeZone(g_w_w32Handle, &zone, &kind) != 0) return HR_RESULT_SYSTEM_DATE;
  return 0;
}

DWORD CSystemGroup::hrSystemInitialLoadDeviceGet(DWORD& value) {
  value = 0;
  return 0;
}

DWORD CSystemGroup::hrSystemInitialLoadParametersGet(CString& /*value*/) { return 0; }

DWORD CSystemGroup::hrSystemNumUsersGet(DWORD& value) {
  value = 0;
  return W32GetUserCount(g_w_w32Handle, &value) == 0 ? 0
                                                     : static_cast<DWORD>(HR_RESULT_SYSTEM_USERS);
}

DWORD CSystemGroup::hrSystemProcessesGet(DWORD& value) {
  value = 0;
  for (int position = 1;; ++position) {
    char name[kNameBuffer] = {};
    if (PERF_GetObjectInstance(position, kInstanceProcess, name, kNameBuffer) != 0) break;
    ++value;
  }
  return 0;
}

DWORD CSystemGroup::hrSystemMaxProcessesGet(DWORD& value) {
  value = 0;
  return 0;
}
