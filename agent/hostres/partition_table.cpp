#include "agent/hostres/partition_table.h"

#include <cstdint>

#include "agent/hostres/device_table.h"
#include "agent/hostres/filesys_table.h"
#include "agent/hostres/record_text.h"
#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/storage_family.h"
#include "agent/hostres/storage_table.h"
#include "agent/hostres/trace_log.h"
#include "platform/providers/winprob/winprob.h"

CObList*& g_p_partitionList = g_p_tableList[HR_LIST_PARTITION];

namespace {

DWORD PartitionIndexOf(const CObject* entry) {
  return static_cast<const CPartitionEntry*>(entry)->hrPartitionIndexGet();
}

void PartitionIndexSetOf(CObject* entry, DWORD index) {
  static_cast<CPartitionEntry*>(entry)->PartitionIndexSet(index);
}

bool SameKey(const CObject* oldEntry, const CObject* newEntry) {
  const auto* a = static_cast<const CPartitionEntry*>(oldEntry);
  const auto* b = static_cast<const CPartitionEntry*>(newEntry);
  return a->HarddiskGet() == b->HarddiskGet() && a->PartitionGet() == b->PartitionGet() &&
         a->hrDeviceIndexGet() == b->hrDeviceIndexGet();
}

size_t KeyHash(const CObject* entry) {
  const auto* row = static_cast<const CPartitionEntry*>(entry);
  return (static_cast<size_t>(static_cast<uint32_t>(row->HarddiskGet())) * 0x9E3779B97F4A7C15ull ^
          static_cast<uint32_t>(row->PartitionGet())) *
             0x9E3779B97F4A7C15ull ^
         row->hrDeviceIndexGet();
}

// Whether row `a` comes before row `b` in walk order: by device index,
// then partition index.
bool Before(DWORD deviceA, DWORD partitionA, DWORD deviceB, DWORD partitionB) {
  return deviceA < deviceB || (deviceA == deviceB && partitionA < partitionB);
}

// Whether the rows of `list` stand in strictly ascending pair order, as the
// provider's disks and partitions normally come. Worked out once per list and
// generation of the table lists (a rebuild of any table bumps it).
struct PairOrder {
  const CObList* list = nullptr;
  DWORD generation = 0;
  bool inOrder = false;
};
PairOrder g_po_pairOrder;

bool InPairOrder(const CObList* list) {
  PairOrder& known = g_po_pairOrder;
  if (list == known.list && known.generation == g_ul_tableGeneration) return known.inOrder;
  known.list = list;
  known.generation = g_ul_tableGeneration;
  known.inOrder = true;
  const CPartitionEntry* previous = nullptr;
  POSITION pos = list->GetHeadPosition();
  while (pos != nullptr && known.inOrder) {
    const auto* row = static_cast<const CPartitionEntry*>(list->GetNext(pos));
    known.inOrder =
        previous == nullptr || Before(previous->hrDeviceIndexGet(), previous->hrPartitionIndexGet(),
                                      row->hrDeviceIndexGet(), row->hrPartitionIndexGet());
    previous = row;
  }
  return known.inOrder;
}

unsigned PointerInsert(const void* entry) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry));
}

}  // namespace

// --- CPartitionEntry ---

CPartitionEntry::CPartitionEntry() = default;
CPartitionEntry::~CPartitionEntry() = default;

void CPartitionEntry::EntrySet(DWORD deviceIndex, DWORD partitionIndex, const WCHAR* label,
                               DWORD partitionId, DWORD size, HRPARTITIONTYPE type,
                               DWORD fileSystemIndex, int harddisk, int partition) {
  m_ul_deviceIndex = deviceIndex;
  m_ul_partitionIndex = partitionIndex;
  m_s_label = label != nullptr ? label : u"";
  m_ul_partitionId = partitionId;
  m_ul_size = size;
  m_ul_type = type;
  m_ul_fileSystemIndex = fileSystemIndex;
  m_i_harddisk = harddisk;
  m_i_partition = partition;
}

void CPartitionEntry::hrEntryGet(DWORD& deviceIndex, DWORD& partitionIndex, CString& label,
                                 DWORD& partitionId, DWORD& size, DWORD& fileSystemIndex) const {
  deviceIndex = m_ul_deviceIndex;
  partitionIndex = m_ul_partitionIndex;
  label = m_s_label;
  partitionId = m_ul_partitionId;
  size = m_ul_size;
  fileSystemIndex = m_ul_fileSystemIndex;
}

// --- CPartitionTable ---

DWORD CPartitionTable::hrInit() {
  DWORD result = 0;
  if (g_p_storageList == nullptr) result = CStorageTable::hrInit();
  if (result == 0 && g_p_fileSysList == nullptr) result = CFileSysTable::hrInit();
  if (result == 0 && g_p_deviceList == nullptr) result = CDeviceTable::hrInit();
  if (result == 0 && g_p_partitionList == nullptr) result = BuildTable(g_p_partitionList);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CPartitionTable::hrInit: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CPartitionTable::hrRefresh() {
  const DWORD result = HrStorageFamilyRefresh(HR_FAMILY_STORAGE_FIRST);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CPartitionTable::hrRefresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

CPartitionEntry* CPartitionTable::hrGet(DWORD deviceIndex, DWORD partitionIndex) {
  CPartitionEntry* entry = nullptr;
  const CObList* list = g_p_partitionList;
  POSITION pos = list != nullptr ? list->GetHeadPosition() : nullptr;
  while (pos != nullptr) {
    auto* row = static_cast<CPartitionEntry*>(list->GetNext(pos));
    if (row->hrDeviceIndexGet() == deviceIndex && row->hrPartitionIndexGet() == partitionIndex) {
      entry = row;
      break;
    }
  }
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CPartitionTable::hrGet: Completed, Device = %1!d!, Partition = %2!d!, "
           u"Entry = %3!#x!\r\n",
           static_cast<int>(deviceIndex), static_cast<int>(partitionIndex), PointerInsert(entry));
  return entry;
}

CPartitionEntry* CPartitionTable::GetNextPartition(DWORD& deviceIndex, DWORD& partitionIndex) {
  const DWORD device = deviceIndex;
  const DWORD partition = partitionIndex;
  CPartitionEntry* entry = nullptr;
  POSITION at = nullptr;
  const CObList* list = g_p_partitionList;
  POSITION pos = list != nullptr ? list->GetHeadPosition() : nullptr;
  // Fast path: in a list in pair order, the row after the one the cursor
  // stands on (when it has the given pair) is the next pair.
  bool fast = false;
  if (list != nullptr && m_pos_cursor.pos != nullptr &&
      m_pos_cursor.generation == g_ul_tableGeneration && InPairOrder(list)) {
    POSITION next = m_pos_cursor.pos;
    const auto* here = static_cast<const CPartitionEntry*>(list->GetNext(next));
    if (here->hrDeviceIndexGet() == device && here->hrPartitionIndexGet() == partition) {
      fast = true;
      pos = nullptr;
      if (next != nullptr) {
        entry = static_cast<CPartitionEntry*>(list->GetAt(next));
        at = next;
      }
    }
  }
  while (!fast && pos != nullptr) {
    const POSITION here = pos;
    auto* row = static_cast<CPartitionEntry*>(list->GetNext(pos));
    const DWORD rowDevice = row->hrDeviceIndexGet();
    const DWORD rowPartition = row->hrPartitionIndexGet();
    if (!Before(device, partition, rowDevice, rowPartition)) continue;
    if (entry == nullptr ||
        Before(rowDevice, rowPartition, entry->hrDeviceIndexGet(), entry->hrPartitionIndexGet())) {
      entry = row;
      at = here;
    }
  }
  if (entry != nullptr) {
    deviceIndex = entry->hrDeviceIndexGet();
    partitionIndex = entry->hrPartitionIndexGet();
    m_pos_cursor.pos = at;
    m_pos_cursor.generation = g_ul_tableGeneration;
  } else {
    deviceIndex = 0;
    partitionIndex = 0;
    m_pos_cursor.pos = nullptr;
  }
  TraceLog(HR_TRACE_STEP,
           u"CPartitionTable::GetNextPartition: Completed, Prev Device = %1!d!, Prev Partition = "
           u"%2!d!, New Device = %3!d!, New Partition = %4!d!, Entry = %5!#x!\r\n",
           static_cast<int>(device), static_cast<int>(partition), static_cast<int>(deviceIndex),
           static_cast<int>(partitionIndex), PointerInsert(entry));
  return entry;
}

CPartitionEntry* CPartitionTable::hrGetNext(DWORD& deviceIndex, DWORD& partitionIndex) {
  const DWORD device = deviceIndex;
  const DWORD partition = partitionIndex;
  CPartitionEntry* entry = GetNextPartition(deviceIndex, partitionIndex);
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CPartitionTable::hrGetNext: Completed, Prev Device = %1!d!, Prev Partition = %2!d!, "
           u"New Device = %3!d!, New Partition = %4!d!, Entry = %5!#x!\r\n",
           static_cast<int>(device), static_cast<int>(partition), static_cast<int>(deviceIndex),
           static_cast<int>(partitionIndex), PointerInsert(entry));
  return entry;
}

DWORD CPartitionTable::hrGetEntryCount() { return HrListCount(g_p_partitionList); }

DWORD CPartitionTable::Refresh() {
  const DWORD result =
      HrListRefresh(g_p_partitionList, &CPartitionTable::BuildTable,
                    &CPartitionTable::UpdateIndexInNewTable, HR_RESULT_PARTITION_REFRESH);
  TraceLog(HR_TRACE_STEP, u"CPartitionTable::Refresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

void CPartitionTable::UpdateIndexInNewTable(CObList*& oldList, CObList*& newList) {
  const DWORD last = HrListUpdateIndex(oldList, newList, PartitionIndexOf, PartitionIndexSetOf,
                                       SameKey, true, KeyHash);
  TraceLog(HR_TRACE_STEP, u"CPartitionTable::UpdateIndexInNewTable: Completed, Index = %1!d!\r\n",
           static_cast<int>(last));
}

void CPartitionTable::CleanupTable(CObList*& list) {
  HrListFree(list);
  TraceLog(HR_TRACE_TABLE, u"CPartitionTable::CleanupTable: Completed\r\n");
}

DWORD CPartitionTable::DeviceIndexGet(int harddisk) {
  DWORD index = 0;
  const CObList* list = g_p_deviceList;
  POSITION pos = list != nullptr ? list->GetHeadPosition() : nullptr;
  while (pos != nullptr) {
    const auto* row = static_cast<const CDeviceEntry*>(list->GetNext(pos));
    if (row->hrDeviceTypeGet() == HR_DEVICE_DISKSTORAGE &&
        row->DiskStorageHarddiskGet() == harddisk) {
      index = row->hrDeviceIndexGet();
      break;
    }
  }
  TraceLog(HR_TRACE_STEP,
           u"CPartitionTable::DeviceIndexGet: Completed, Device = %1!d!, Disk = %2!d!\r\n",
           static_cast<int>(index), harddisk);
  return index;
}

DWORD CPartitionTable::FileSystemIndexGet(int harddisk, int partition) {
  DWORD index = 0;
  const CObList* list = g_p_fileSysList;
  POSITION pos = list != nullptr ? list->GetHeadPosition() : nullptr;
  while (pos != nullptr) {
    const auto* row = static_cast<const CFileSysEntry*>(list->GetNext(pos));
    if (row->HarddiskGet() == harddisk && row->PartitionGet() == partition) {
      index = row->hrFileSysIndexGet();
      break;
    }
  }
  TraceLog(HR_TRACE_STEP,
           u"CPartitionTable::FileSystemIndexGet: Completed, FS = %1!d!, Disk = %2!d!, "
           u"Partition = %3!d!\r\n",
           static_cast<int>(index), harddisk, partition);
  return index;
}

DWORD CPartitionTable::BuildTable(CObList*& list) {
  DWORD internal = 0;
  int count = 0;
  W32PartitionRecord* records = nullptr;
  list = HrListNew();
  if (list == nullptr) internal = HR_RESULT_NO_MEMORY;
  if (internal == 0) {
    DWORD unused = 0;
    count = W32GetPartition(g_w_w32Handle, &records, &unused);
    if (count < 0 || (count > 0 && records == nullptr)) internal = HR_RESULT_PARTITION_PROVIDER;
  }
  for (int n = 1; internal == 0 && n <= count; ++n) {
    const W32PartitionRecord& record = records[n - 1];
    auto* entry = new CPartitionEntry;
    if (entry == nullptr) {
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    const DWORD device = DeviceIndexGet(record.hardDisk);
    if (device == 0) {
      delete entry;
      internal = HR_RESULT_PARTITION_NO_DEVICE;
      break;
    }
    const DWORD fileSystem = FileSystemIndexGet(record.hardDisk, record.partition);
    entry->EntrySet(device, static_cast<DWORD>(record.partition), HrFieldText(record.label),
                    static_cast<DWORD>(n), record.size, record.type, fileSystem, record.hardDisk,
                    record.partition);
    if (list->AddTail(entry) == nullptr) {
      delete entry;
      internal = HR_RESULT_NO_MEMORY;
    }
  }
  if (records != nullptr) W32FreeResource(g_w_w32Handle, records);
  if (internal != 0) CleanupTable(list);
  TraceLog(HR_TRACE_TABLE,
           u"CPartitionTable::BuildTable: Completed, Result = %1!d!, result = %2!d!\r\n", count,
           static_cast<int>(internal));
  return internal == 0 ? 0 : static_cast<DWORD>(HR_RESULT_PARTITION_BUILD);
}
