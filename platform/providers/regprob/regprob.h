// libregprob.so: device details and installed software for the host resources
// library, in the call shapes and record layouts it reads. C linkage.
//
// The rules of libwinprob.so apply (winprob.h): registered handles, list calls
// returning a count or a negative failure with records owned by the provider
// and handed back with RegFreeResource (which refuses pointers it does not
// hold), the WARDENLINE_PROVIDERS fixture and WARDENLINE_HOST_ROOT.
//
// Strings are NUL-terminated UTF-16, truncated to their field. Start values
// follow the Windows service start types: 1 a driver is bound to the device,
// 4 the device is disabled (no driver bound).
//
// Thread safety: every call may be made from any thread.
#pragma once

#include <stddef.h>

#include "win32/types.h"

#define REGPROB_API extern "C" __attribute__((visibility("default")))

enum : DWORD { kStartBound = 1, kStartDisabled = 4 };

// The middle "-" field of `identifier` of the disk records is the disk
// signature in hexadecimal: "<kernel name>-<signature>-<MBR|GPT|NONE>".
struct RegScsiDiskRecord {
  WCHAR driver[257];  // "sd" or "sr"
  WCHAR name[257];    // vendor and model
  WCHAR identifier[257];
  WCHAR bus[257];
  DWORD reserved;
  DWORD media;  // hrDiskStorageMedia: 3 hard disk, 5 optical
};
static_assert(offsetof(RegScsiDiskRecord, name) == 514);
static_assert(offsetof(RegScsiDiskRecord, identifier) == 1028);
static_assert(offsetof(RegScsiDiskRecord, bus) == 1542);
static_assert(offsetof(RegScsiDiskRecord, media) == 2060);
static_assert(sizeof(RegScsiDiskRecord) == 2064);

struct RegNonScsiDiskRecord {
  WCHAR serial[257];
  WCHAR firmware[257];
  WCHAR name[257];
  WCHAR identifier[257];
  DWORD reserved;
  WCHAR bus[257];
  WORD reserved2;
  DWORD reserved3;
  DWORD media;
};
static_assert(offsetof(RegNonScsiDiskRecord, firmware) == 514);
static_assert(offsetof(RegNonScsiDiskRecord, name) == 1028);
static_assert(offsetof(RegNonScsiDiskRecord, identifier) == 1542);
static_assert(offsetof(RegNonScsiDiskRecord, bus) == 2060);
static_assert(offsetof(RegNonScsiDiskRecord, media) == 2580);
static_assert(sizeof(RegNonScsiDiskRecord) == 2584);

struct RegKeyboardRecord {
  WCHAR driver[257];
  WCHAR deviceClass[257];
  WCHAR device[257];  // the kernel's input device ("input3")
  WCHAR name[257];
  WCHAR bus[257];
  WORD reserved;
  DWORD start;
};
static_assert(offsetof(RegKeyboardRecord, deviceClass) == 514);
static_assert(offsetof(RegKeyboardRecord, name) == 1542);
static_assert(offsetof(RegKeyboardRecord, bus) == 2056);
static_assert(offsetof(RegKeyboardRecord, start) == 2572);
static_assert(sizeof(RegKeyboardRecord) == 2576);

struct RegVideoRecord {
  WCHAR driver[257];
  WCHAR name[257];
  DWORD vgaCompatible;
  WCHAR controller[257];
  WCHAR peripheral[257];  // the PCI address; also the identifier
  WCHAR bus[257];
  WORD reserved;
  DWORD start;
  DWORD reserved2[2];
};
static_assert(offsetof(RegVideoRecord, name) == 514);
static_assert(offsetof(RegVideoRecord, vgaCompatible) == 1028);
static_assert(offsetof(RegVideoRecord, controller) == 1032);
static_assert(offsetof(RegVideoRecord, peripheral) == 1546);
static_assert(offsetof(RegVideoRecord, bus) == 2060);
static_assert(offsetof(RegVideoRecord, start) == 2576);
static_assert(sizeof(RegVideoRecord) == 2588);

// Parallel and serial ports share one shape; the controller is the identifier.
struct RegPortRecord {
  WCHAR name[257];
  WCHAR controller[257];
  WCHAR driver[257];
  WCHAR bus[257];
  DWORD start;
};
static_assert(offsetof(RegPortRecord, controller) == 514);
static_assert(offsetof(RegPortRecord, bus) == 1542);
static_assert(offsetof(RegPortRecord, start) == 2056);
static_assert(sizeof(RegPortRecord) == 2060);

struct RegSerialRecord {
  RegPortRecord port;
  DWORD reserved;
};
static_assert(sizeof(RegSerialRecord) == 2064);

struct RegPointerRecord {
  WCHAR driver[257];
  WCHAR deviceClass[257];
  WCHAR device[257];
  WCHAR name[257];  // also the identifier
  WCHAR bus[257];
  WORD reserved;
  DWORD start;
  DWORD reserved2;
  WCHAR description[258];
};
static_assert(offsetof(RegPointerRecord, deviceClass) == 514);
static_assert(offsetof(RegPointerRecord, name) == 1542);
static_assert(offsetof(RegPointerRecord, bus) == 2056);
static_assert(offsetof(RegPointerRecord, start) == 2572);
static_assert(offsetof(RegPointerRecord, description) == 2580);
static_assert(sizeof(RegPointerRecord) == 3096);

enum : DWORD { kSoftwareService = 1, kSoftwarePackage = 2 };
enum : DWORD { kTypeDeviceDriver = 1, kTypeOperatingSystem = 2, kTypeApplication = 3 };

struct RegSoftwareRecord {
  DWORD kind;              // kSoftwareService or kSoftwarePackage
  WCHAR origin[257];       // "dpkg", or the unit file's path
  WCHAR name[257];         // package name, or unit name ("ssh.service")
  WCHAR displayName[257];  // a unit's Description; empty for packages
  WCHAR pathName[517];     // a unit's program (first word of ExecStart)
  DWORD major;
  DWORD minor;
  WCHAR version[257];
  WCHAR qualifier[257];  // the package's architecture, or "systemd"
  WCHAR command[514];    // a unit's ExecStart
  DWORD type;            // kType...
  DWORD installTime;     // seconds since 1970 (UTC), 0 = unknown
  DWORD reserved;
};
static_assert(offsetof(RegSoftwareRecord, name) == 518);
static_assert(offsetof(RegSoftwareRecord, displayName) == 1032);
static_assert(offsetof(RegSoftwareRecord, pathName) == 1546);
static_assert(offsetof(RegSoftwareRecord, major) == 2580);
static_assert(offsetof(RegSoftwareRecord, minor) == 2584);
static_assert(offsetof(RegSoftwareRecord, version) == 2588);
static_assert(offsetof(RegSoftwareRecord, qualifier) == 3102);
static_assert(offsetof(RegSoftwareRecord, command) == 3616);
static_assert(offsetof(RegSoftwareRecord, type) == 4644);
static_assert(offsetof(RegSoftwareRecord, installTime) == 4648);
static_assert(sizeof(RegSoftwareRecord) == 4656);

// Writes 0 to *versions when it is not null; returns 1.
REGPROB_API int REGPROB_GetSupportedVersions(int32_t* versions);
REGPROB_API int RegRegister(WORD* handle);
REGPROB_API int RegDeregister(WORD handle);
// The install root: HKLM "Software\Tarvex\Wardenline\CurrentVersion" value
// "PathName". 0 and a string to hand back with RegFreeResource, or a Win32
// error code.
REGPROB_API int RegGetWardenlinePathName(WORD handle, WCHAR** path);
REGPROB_API int RegGetScsiDiskStorage(WORD handle, RegScsiDiskRecord** records, DWORD* unused);
REGPROB_API int RegGetNonScsiDiskStorage(WORD handle, RegNonScsiDiskRecord** records,
                                         DWORD* unused);
REGPROB_API int RegGetKeyboard(WORD handle, RegKeyboardRecord** records, DWORD* unused);
REGPROB_API int RegGetDeviceVideo(WORD handle, RegVideoRecord** records, DWORD* unused);
REGPROB_API int RegGetParallelPort(WORD handle, RegPortRecord** records, DWORD* unused);
REGPROB_API int RegGetPointerPort(WORD handle, RegPointerRecord** records, DWORD* unused);
REGPROB_API int RegGetSerialComm(WORD handle, RegSerialRecord** records, DWORD* unused);
// Debian packages, then systemd service units.
REGPROB_API int RegGetSoftwareInstalled(WORD handle, RegSoftwareRecord** records, DWORD* unused);
// 0, or ERROR_INVALID_PARAMETER for a pointer this provider does not hold.
REGPROB_API int RegFreeResource(WORD handle, void* resource);
