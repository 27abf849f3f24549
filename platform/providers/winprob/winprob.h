// libwinprob.so: system information for the host resources library, in the
// call shapes and record layouts it reads. C linkage, undecorated names.
//
// Handles: W32Register hands out a non-zero 16-bit handle; every other call
// takes it and fails on a handle that is not registered (ERROR_INVALID_HANDLE
// from single-value calls, -1 from list calls).
//
// List calls return the number of records (0 or more) and set *records to an
// array of fixed-size records laid end to end, or to null when there are none;
// a negative result is a failure (*records is null then). The 32-bit value
// argument is not read. Records belong to the provider: hand the pointer back
// with W32FreeResource. A pointer that this provider did not hand out, or one
// already freed, is refused and left alone.
//
// Single-value calls return 0 on success (a Win32 error code otherwise) and
// write through their pointer arguments only on success.
//
// WARDENLINE_PROVIDERS names a JSON fixture that replaces the answer of any
// call it lists (docs/hostres-providers.md); WARDENLINE_HOST_ROOT moves the
// directory under which /proc, /sys, /run and /var are read (default "/").
//
// Thread safety: every call may be made from any thread.
#pragma once

#include <stddef.h>

#include "win32/types.h"

#define WINPROB_API extern "C" __attribute__((visibility("default")))

// An object identifier: a length and at most 20 sub-identifiers.
struct HROBJECTID {
  DWORD length;
  DWORD ids[20];
};
static_assert(sizeof(HROBJECTID) == 84);

// Storage area types (RFC 1514/2790 hrStorageTypes, last arc).
enum : DWORD {
  kStorageOther = 1,
  kStorageRam = 2,
  kStorageVirtualMemory = 3,
  kStorageFixedDisk = 4,
  kStorageRemovableDisk = 5,
  kStorageCompactDisc = 7,
  kStorageRamDisk = 8,
  kStorageNetworkDisk = 10,
};

// The kind of local time that W32GetSystemTimeZone reports: the value that
// GetTimeZoneInformation returns (0 unknown, 1 standard time, 2 daylight time).
typedef DWORD HRTimeZone;

struct W32StorageRecord {
  DWORD type;  // kStorage...; 0 = unused record
  WCHAR description[514];
  DWORD allocationUnits;  // bytes per unit
  DWORD size;             // in units, at most 2^31 - 1
  DWORD used;             // in units, at most size
  DWORD allocationFailures;
  WCHAR label[258];  // the mount point, "Physical memory" or the swap area's path
  INT hardDisk;
  INT partition;
};
static_assert(offsetof(W32StorageRecord, description) == 4);
static_assert(offsetof(W32StorageRecord, allocationUnits) == 1032);
static_assert(offsetof(W32StorageRecord, size) == 1036);
static_assert(offsetof(W32StorageRecord, used) == 1040);
static_assert(offsetof(W32StorageRecord, allocationFailures) == 1044);
static_assert(offsetof(W32StorageRecord, label) == 1048);
static_assert(offsetof(W32StorageRecord, hardDisk) == 1564);
static_assert(offsetof(W32StorageRecord, partition) == 1568);
static_assert(sizeof(W32StorageRecord) == 1572);

struct W32DeviceRecord {
  DWORD type;  // RFC 1514 hrDeviceTypes, last arc
  WCHAR description[514];
  HROBJECTID deviceId;
  DWORD status;  // hrDeviceStatus
  DWORD errors;
  DWORD media;  // hrDiskStorageMedia of a disk, else 2 (unknown)
  INT hardDisk;
  DWORD signature;
  BYTE mac[6];
  WORD interfaceType;  // IANA ifType of a network device
  WORD networkIndex;
  WCHAR printerName[257];
  HROBJECTID firmwareId;  // of a processor: 0.0.n for processor n
};
static_assert(offsetof(W32DeviceRecord, description) == 4);
static_assert(offsetof(W32DeviceRecord, deviceId) == 1032);
static_assert(offsetof(W32DeviceRecord, status) == 1116);
static_assert(offsetof(W32DeviceRecord, errors) == 1120);
static_assert(offsetof(W32DeviceRecord, media) == 1124);
static_assert(offsetof(W32DeviceRecord, hardDisk) == 1128);
static_assert(offsetof(W32DeviceRecord, signature) == 1132);
static_assert(offsetof(W32DeviceRecord, mac) == 1136);
static_assert(offsetof(W32DeviceRecord, interfaceType) == 1142);
static_assert(offsetof(W32DeviceRecord, networkIndex) == 1144);
static_assert(offsetof(W32DeviceRecord, printerName) == 1146);
static_assert(offsetof(W32DeviceRecord, firmwareId) == 1660);
static_assert(sizeof(W32DeviceRecord) == 1744);

struct W32ProcessorRecord {
  HROBJECTID firmwareId;
};
static_assert(sizeof(W32ProcessorRecord) == 84);

struct W32NetworkRecord {
  BYTE mac[6];
  WORD reserved;
  DWORD interfaceIndex;  // the kernel's ifindex (IF-MIB ifIndex)
  WORD networkIndex;
  WORD reserved2;
};
static_assert(offsetof(W32NetworkRecord, interfaceIndex) == 8);
static_assert(offsetof(W32NetworkRecord, networkIndex) == 12);
static_assert(sizeof(W32NetworkRecord) == 16);

struct W32PrinterRecord {
  WCHAR name[258];
  DWORD status;  // hrPrinterStatus
  DWORD detectedErrorState;
};
static_assert(offsetof(W32PrinterRecord, status) == 516);
static_assert(offsetof(W32PrinterRecord, detectedErrorState) == 520);
static_assert(sizeof(W32PrinterRecord) == 524);

struct W32DiskStorageRecord {
  WCHAR name[32];  // the kernel's name of the disk
  DWORD access;    // hrDiskStorageAccess
  INT removable;
  DWORD capacity;  // KB, at most 2^31 - 1
  DWORD signature;
  DWORD reserved[2];
  DWORD media;
  INT hardDisk;
};
static_assert(offsetof(W32DiskStorageRecord, access) == 64);
static_assert(offsetof(W32DiskStorageRecord, removable) == 68);
static_assert(offsetof(W32DiskStorageRecord, capacity) == 72);
static_assert(offsetof(W32DiskStorageRecord, media) == 88);
static_assert(offsetof(W32DiskStorageRecord, hardDisk) == 92);
static_assert(sizeof(W32DiskStorageRecord) == 96);

struct W32PartitionRecord {
  INT hardDisk;
  INT partition;
  DWORD reserved;
  WCHAR label[258];
  DWORD size;  // KB, at most 2^31 - 1
  DWORD type;  // the MBR partition type byte where known, else 0
  WCHAR reserved2[514];
};
static_assert(offsetof(W32PartitionRecord, label) == 12);
static_assert(offsetof(W32PartitionRecord, size) == 528);
static_assert(offsetof(W32PartitionRecord, type) == 532);
static_assert(sizeof(W32PartitionRecord) == 1564);

struct W32FileSystemRecord {
  INT hardDisk;
  INT partition;
  DWORD reserved;
  DWORD type;    // RFC 2790 hrFSTypes, last arc
  DWORD access;  // hrFSAccess
  INT bootable;
  SYSTEMTIME lastFullBackup;
  SYSTEMTIME lastPartialBackup;
};
static_assert(offsetof(W32FileSystemRecord, type) == 12);
static_assert(offsetof(W32FileSystemRecord, access) == 16);
static_assert(offsetof(W32FileSystemRecord, bootable) == 20);
static_assert(offsetof(W32FileSystemRecord, lastFullBackup) == 24);
static_assert(offsetof(W32FileSystemRecord, lastPartialBackup) == 40);
static_assert(sizeof(W32FileSystemRecord) == 56);

// Writes 0 to *versions when it is not null; returns 1.
WINPROB_API int WINPROB_GetSupportedVersions(int32_t* versions);
WINPROB_API int W32Register(WORD* handle);
WINPROB_API int W32Deregister(WORD handle);
// The time of the last change of the installed software (UTC).
WINPROB_API int W32GetSWInstalledLastChange(WORD handle, SYSTEMTIME* time);
// Hundredths of a second since boot, wrapping at 2^32.
WINPROB_API int W32GetSystemUptime(WORD handle, DWORD* uptime);
WINPROB_API int W32GetSystemTime(WORD handle, SYSTEMTIME* localTime);
WINPROB_API int W32GetSystemTimeZone(WORD handle, TIME_ZONE_INFORMATION* zone, HRTimeZone* kind);
// Sessions of users logged in (utmp USER_PROCESS entries).
WINPROB_API int W32GetUserCount(WORD handle, DWORD* users);
// Physical memory in bytes, 64-bit so that machines above 4 GiB report right.
WINPROB_API int W32GetMemorySize(WORD handle, ULONGLONG* bytes);
WINPROB_API int W32GetStorage(WORD handle, DWORD reserved, W32StorageRecord** records,
                              DWORD* unused);
WINPROB_API int W32GetDevice(WORD handle, DWORD reserved, W32DeviceRecord** records, DWORD* unused);
WINPROB_API int W32GetProcessor(WORD handle, W32ProcessorRecord** records, DWORD* unused);
WINPROB_API int W32GetNetwork(WORD handle, W32NetworkRecord** records, DWORD* unused);
WINPROB_API int W32GetPrinter(WORD handle, W32PrinterRecord** records, DWORD* unused);
WINPROB_API int W32GetDiskStorage(WORD handle, W32DiskStorageRecord** records, DWORD* unused);
WINPROB_API int W32GetPartition(WORD handle, W32PartitionRecord** records, DWORD* unused);
WINPROB_API int W32GetFileSystem(WORD handle, W32FileSystemRecord** records, DWORD* unused);
// Frees records of a list call. 0, or ERROR_INVALID_PARAMETER for a pointer
// this provider does not hold.
WINPROB_API int W32FreeResource(WORD handle, void* records);
