// The file-system table (hrFSTable): one row per file system the Win32
// provider reports, numbered 1, 2, ... in its order at the first build. Each
// row refers to the first storage row with the same (hard disk, partition)
// pair (its index, and its label as the mount point); a rebuild gives every
// row whose pair was there before an old row's index (one old row's index to
// one new row) and numbers new rows above every index seen and the new row
// count.
//
// Rows belong to the global list g_p_fileSysList and stay valid until the
// next rebuild of the storage family or unload. Not thread safe (see
// table_list.h).
#pragma once

#include "agent/hostres/hostscan.h"
#include "agent/hostres/table_list.h"
#include "mfc/afxstr.h"
#include "platform/providers/winprob/winprob.h"

// hrFSType: the last arc of hrFSTypes.
enum HRFSTYPES : DWORD {
  HR_FS_OTHER = 1,
  HR_FS_UNKNOWN = 2,
  HR_FS_BERKELEY_FFS = 3,
  HR_FS_SYS5FS = 4,
  HR_FS_FAT = 5,
  HR_FS_HPFS = 6,
  HR_FS_HFS = 7,
  HR_FS_MFS = 8,
  HR_FS_NTFS = 9,
  HR_FS_VNODE = 10,
  HR_FS_JOURNALED = 11,
  HR_FS_ISO9660 = 12,
  HR_FS_ROCK_RIDGE = 13,
  HR_FS_NFS = 14,
  HR_FS_NETWARE = 15,
  HR_FS_AFS = 16,
  HR_FS_DFS = 17,
  HR_FS_APPLESHARE = 18,
  HR_FS_RFS = 19,
  HR_FS_DGCFS = 20,
  HR_FS_BFS = 21,
};

// hrFSAccess.
enum HRFSACCESS : DWORD {
  HR_FS_READ_WRITE = 1,
  HR_FS_READ_ONLY = 2,
};

// The file-system table's list (null until CFileSysTable::hrInit builds it).
extern CObList*& g_p_fileSysList;

class HOSTSCAN_CLASS CFileSysEntry : public CObject {
 public:
  // The mount point holds at most this many characters.
  static constexpr int kMountPointChars = 65;

  CFileSysEntry();
  ~CFileSysEntry() override;

  // A null mount point reads as empty; longer ones are cut to 65
  // characters. The remote mount point is not kept (always empty).
  void EntrySet(DWORD index, const WCHAR* mountPoint, HRFSTYPES type, HRFSACCESS access,
                DWORD storageIndex, const WCHAR* remoteMountPoint, int bootable,
                const SYSTEMTIME& lastFullBackup, const SYSTEMTIME& lastPartialBackup,
                const TIME_ZONE_INFORMATION& zone, HRTimeZone zoneKind, int harddisk,
                int partition);
  // Copies every MIB column but the remote mount point, whose string is left
  // as it is.
  void hrEntryGet(DWORD& index, CString& mountPoint, HRFSTYPES& type, HRFSACCESS& access,
                  DWORD& storageIndex, CString& remoteMountPoint, int& bootable,
                  SYSTEMTIME& lastFullBackup, SYSTEMTIME& lastPartialBackup,
                  TIME_ZONE_INFORMATION& zone, HRTimeZone& zoneKind) const;
  void FileSysIndexSet(DWORD index) { m_ul_index = index; }

  DWORD hrFileSysIndexGet() const { return m_ul_index; }
  const CString& hrFSMountPointGet() const { return m_s_mountPoint; }
  const CString& hrFSRemoteMountPointGet() const { return m_s_remoteMountPoint; }
  HRFSTYPES hrFSTypeGet() const { return m_e_type; }
  HRFSACCESS hrFSAccessGet() const { return m_e_access; }
  DWORD hrFSStorageIndexGet() const { return m_ul_storageIndex; }
  int hrFSBootableGet() const { return m_i_bootable; }
  const SYSTEMTIME& hrFSLastFullBackupDateGet() const { return m_st_lastFullBackup; }
  const SYSTEMTIME& hrFSLastPartialBackupDateGet() const { return m_st_lastPartialBackup; }
  const TIME_ZONE_INFORMATION& hrTimeZoneInfoGet() const { return m_tz_zone; }
  HRTimeZone hrTimeZoneGet() const { return m_ul_zoneKind; }
  int HarddiskGet() const { return m_i_harddisk; }
  int PartitionGet() const { return m_i_partition; }

 private:
  DWORD m_ul_index = 0;
  CString m_s_mountPoint;
  CString m_s_remoteMountPoint;
  HRFSTYPES m_e_type = HR_FS_UNKNOWN;
  HRFSACCESS m_e_access = HR_FS_READ_ONLY;
  DWORD m_ul_storageIndex = 0;
  int m_i_bootable = 0;
  SYSTEMTIME m_st_lastFullBackup{};
  SYSTEMTIME m_st_lastPartialBackup{};
  TIME_ZONE_INFORMATION m_tz_zone{};
  HRTimeZone m_ul_zoneKind = 0;
  int m_i_harddisk = 0;
  int m_i_partition = 0;
};

class HOSTSCAN_CLASS CFileSysTable {
 public:
  CFileSysTable() = default;
  virtual ~CFileSysTable() = default;
  CFileSysTable(const CFileSysTable&) = default;
  CFileSysTable& operator=(const CFileSysTable&) = default;

  // Builds the storage table first when it is missing (its failure is
  // returned), then this one when it is missing: 0, 1200 or 1213.
  static DWORD hrInit();
  // Rebuilds the storage family (see storage_family.h): 0 or the first
  // failing table's code.
  static DWORD hrRefresh();
  CFileSysEntry* hrGet(DWORD index);
  CFileSysEntry* hrGetNext(DWORD& index);
  DWORD hrGetEntryCount();

  // Rebuilds a built table keeping indexes (nothing before hrInit): 0, or
  // 1214 with the old table kept.
  static DWORD Refresh();
  static void CleanupTable(CObList*& list);

  // The index of the first storage row on (harddisk, partition), 0 when
  // none. `mountPoint`, when given, must hold 66 characters; it receives
  // that row's label cut to 65 characters, or an empty string.
  static DWORD StorageIndexGet(int harddisk, int partition, WCHAR* mountPoint);

 private:
  // A new list from the provider into `list` (null on failure): 0 or 1213.
  static DWORD BuildTable(CObList*& list);
  // (hard disk, partition) pairs carry indexes over, each old row's to the
  // first new row with its pair that has none yet, so that rows sharing a
  // pair (several mounts of one area) keep distinct indexes.
  static void UpdateIndexInNewTable(CObList*& oldList, CObList*& newList);

  HrCursor m_pos_cursor;
};
