#include "agent/hostres/filesys_table.h"

#include <algorithm>
#include <cstdint>

#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/storage_family.h"
#include "agent/hostres/storage_table.h"
#include "agent/hostres/trace_log.h"

CObList*& g_p_fileSysList = g_p_tableList[HR_LIST_FILESYSTEM];

namespace {

DWORD FileSysIndexOf(const CObject* entry) {
  return static_cast<const CFileSysEntry*>(entry)->hrFileSysIndexGet();
}

void FileSysIndexSetOf(CObject* entry, DWORD index) {
  static_cast<CFileSysEntry*>(entry)->FileSysIndexSet(index);
}

bool SamePair(const CObject* oldEntry, const CObject* newEntry) {
  const auto* a = static_cast<const CFileSysEntry*>(oldEntry);
  const auto* b = static_cast<const CFileSysEntry*>(newEntry);
  return a->HarddiskGet() == b->HarddiskGet() && a->PartitionGet() == b->PartitionGet();
}

size_t PairHash(const CObject* entry) {
  const auto* row = static_cast<const CFileSysEntry*>(entry);
  return static_cast<size_t>(static_cast<uint32_t>(row->HarddiskGet())) * 0x9E3779B97F4A7C15ull ^
         static_cast<uint32_t>(row->PartitionGet());
}

unsigned PointerInsert(const void* entry) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry));
}

}  // namespace

// --- CFileSysEntry ---

CFileSysEntry::CFileSysEntry() = default;
CFileSysEntry::~CFileSysEntry() = default;

void CFileSysEntry::EntrySet(DWORD index, const WCHAR* mountPoint, HRFSTYPES type,
                             HRFSACCESS access, DWORD storageIndex,
                             const WCHAR* /*remoteMountPoint*/, int bootable,
                             const SYSTEMTIME& lastFullBackup, const SYSTEMTIME& lastPartialBackup,
                             const TIME_ZONE_INFORMATION& zone, HRTimeZone zoneKind, int harddisk,
                             int partition) {
  m_ul_index = index;
  m_s_mountPoint = mountPoint != nullptr ? mountPoint : u"";
  if (m_s_mountPoint.GetLength() > kMountPointChars) {
    m_s_mountPoint = m_s_mountPoint.Left(kMountPointChars);
  }
  m_e_type = type;
  m_e_access = access;
  m_ul_storageIndex = storageIndex;
  m_i_bootable = bootable;
  m_st_lastFullBackup = lastFullBackup;
  m_st_lastPartialBackup = lastPartialBackup;
  m_tz_zone = zone;
  m_ul_zoneKind = zoneKind;
  m_i_harddisk = harddisk;
  m_i_partition = partition;
}

void CFileSysEntry::hrEntryGet(DWORD& index, CString& mountPoint, HRFSTYPES& type,
                               HRFSACCESS& access, DWORD& storageIndex,
                               CString& /*remoteMountPoint*/, int& bootable,
                               SYSTEMTIME& lastFullBackup, SYSTEMTIME& lastPartialBackup,
                               TIME_ZONE_INFORMATION& zone, HRTimeZone& zoneKind) const {
  index = m_ul_index;
  mountPoint = m_s_mountPoint;
  type = m_e_type;
  access = m_e_access;
  storageIndex = m_ul_storageIndex;
  bootable = m_i_bootable;
  lastFullBackup = m_st_lastFullBackup;
  lastPartialBackup = m_st_lastPartialBackup;
  zone = m_tz_zone;
  zoneKind = m_ul_zoneKind;
}

// --- CFileSysTable ---

DWORD CFileSysTable::hrInit() {
  DWORD result = 0;
  if (g_p_storageList == nullptr) result = CStorageTable::hrInit();
  if (result == 0 && g_p_fileSysList == nullptr) result = BuildTable(g_p_fileSysList);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CFileSysTable::hrInit: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CFileSysTable::hrRefresh() {
  const DWORD result = HrStorageFamilyRefresh(HR_FAMILY_STORAGE_FIRST);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CFileSysTable::hrRefresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

CFileSysEntry* CFileSysTable::hrGet(DWORD index) {
  auto* entry = static_cast<CFileSysEntry*>(HrListGet(g_p_fileSysList, index, FileSysIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CFileSysTable::hrGet: Completed, Index = %1!d!, Entry = %2!#x!\r\n",
           static_cast<int>(index), PointerInsert(entry));
  return entry;
}

CFileSysEntry* CFileSysTable::hrGetNext(DWORD& index) {
  const DWORD previous = index;
  auto* entry = static_cast<CFileSysEntry*>(
      HrListGetNext(g_p_fileSysList, m_pos_cursor, index, FileSysIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CFileSysTable::hrGetNext: Completed, Prev Index = %1!d!, New Index = %2!d!, "
           u"Entry = %3!#x!\r\n",
           static_cast<int>(previous), static_cast<int>(index), PointerInsert(entry));
  return entry;
}

DWORD CFileSysTable::hrGetEntryCount() { return HrListCount(g_p_fileSysList); }

DWORD CFileSysTable::Refresh() {
  const DWORD result =
      HrListRefresh(g_p_fileSysList, &CFileSysTable::BuildTable,
                    &CFileSysTable::UpdateIndexInNewTable, HR_RESULT_FILESYS_REFRESH);
  TraceLog(HR_TRACE_STEP, u"CFileSysTable::Refresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

void CFileSysTable::UpdateIndexInNewTable(CObList*& oldList, CObList*& newList) {
  const DWORD last = HrListUpdateIndex(oldList, newList, FileSysIndexOf, FileSysIndexSetOf,
                                       SamePair, true, PairHash);
  TraceLog(HR_TRACE_STEP, u"CFileSysTable::UpdateIndexInNewTable: Completed, Index = %1!d!\r\n",
           static_cast<int>(last));
}

void CFileSysTable::CleanupTable(CObList*& list) {
  HrListFree(list);
  TraceLog(HR_TRACE_TABLE, u"CFileSysTable::CleanupTable: Completed\r\n");
}

DWORD CFileSysTable::StorageIndexGet(int harddisk, int partition, WCHAR* mountPoint) {
  if (mountPoint != nullptr) mountPoint[0] = u'\0';
  DWORD index = 0;
  const CObList* list = g_p_storageList;
  POSITION pos = list != nullptr ? list->GetHeadPosition() : nullptr;
  while (pos != nullptr) {
    const auto* row = static_cast<const CStorageEntry*>(list->GetNext(pos));
    if (row->HarddiskGet() != harddisk || row->PartitionGet() != partition) continue;
    index = row->hrStorageIndexGet();
    if (mountPoint != nullptr) {
      const CString& label = row->StorageLabelGet();
      const int length = std::min(label.GetLength(), CFileSysEntry::kMountPointChars);
      const WCHAR* text = label;
      std::copy(text, text + length, mountPoint);
      mountPoint[length] = u'\0';
    }
    break;
  }
  TraceLog(HR_TRACE_STEP,
           u"CFileSysTable::StorageIndexGet: Completed, Storage = %1!d!, Disk = %2!d!, "
           u"Partition = %3!d!\r\n",
           static_cast<int>(index), harddisk, partition);
  return index;
}

DWORD CFileSysTable::BuildTable(CObList*& list) {
  DWORD internal = 0;
  int count = 0;
  W32FileSystemRecord* records = nullptr;
  TIME_ZONE_INFORMATION zone{};
  HRTimeZone zoneKind = 0;
  list = HrListNew();
  if (list == nullptr) internal = HR_RESULT_NO_MEMORY;
  if (internal == 0 && W32GetSystemTimeZone(g_w_w32Handle, &zone, &zoneKind) != 0) {
    internal = HR_RESULT_FILESYS_TIMEZONE;
  }
  if (internal == 0) {
    DWORD unused = 0;
    count = W32GetFileSystem(g_w_w32Handle, &records, &unused);
    if (count < 0 || (count > 0 && records == nullptr)) internal = HR_RESULT_FILESYS_PROVIDER;
  }
  for (int position = 0; internal == 0 && position < count; ++position) {
    const W32FileSystemRecord& record = records[position];
    auto* entry = new CFileSysEntry;
    if (entry == nullptr) {
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    WCHAR mountPoint[CFileSysEntry::kMountPointChars + 1];
    const DWORD storage = StorageIndexGet(record.hardDisk, record.partition, mountPoint);
    entry->EntrySet(static_cast<DWORD>(position + 1), mountPoint,
                    static_cast<HRFSTYPES>(record.type), static_cast<HRFSACCESS>(record.access),
                    storage, nullptr, record.bootable, record.lastFullBackup,
                    record.lastPartialBackup, zone, zoneKind, record.hardDisk, record.partition);
    if (list->AddTail(entry) == nullptr) {
      delete entry;
      internal = HR_RESULT_NO_MEMORY;
    }
  }
  if (records != nullptr) W32FreeResource(g_w_w32Handle, records);
  if (internal != 0) CleanupTable(list);
  TraceLog(HR_TRACE_TABLE,
           u"CFileSysTable::BuildTable: Completed, Result = %1!d!, result = %2!d!\r\n", count,
           static_cast<int>(internal));
  return internal == 0 ? 0 : static_cast<DWORD>(HR_RESULT_FILESYS_BUILD);
}
