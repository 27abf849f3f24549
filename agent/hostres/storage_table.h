// The storage group (hrMemorySize) and the storage table (hrStorageTable):
// one row per storage area the Win32 provider reports (physical memory, swap
// areas, mounted file systems), in the provider's order. A row first gets its
// provider position + 1 as index (a record of type 0 is skipped and leaves a
// gap); a rebuild gives every area whose label was there before its old index
// and numbers new areas above every index seen and the new row count.
//
// Rows belong to the global list g_p_storageList and stay valid until the
// next rebuild of the storage family (any of its hrRefresh) or unload. Not
// thread safe (see table_list.h).
#pragma once

#include "agent/hostres/hostscan.h"
#include "agent/hostres/table_list.h"
#include "mfc/afxstr.h"

// hrStorageType as the provider numbers it (the last arc of hrStorageTypes);
// other values are passed through.
enum HRSTORAGETYPE : DWORD {
  HR_STORAGE_OTHER = 1,
  HR_STORAGE_RAM = 2,
  HR_STORAGE_VIRTUAL_MEMORY = 3,
  HR_STORAGE_FIXED_DISK = 4,
  HR_STORAGE_REMOVABLE_DISK = 5,
  HR_STORAGE_FLOPPY_DISK = 6,
  HR_STORAGE_COMPACT_DISC = 7,
  HR_STORAGE_RAM_DISK = 8,
};

// The storage table's list (null until CStorageTable::hrInit builds it).
extern CObList*& g_p_storageList;

class HOSTSCAN_CLASS CStorageEntry : public CObject {
 public:
  CStorageEntry();
  ~CStorageEntry() override;

  // A null description or label reads as empty.
  void EntrySet(DWORD index, HRSTORAGETYPE type, const WCHAR* description, DWORD allocationUnits,
                DWORD size, DWORD used, DWORD allocationFailures, const WCHAR* label, int harddisk,
                int partition);
  void hrEntryGet(DWORD& index, HRSTORAGETYPE& type, CString& description, DWORD& allocationUnits,
                  DWORD& size, DWORD& used, DWORD& allocationFailures) const;
  void StorageIndexSet(DWORD index) { m_ul_index = index; }

  DWORD hrStorageIndexGet() const { return m_ul_index; }
  HRSTORAGETYPE hrStorageTypeGet() const { return m_e_type; }
  const CString& hrStorageDescrGet() const { return m_s_description; }
  DWORD hrStorageAllocationUnitsGet() const { return m_ul_allocationUnits; }
  DWORD hrStorageSizeGet() const { return m_ul_size; }
  DWORD hrStorageUsedGet() const { return m_ul_used; }
  DWORD hrStorageAllocationFailuresGet() const { return m_ul_allocationFailures; }
  // The provider's label of the area (the key kept across rebuilds).
  const CString& StorageLabelGet() const { return m_s_label; }
  // The (hard disk, partition) pair the file-system table refers by.
  int HarddiskGet() const { return m_i_harddisk; }
  int PartitionGet() const { return m_i_partition; }

 private:
  DWORD m_ul_index = 0;
  HRSTORAGETYPE m_e_type{};  // 0 until EntrySet; never 0 in a built table
  CString m_s_description;
  DWORD m_ul_allocationUnits = 0;
  DWORD m_ul_size = 0;
  DWORD m_ul_used = 0;
  DWORD m_ul_allocationFailures = 0;
  CString m_s_label;
  int m_i_harddisk = 0;
  int m_i_partition = 0;
};

class HOSTSCAN_CLASS CStorageTable {
 public:
  CStorageTable() = default;
  virtual ~CStorageTable() = default;
  CStorageTable(const CStorageTable&) = default;
  CStorageTable& operator=(const CStorageTable&) = default;

  // Builds the table when it does not exist: 0, 1200 or 1206.
  static DWORD hrInit();
  // Rebuilds the storage family (storage, file systems, devices,
  // partitions), stopping at the first failure: 0 or that table's code.
  static DWORD hrRefresh();
  // The row with that index, or null (also for 0 and before hrInit).
  CStorageEntry* hrGet(DWORD index);
  // The row after the one with `index` in list order (the first for 0);
  // `index` becomes its index, or 0 at the end.
  CStorageEntry* hrGetNext(DWORD& index);
  DWORD hrGetEntryCount();

  // Rebuilds a built table keeping indexes (nothing before hrInit): 0, or
  // 1207 with the old table kept.
  static DWORD Refresh();
  // Frees a list and its rows; the pointer becomes null.
  static void CleanupTable(CObList*& list);

 private:
  // A new list from the provider into `list` (null on failure): 0 or 1206.
  static DWORD BuildTable(CObList*& list);
  // Labels carry indexes from the old list to the new one.
  static void UpdateIndexInNewTable(CObList*& oldList, CObList*& newList);

  HrCursor m_pos_cursor;
};

class HOSTSCAN_CLASS CStorageGroup {
 public:
  // Physical memory in KB (0 when the provider fails, at most 2^32 - 1).
  // Always 0.
  static DWORD hrMemorySizeGet(DWORD& value);
};
