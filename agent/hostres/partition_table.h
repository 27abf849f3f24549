// The partition table (hrPartitionTable): one row per partition the Win32
// provider reports, in its order, indexed by two numbers: the device index of
// the partition's disk (the first disk-storage device row with the same hard
// disk number) and the partition index (the provider's partition number at
// the first build). Each row also refers to the first file-system row on the
// same (hard disk, partition) pair. A partition whose disk has no device row
// fails the build. A rebuild gives every row whose (hard disk, partition,
// device index) was there before the old partition index and numbers new
// rows above every partition index seen and the new row count.
//
// Walks go in the order of the (device, partition) pairs, device first: from
// a pair to the row with the smallest pair above it, whatever the list order
// and whether or not a device's partitions start at 1 (after a rebuild they
// often do not), so that every row is reached.
//
// Rows belong to the global list g_p_partitionList and stay valid until the
// next rebuild of the storage family or unload. Not thread safe (see
// table_list.h).
#pragma once

#include "agent/hostres/hostscan.h"
#include "agent/hostres/table_list.h"
#include "mfc/afxstr.h"

// hrPartition's type as the Win32 provider numbers it (the partition table's
// type byte where known, else 0); passed through.
typedef DWORD HRPARTITIONTYPE;

// The partition table's list (null until CPartitionTable::hrInit builds it).
extern CObList*& g_p_partitionList;

class HOSTSCAN_CLASS CPartitionEntry : public CObject {
 public:
  CPartitionEntry();
  ~CPartitionEntry() override;

  // A null label reads as empty.
  void EntrySet(DWORD deviceIndex, DWORD partitionIndex, const WCHAR* label, DWORD partitionId,
                DWORD size, HRPARTITIONTYPE type, DWORD fileSystemIndex, int harddisk,
                int partition);
  void hrEntryGet(DWORD& deviceIndex, DWORD& partitionIndex, CString& label, DWORD& partitionId,
                  DWORD& size, DWORD& fileSystemIndex) const;
  void PartitionIndexSet(DWORD index) { m_ul_partitionIndex = index; }

  DWORD hrDeviceIndexGet() const { return m_ul_deviceIndex; }
  DWORD hrPartitionIndexGet() const { return m_ul_partitionIndex; }
  const CString& hrPartitionLabelGet() const { return m_s_label; }
  DWORD hrPartitionIDGet() const { return m_ul_partitionId; }
  // KB, as the provider gives it.
  DWORD hrPartitionSizeGet() const { return m_ul_size; }
  HRPARTITIONTYPE hrPartitionTypeGet() const { return m_ul_type; }
  DWORD hrPartitionFSIndexGet() const { return m_ul_fileSystemIndex; }
  int HarddiskGet() const { return m_i_harddisk; }
  int PartitionGet() const { return m_i_partition; }

 private:
  DWORD m_ul_deviceIndex = 0;
  DWORD m_ul_partitionIndex = 0;
  CString m_s_label;
  DWORD m_ul_partitionId = 0;
  DWORD m_ul_size = 0;
  HRPARTITIONTYPE m_ul_type = 0;
  DWORD m_ul_fileSystemIndex = 0;
  int m_i_harddisk = 0;
  int m_i_partition = 0;
};

class HOSTSCAN_CLASS CPartitionTable {
 public:
  CPartitionTable() = default;
  virtual ~CPartitionTable() = default;
  CPartitionTable(const CPartitionTable&) = default;
  CPartitionTable& operator=(const CPartitionTable&) = default;

  // Builds the storage, file-system and device tables first, each when it
  // is missing (stopping at the first failure, whose code is returned), then
  // this one when it is missing: 0, 1200 or 1210.
  DWORD hrInit();
  // Rebuilds the storage family (see storage_family.h): 0 or the first
  // failing table's code.
  DWORD hrRefresh();
  // The first row with both indexes, or null.
  CPartitionEntry* hrGet(DWORD deviceIndex, DWORD partitionIndex);
  // The row with the smallest pair above (deviceIndex, partitionIndex), so
  // (0, 0) starts a walk (rows with equal pairs: the first in list order);
  // the pair becomes the result's, or (0, 0) at the end.
  CPartitionEntry* hrGetNext(DWORD& deviceIndex, DWORD& partitionIndex);
  DWORD hrGetEntryCount();

  // Rebuilds a built table keeping indexes (nothing before hrInit): 0, or
  // 1211 with the old table kept.
  static DWORD Refresh();
  static void CleanupTable(CObList*& list);

  // The index of the first disk-storage device row on that hard disk, or 0.
  static DWORD DeviceIndexGet(int harddisk);
  // The index of the first file-system row on (harddisk, partition), or 0.
  static DWORD FileSystemIndexGet(int harddisk, int partition);

 private:
  // A new list from the provider into `list` (null on failure): 0 or 1210.
  static DWORD BuildTable(CObList*& list);
  // (hard disk, partition, device index) carries partition indexes over,
  // each old row's to the first new row with that key that has none yet.
  static void UpdateIndexInNewTable(CObList*& oldList, CObList*& newList);
  // The walk step behind hrGetNext; leaves the cursor on the result. A walk
  // that feeds each pair back takes one step per call while the list is in
  // pair order (the usual case), else a pass over the list per call.
  CPartitionEntry* GetNextPartition(DWORD& deviceIndex, DWORD& partitionIndex);

  HrCursor m_pos_cursor;
};
