#include "agent/hostres/storage_table.h"

#include <cstdint>
#include <functional>
#include <string_view>

#include "agent/hostres/record_text.h"
#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/storage_family.h"
#include "agent/hostres/trace_log.h"
#include "platform/providers/winprob/winprob.h"

CObList*& g_p_storageList = g_p_tableList[HR_LIST_STORAGE];

namespace {

DWORD StorageIndexOf(const CObject* entry) {
  return static_cast<const CStorageEntry*>(entry)->hrStorageIndexGet();
}

void StorageIndexSetOf(CObject* entry, DWORD index) {
  static_cast<CStorageEntry*>(entry)->StorageIndexSet(index);
}

bool SameLabel(const CObject* oldEntry, const CObject* newEntry) {
  return static_cast<const CStorageEntry*>(oldEntry)->StorageLabelGet() ==
         static_cast<const CStorageEntry*>(newEntry)->StorageLabelGet();
}

size_t LabelHash(const CObject* entry) {
  const CString& label = static_cast<const CStorageEntry*>(entry)->StorageLabelGet();
  return std::hash<std::u16string_view>()(
      std::u16string_view(static_cast<const WCHAR*>(label), label.GetLength()));
}

unsigned PointerInsert(const void* entry) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry));
}

}  // namespace

// --- CStorageEntry ---

CStorageEntry::CStorageEntry() = default;
CStorageEntry::~CStorageEntry() = default;

void CStorageEntry::EntrySet(DWORD index, HRSTORAGETYPE type, const WCHAR* description,
                             DWORD allocationUnits, DWORD size, DWORD used,
                             DWORD allocationFailures, const WCHAR* label, int harddisk,
                             int partition) {
  m_ul_index = index;
  m_e_type = type;
  m_s_description = description != nullptr ? description : u"";
  m_ul_allocationUnits = allocationUnits;
  m_ul_size = size;
  m_ul_used = used;
  m_ul_allocationFailures = allocationFailures;
  m_s_label = label != nullptr ? label : u"";
  m_i_harddisk = harddisk;
  m_i_partition = partition;
}

void CStorageEntry::hrEntryGet(DWORD& index, HRSTORAGETYPE& type, CString& description,
                               DWORD& allocationUnits, DWORD& size, DWORD& used,
                               DWORD& allocationFailures) const {
  index = m_ul_index;
  type = m_e_type;
  description = m_s_description;
  allocationUnits = m_ul_allocationUnits;
  size = m_ul_size;
  used = m_ul_used;
  allocationFailures = m_ul_allocationFailures;
}

// --- CStorageTable ---

DWORD CStorageTable::hrInit() {
  DWORD result = 0;
  if (g_p_storageList == nullptr) result = BuildTable(g_p_storageList);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CStorageTable::hrInit: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CStorageTable::hrRefresh() {
  const DWORD result = HrStorageFamilyRefresh(HR_FAMILY_STORAGE_FIRST);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CStorageTable::hrRefresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

CStorageEntry* CStorageTable::hrGet(DWORD index) {
  auto* entry = static_cast<CStorageEntry*>(HrListGet(g_p_storageList, index, StorageIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CStorageTable::hrGet: Completed, Index = %1!d!, Entry = %2!#x!\r\n",
           static_cast<int>(index), PointerInsert(entry));
  return entry;
}

CStorageEntry* CStorageTable::hrGetNext(DWORD& index) {
  const DWORD previous = index;
  auto* entry = static_cast<CStorageEntry*>(
      HrListGetNext(g_p_storageList, m_pos_cursor, index, StorageIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CStorageTable::hrGetNext: Completed, Prev Index = %1!d!, New Index = %2!d!, "
           u"Entry = %3!#x!\r\n",
           static_cast<int>(previous), static_cast<int>(index), PointerInsert(entry));
  return entry;
}

DWORD CStorageTable::hrGetEntryCount() { return HrListCount(g_p_storageList); }

DWORD CStorageTable::Refresh() {
  const DWORD result =
      HrListRefresh(g_p_storageList, &CStorageTable::BuildTable,
                    &CStorageTable::UpdateIndexInNewTable, HR_RESULT_STORAGE_REFRESH);
  TraceLog(HR_TRACE_STEP, u"CStorageTable::Refresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

void CStorageTable::UpdateIndexInNewTable(CObList*& oldList, CObList*& newList) {
  const DWORD last = HrListUpdateIndex(oldList, newList, StorageIndexOf, StorageIndexSetOf,
                                       SameLabel, false, LabelHash);
  TraceLog(HR_TRACE_STEP, u"CStorageTable::UpdateIndexInNewTable: Completed, Index = %1!d!\r\n",
           static_cast<int>(last));
}

void CStorageTable::CleanupTable(CObList*& list) {
  HrListFree(list);
  TraceLog(HR_TRACE_TABLE, u"CStorageTable::CleanupTable: Completed\r\n");
}

DWORD CStorageTable::BuildTable(CObList*& list) {
  DWORD internal = 0;
  int stored = 0;
  int count = 0;
  W32StorageRecord* records = nullptr;
  list = HrListNew();
  if (list == nullptr) internal = HR_RESULT_NO_MEMORY;
  if (internal == 0) {
    DWORD unused = 0;
    count = W32GetStorage(g_w_w32Handle, 0, &records, &unused);
    if (count < 0 || (count > 0 && records == nullptr)) internal = HR_RESULT_STORAGE_PROVIDER;
  }
  for (int position = 0; internal == 0 && position < count; ++position) {
    const W32StorageRecord& record = records[position];
    auto* entry = new CStorageEntry;
    if (entry == nullptr) {
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    if (record.type == 0) {  // an unused record: its index stays a gap
      delete entry;
      continue;
    }
    entry->EntrySet(static_cast<DWORD>(position + 1), static_cast<HRSTORAGETYPE>(record.type),
                    HrFieldText(record.description), record.allocationUnits, record.size,
                    record.used, record.allocationFailures, HrFieldText(record.label),
                    record.hardDisk, record.partition);
    if (list->AddTail(entry) == nullptr) {
      delete entry;
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    ++stored;
  }
  if (records != nullptr) W32FreeResource(g_w_w32Handle, records);
  if (internal != 0) CleanupTable(list);
  TraceLog(HR_TRACE_TABLE,
           u"CStorageTable::BuildTable: Completed, Count = %1!d!, Result = %2!d!, "
           u"result = %3!d!\r\n",
           stored, count, static_cast<int>(internal));
  return internal == 0 ? 0 : static_cast<DWORD>(HR_RESULT_STORAGE_BUILD);
}

// --- CStorageGroup ---

DWORD CStorageGroup::hrMemorySizeGet(DWORD& value) {
  value = 0;
  ULONGLONG bytes = 0;
  if (W32GetMemorySize(g_w_w32Handle, &bytes) == 0) {
    const ULONGLONG kilobytes = bytes >> 10;
    value = kilobytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(kilobytes);
  }
  return 0;
}
