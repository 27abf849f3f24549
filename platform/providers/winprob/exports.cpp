// The exports of libwinprob.so.
#include "collect.h"
#include "provider_calls.h"
#include "schema.h"
#include "win32/timeapi.h"
#include "winprob.h"

namespace {

using wl::host::Host;

wl::host::ProviderState& State() {
  static auto* state = new wl::host::ProviderState;  // outlives exit handlers
  return *state;
}

}  // namespace

int WINPROB_GetSupportedVersions(int32_t* versions) {
  if (versions) *versions = 0;
  return 1;
}

int W32Register(WORD* handle) {
  if (!handle) return ERROR_INVALID_PARAMETER;
  *handle = State().Register();
  return *handle ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

int W32Deregister(WORD handle) { return State().Deregister(handle) ? 0 : ERROR_INVALID_HANDLE; }

int W32GetSWInstalledLastChange(WORD handle, SYSTEMTIME* time) {
  return wl::host::ValueCall(State(), "W32GetSWInstalledLastChange", handle, time,
                             [](const Host& host, SYSTEMTIME* out) {
                               *out = wl::winprob::LastSoftwareChange(host);
                               return 0;
                             });
}

int W32GetSystemUptime(WORD handle, DWORD* uptime) {
  return wl::host::ValueCall(State(), "W32GetSystemUptime", handle, uptime,
                             [](const Host& host, DWORD* out) {
                               return wl::winprob::Uptime(host, out) ? 0 : ERROR_READ_FAULT;
                             });
}

int W32GetSystemTime(WORD handle, SYSTEMTIME* localTime) {
  return wl::host::ValueCall(State(), "W32GetSystemTime", handle, localTime,
                             [](const Host&, SYSTEMTIME* out) {
                               GetLocalTime(out);
                               return 0;
                             });
}

int W32GetSystemTimeZone(WORD handle, TIME_ZONE_INFORMATION* zone, HRTimeZone* kind) {
  if (!zone || !kind) return ERROR_INVALID_PARAMETER;
  wl::host::TimeZoneAnswer answer{};
  const int result = wl::host::ValueCall(State(), "W32GetSystemTimeZone", handle, &answer,
                                         [](const Host&, wl::host::TimeZoneAnswer* out) {
                                           const DWORD id = GetTimeZoneInformation(&out->zone);
                                           if (id == TIME_ZONE_ID_INVALID)
                                             return static_cast<int>(GetLastError());
                                           out->kind = id;
                                           return 0;
                                         });
  if (result == 0) {
    *zone = answer.zone;
    *kind = answer.kind;
  }
  return result;
}

int W32GetUserCount(WORD handle, DWORD* users) {
  return wl::host::ValueCall(State(), "W32GetUserCount", handle, users,
                             [](const Host& host, DWORD* out) {
                               return wl::winprob::UserCount(host, out) ? 0 : ERROR_READ_FAULT;
                             });
}

int W32GetMemorySize(WORD handle, ULONGLONG* bytes) {
  return wl::host::ValueCall(State(), "W32GetMemorySize", handle, bytes,
                             [](const Host& host, ULONGLONG* out) {
                               return wl::winprob::MemoryBytes(host, out) ? 0 : ERROR_READ_FAULT;
                             });
}

int W32GetStorage(WORD handle, DWORD, W32StorageRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "W32GetStorage", handle, records, wl::winprob::Storage);
}

int W32GetDevice(WORD handle, DWORD, W32DeviceRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "W32GetDevice", handle, records, wl::winprob::Devices);
}

int W32GetProcessor(WORD handle, W32ProcessorRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "W32GetProcessor", handle, records, wl::winprob::Processors);
}

int W32GetNetwork(WORD handle, W32NetworkRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "W32GetNetwork", handle, records, wl::winprob::Networks);
}

int W32GetPrinter(WORD handle, W32PrinterRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "W32GetPrinter", handle, records, wl::winprob::Printers);
}

int W32GetDiskStorage(WORD handle, W32DiskStorageRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "W32GetDiskStorage", handle, records,
                            wl::winprob::DiskStorage);
}

int W32GetPartition(WORD handle, W32PartitionRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "W32GetPartition", handle, records, wl::winprob::Partitions);
}

int W32GetFileSystem(WORD handle, W32FileSystemRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "W32GetFileSystem", handle, records, wl::winprob::FileSystems);
}

int W32FreeResource(WORD, void* records) {
  if (!records) return 0;
  return State().Free(records) ? 0 : ERROR_INVALID_PARAMETER;
}
