// The exports of libregprob.so.
#include "collect.h"
#include "provider_calls.h"
#include "regprob.h"
#include "schema.h"
#include "text.h"

namespace {

using wl::host::Host;

wl::host::ProviderState& State() {
  static auto* state = new wl::host::ProviderState;  // outlives exit handlers
  return *state;
}

}  // namespace

int REGPROB_GetSupportedVersions(int32_t* versions) {
  if (versions) *versions = 0;
  return 1;
}

int RegRegister(WORD* handle) {
  if (!handle) return ERROR_INVALID_PARAMETER;
  *handle = State().Register();
  return *handle ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

int RegDeregister(WORD handle) { return State().Deregister(handle) ? 0 : ERROR_INVALID_HANDLE; }

int RegGetWardenlinePathName(WORD handle, WCHAR** path) {
  if (!path) return ERROR_INVALID_PARAMETER;
  *path = nullptr;
  wl::host::PathAnswer answer{};
  const int result = wl::host::ValueCall(State(), "RegGetWardenlinePathName", handle, &answer,
                                         [](const Host&, wl::host::PathAnswer* out) {
                                           std::u16string text;
                                           const int status = wl::regprob::InstallPath(&text);
                                           if (status != 0) return status;
                                           if (text.size() >= std::size(out->path))
                                             return static_cast<int>(ERROR_INSUFFICIENT_BUFFER);
                                           std::copy(text.begin(), text.end(), out->path);
                                           return 0;
                                         });
  if (result != 0) return result;
  *path = State().HandOutString(wl::host::WideField(answer.path, std::size(answer.path)));
  return *path ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

int RegGetScsiDiskStorage(WORD handle, RegScsiDiskRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "RegGetScsiDiskStorage", handle, records,
                            wl::regprob::ScsiDisks);
}

int RegGetNonScsiDiskStorage(WORD handle, RegNonScsiDiskRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "RegGetNonScsiDiskStorage", handle, records,
                            wl::regprob::NonScsiDisks);
}

int RegGetKeyboard(WORD handle, RegKeyboardRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "RegGetKeyboard", handle, records, wl::regprob::Keyboards);
}

int RegGetDeviceVideo(WORD handle, RegVideoRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "RegGetDeviceVideo", handle, records, wl::regprob::Video);
}

int RegGetParallelPort(WORD handle, RegPortRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "RegGetParallelPort", handle, records,
                            wl::regprob::ParallelPorts);
}

int RegGetPointerPort(WORD handle, RegPointerRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "RegGetPointerPort", handle, records, wl::regprob::Pointers);
}

int RegGetSerialComm(WORD handle, RegSerialRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "RegGetSerialComm", handle, records, wl::regprob::SerialPorts);
}

int RegGetSoftwareInstalled(WORD handle, RegSoftwareRecord** records, DWORD*) {
  return wl::host::ListCall(State(), "RegGetSoftwareInstalled", handle, records,
                            wl::regprob::Software);
}

int RegFreeResource(WORD, void* resource) {
  if (!resource) return 0;
  return State().Free(resource) ? 0 : ERROR_INVALID_PARAMETER;
}
