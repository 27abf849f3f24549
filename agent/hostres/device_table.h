// The device table (hrDeviceTable) with its four extension tables. Rows come
// from the Win32 provider's device list, completed and extended by the
// provider's processor, printer, disk and network lists and the registry
// provider's disk and keyboard details; video adapters, parallel ports,
// pointing devices and serial ports come from the registry provider alone.
//
// Indexes are handed out by a counter that survives rebuilds
// (m_ul_lastUsedDeviceIndex): a device that stays keeps its index, a new one
// gets a number never used before while the library is loaded. Every walk
// can be kept to one device type (0: every type).
//
// The rows belong to g_p_deviceList (null until hrInit builds it) and stay
// valid until the next rebuild of the table (any hrRefresh of the storage
// family) or unload. Result codes: 0, 1200 (memory), 1208 (a provider list
// failed; build failed), 1209 (refresh failed), 1229 (a list that should be
// empty is not). Not thread safe (see table_list.h).
#pragma once

#include "agent/hostres/device_entry.h"
#include "agent/hostres/hostscan.h"
#include "agent/hostres/result_codes.h"
#include "agent/hostres/table_list.h"

// The device list: the device slot of the library's table lists.
extern CObList*& g_p_deviceList;

class HOSTSCAN_CLASS CDeviceTable {
 public:
  CDeviceTable() = default;
  virtual ~CDeviceTable() = default;
  CDeviceTable(const CDeviceTable&) = default;
  CDeviceTable& operator=(const CDeviceTable&) = default;

  // Builds the table when it does not exist (resetting the index counter):
  // 0 or 1208.
  static DWORD hrInit();
  // Rebuilds the storage family, device table first: the device, storage,
  // file-system and partition tables, stopping at the first failure, whose
  // code is returned (1209 for the device table).
  static DWORD hrRefresh();
  // Rebuilds the device table keeping indexes; the old table stays when the
  // build fails (1209). Nothing (0) before the first hrInit.
  static DWORD Refresh();
  // The row with `index`, or null.
  static CDeviceEntry* hrGet(DWORD index);
  // Without a cursor: the first row of `type` in `list` after the row with
  // `index` (the first of the list for index 0; type 0 takes any type);
  // `index` becomes the result's index, or 0 with a null result.
  static CDeviceEntry* GetNextEx(CObList* list, DWORD& index, HRDEVICETYPE type);
  // Frees a list with every row and its extension; leaves the pointer null.
  static void CleanupTable(CObList*& list);

  // The next row of `type` after the row with `index` (the first for 0),
  // with this object's cursor: a walk that feeds each index back costs one
  // step per row passed. `index` becomes the result's index, or 0 at the end.
  CDeviceEntry* hrGetNext(DWORD& index, HRDEVICETYPE type = HR_DEVICE_ALL);
  // The number of rows of `type` (0: all rows); 0 without a table.
  DWORD hrGetEntryCount(HRDEVICETYPE type = HR_DEVICE_ALL);

  // The disk signature in a disk identifier "<name>-<hex>-<kind>": the field
  // after the first "-" up to the next "-" or the end (at most 65
  // characters), read as hexadecimal; 0 without a "-". A null identifier
  // gives 0.
  static DWORD GetDiskSignature(const WCHAR* identifier);

  // The highest index handed out.
  static DWORD m_ul_lastUsedDeviceIndex;

 private:
  // A new list into `list`, which must be null (else 1229), numbering rows
  // from `counter` (set to 0 first): 0, 1200 or 1208; null on failure.
  static DWORD BuildTable(CObList*& list, DWORD& counter);
  // Carries indexes over from the old list to the new one by each type's
  // key; rows left over get new numbers from m_ul_lastUsedDeviceIndex.
  static void UpdateIndexInNewTable(CObList*& oldList, CObList*& newList);

  // Loaders that complete or extend the Win32 provider's rows.
  static DWORD LoadProcessor(CObList* list);
  static DWORD LoadNetwork(CObList* list);
  static DWORD LoadPrinter(CObList* list);
  static DWORD LoadDiskStorage(CObList* list);
  static DWORD LoadScsiDiskStorage(CObList* list);
  static DWORD LoadNonScsiDiskStorage(CObList* list);
  static DWORD LoadKeyboard(CObList* list);
  // Loaders that add rows of their own, numbered from `counter`.
  static DWORD LoadVideo(CObList* list, DWORD& counter);
  static DWORD LoadParallelPort(CObList* list, DWORD& counter);
  static DWORD LoadPointerPort(CObList* list, DWORD& counter);
  static DWORD LoadSerialComm(CObList* list, DWORD& counter);

  // The cursor walk behind hrGetNext (index non-zero).
  CDeviceEntry* GetNextEntry(DWORD& index, HRDEVICETYPE type);

  HrCursor m_pos_cursor;
};
