// The device table's list: building, index keeping, refresh and the walks.
// The loaders that fill the rows live in device_loaders.cpp.
#include "agent/hostres/device_table.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

#include "agent/hostres/record_text.h"
#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/storage_family.h"
#include "agent/hostres/trace_log.h"

CObList*& g_p_deviceList = g_p_tableList[HR_LIST_DEVICE];

DWORD CDeviceTable::m_ul_lastUsedDeviceIndex = 0;

namespace {

DWORD DeviceIndexOf(const CObject* entry) {
  return static_cast<const CDeviceEntry*>(entry)->hrDeviceIndexGet();
}

const CDeviceEntry* Row(const CObject* entry) { return static_cast<const CDeviceEntry*>(entry); }

bool OfType(const CObject* entry, HRDEVICETYPE type) {
  return type == HR_DEVICE_ALL || Row(entry)->hrDeviceTypeGet() == type;
}

unsigned Hex(const void* pointer) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer));
}

// Whether a new row is the same device as an old one of the same type.
bool SameDevice(const CDeviceEntry& old, const CDeviceEntry& fresh) {
  switch (old.hrDeviceTypeGet()) {
    case HR_DEVICE_PROCESSOR:
      return memcmp(&old.ProcessorFirmWareIDGet(), &fresh.ProcessorFirmWareIDGet(),
                    sizeof(HROBJECTID)) == 0;
    case HR_DEVICE_NETWORK:
      return old.NetworkIndexGet() == fresh.NetworkIndexGet();
    case HR_DEVICE_PRINTER:
      return old.PrinterNameGet() == fresh.PrinterNameGet();
    case HR_DEVICE_DISKSTORAGE:
      return old.DiskStorageMediaGet() == fresh.DiskStorageMediaGet() &&
             old.DiskStorageSignatureGet() == fresh.DiskStorageSignatureGet();
    default:
      return old.DeviceIdentifierGet() == fresh.DeviceIdentifierGet();
  }
}

}  // namespace

DWORD CDeviceTable::hrInit() {
  DWORD result = 0;
  if (g_p_deviceList == nullptr) result = BuildTable(g_p_deviceList, m_ul_lastUsedDeviceIndex);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CDeviceTable::hrInit: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CDeviceTable::hrRefresh() {
  const DWORD result = HrStorageFamilyRefresh(HR_FAMILY_DEVICE_FIRST);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CDeviceTable::hrRefresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CDeviceTable::Refresh() {
  DWORD result = 0;
  if (g_p_deviceList != nullptr) {
    CObList* fresh = nullptr;
    DWORD counter = 0;
    if (BuildTable(fresh, counter) != 0 || fresh == nullptr) {
      result = HR_RESULT_DEVICE_REFRESH;
    } else {
      UpdateIndexInNewTable(g_p_deviceList, fresh);
      CleanupTable(g_p_deviceList);
      g_p_deviceList = fresh;
    }
  }
  TraceLog(HR_TRACE_STEP, u"CDeviceTable::Refresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

CDeviceEntry* CDeviceTable::hrGet(DWORD index) {
  auto* entry = static_cast<CDeviceEntry*>(HrListGet(g_p_deviceList, index, DeviceIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CDeviceTable::hrGet: Completed, Index = %1!d!, Entry = %2!#x!\r\n",
           static_cast<int>(index), Hex(entry));
  return entry;
}

CDeviceEntry* CDeviceTable::GetNextEx(CObList* list, DWORD& index, HRDEVICETYPE type) {
  const DWORD previous = index;
  CDeviceEntry* result = nullptr;
  POSITION pos = list != nullptr ? list->GetHeadPosition() : nullptr;
  if (index != 0) {
    while (pos != nullptr && DeviceIndexOf(list->GetNext(pos)) != index) {
    }
    // pos now follows the row with that index, or is null when there was none.
  }
  while (pos != nullptr) {
    CObject* entry = list->GetNext(pos);
    if (OfType(entry, type)) {
      result = static_cast<CDeviceEntry*>(entry);
      break;
    }
  }
  index = result != nullptr ? result->hrDeviceIndexGet() : 0;
  TraceLog(HR_TRACE_STEP,
           u"CDeviceTable::GetNextEx: Completed, Prev Type = %1!d!, Prev Index = %2!d!, New Type "
           u"= %3!d!, New Index = %4!d!, Entry = %5!#x!\r\n",
           static_cast<int>(type), static_cast<int>(previous),
           static_cast<int>(result != nullptr ? result->hrDeviceTypeGet() : HR_DEVICE_ALL),
           static_cast<int>(index), Hex(result));
  return result;
}

CDeviceEntry* CDeviceTable::hrGetNext(DWORD& index, HRDEVICETYPE type) {
  const DWORD previous = index;
  CDeviceEntry* result = nullptr;
  const CObList* list = g_p_deviceList;
  if (list != nullptr && !list->IsEmpty()) {
    if (m_pos_cursor.generation != g_ul_tableGeneration) m_pos_cursor.pos = nullptr;
    m_pos_cursor.generation = g_ul_tableGeneration;
    if (index == 0) {
      POSITION pos = list->GetHeadPosition();
      while (pos != nullptr) {
        const POSITION at = pos;
        CObject* entry = list->GetNext(pos);
        if (OfType(entry, type)) {
          m_pos_cursor.pos = at;
          result = static_cast<CDeviceEntry*>(entry);
          break;
        }
      }
    } else {
      result = GetNextEntry(index, type);
    }
  }
  if (result != nullptr) {
    index = result->hrDeviceIndexGet();
  } else {
    index = 0;
    m_pos_cursor.pos = nullptr;
  }
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CDeviceTable::hrGetNext: Completed, Prev Type = %1!d!, Prev Index = %2!d!, New Type "
           u"= %3!d!, New Index = %4!d!, Entry = %5!#x!\r\n",
           static_cast<int>(type), static_cast<int>(previous),
           static_cast<int>(result != nullptr ? result->hrDeviceTypeGet() : HR_DEVICE_ALL),
           static_cast<int>(index), Hex(result));
  return result;
}

// The row with `index` is found at the cursor when the previous call of this
// object returned it (one step), otherwise from the head of the list; the
// walk then goes on to the first following row of `type`.
CDeviceEntry* CDeviceTable::GetNextEntry(DWORD& index, HRDEVICETYPE type) {
  const CObList* list = g_p_deviceList;
  CDeviceEntry* result = nullptr;
  POSITION pos = nullptr;
  bool found = false;
  if (m_pos_cursor.pos != nullptr) {
    pos = m_pos_cursor.pos;
    found = DeviceIndexOf(list->GetNext(pos)) == index;
  }
  if (!found) {
    pos = list->GetHeadPosition();
    while (pos != nullptr && !found) found = DeviceIndexOf(list->GetNext(pos)) == index;
  }
  while (found && pos != nullptr) {
    const POSITION at = pos;
    CObject* entry = list->GetNext(pos);
    if (OfType(entry, type)) {
      m_pos_cursor.pos = at;
      result = static_cast<CDeviceEntry*>(entry);
      break;
    }
  }
  TraceLog(HR_TRACE_DEVICE_NEXT,
           u"CDeviceTable::GetNextEntry: Completed, Type = %1!d!, Index = %2!d!, Entry = "
           u"%3!#x!\r\n",
           static_cast<int>(type), static_cast<int>(index), Hex(result));
  return result;
}

DWORD CDeviceTable::hrGetEntryCount(HRDEVICETYPE type) {
  const CObList* list = g_p_deviceList;
  if (type == HR_DEVICE_ALL) return HrListCount(list);
  DWORD count = 0;
  POSITION pos = list != nullptr ? list->GetHeadPosition() : nullptr;
  while (pos != nullptr) {
    if (OfType(list->GetNext(pos), type)) ++count;
  }
  return count;
}

void CDeviceTable::CleanupTable(CObList*& list) {
  // Each row destroys its extension row with it.
  HrListFree(list);
  TraceLog(HR_TRACE_TABLE, u"CDeviceTable::CleanupTable: Completed\r\n");
}

// Each old row, in order, offers its index to the first new row of its type
// that has none yet; only that row is tried. Rows only ever take an index at
// that point, so the first row without one is kept per type and moves on
// past each row that takes one: a rebuild costs one pass per type, not one
// per old row.
void CDeviceTable::UpdateIndexInNewTable(CObList*& oldList, CObList*& newList) {
  if (newList != nullptr) {
    POSITION pos = newList->GetHeadPosition();
    while (pos != nullptr) static_cast<CDeviceEntry*>(newList->GetNext(pos))->DeviceIndexSet(0);
    // Per type: the position of its first new row without an index (null
    // when none is left).
    std::unordered_map<DWORD, POSITION> firstFree;
    auto nextOfType = [&newList](POSITION from, DWORD type) {
      while (from != nullptr) {
        const POSITION at = from;
        if (Row(newList->GetNext(from))->hrDeviceTypeGet() == type) return at;
      }
      return POSITION{nullptr};
    };
    POSITION oldPos = oldList != nullptr ? oldList->GetHeadPosition() : nullptr;
    while (oldPos != nullptr) {
      const CDeviceEntry* old = Row(oldList->GetNext(oldPos));
      const DWORD type = old->hrDeviceTypeGet();
      auto slot = firstFree.find(type);
      if (slot == firstFree.end()) {
        slot = firstFree.emplace(type, nextOfType(newList->GetHeadPosition(), type)).first;
      }
      if (slot->second == nullptr) continue;
      POSITION after = slot->second;
      auto* fresh = static_cast<CDeviceEntry*>(newList->GetNext(after));
      if (!SameDevice(*old, *fresh)) continue;
      fresh->DeviceIndexSet(old->hrDeviceIndexGet());
      slot->second = nextOfType(after, type);
    }
    pos = newList->GetHeadPosition();
    while (pos != nullptr) {
      auto* fresh = static_cast<CDeviceEntry*>(newList->GetNext(pos));
      if (fresh->hrDeviceIndexGet() == 0) fresh->DeviceIndexSet(++m_ul_lastUsedDeviceIndex);
    }
  }
  TraceLog(HR_TRACE_STEP, u"CDeviceTable::UpdateIndexInNewTable: Completed, Index = %1!d!\r\n",
           static_cast<int>(m_ul_lastUsedDeviceIndex));
}

DWORD CDeviceTable::BuildTable(CObList*& list, DWORD& counter) {
  DWORD internal = 0;
  int count = 0;
  W32DeviceRecord* records = nullptr;
  bool made = false;
  if (list != nullptr) {
    internal = HR_RESULT_MISSING;
  } else {
    counter = 0;
    list = HrListNew();
    made = list != nullptr;
    if (!made) internal = HR_RESULT_NO_MEMORY;
  }
  if (internal == 0) {
    DWORD unused = 0;
    count = W32GetDevice(g_w_w32Handle, 0, &records, &unused);
    if (count < 0 || (count > 0 && records == nullptr)) internal = HR_RESULT_DEVICE_BUILD;
  }
  for (int i = 0; internal == 0 && i < count; ++i) {
    const W32DeviceRecord& record = records[i];
    auto* row = new CDeviceEntry;
    if (row == nullptr) {
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    row->EntrySet(counter + 1, static_cast<HRDEVICETYPE>(record.type),
                  HrFieldText(record.description), record.deviceId,
                  static_cast<HRDEVICESTATUS>(record.status), record.errors,
                  static_cast<HRDSMEDIA>(record.media), record.hardDisk, record.signature,
                  record.mac, record.interfaceType, record.networkIndex,
                  HrFieldText(record.printerName), &record.firmwareId);
    if (list->AddTail(row) == nullptr) {
      delete row;
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    ++counter;
  }
  if (records != nullptr) W32FreeResource(g_w_w32Handle, records);

  using Completion = DWORD (*)(CObList*);
  using Addition = DWORD (*)(CObList*, DWORD&);
  for (Completion load : {&LoadProcessor, &LoadPrinter, &LoadDiskStorage, &LoadScsiDiskStorage,
                          &LoadNonScsiDiskStorage, &LoadNetwork, &LoadKeyboard}) {
    if (internal == 0) internal = load(list);
  }
  for (Addition load : {&LoadVideo, &LoadParallelPort, &LoadPointerPort, &LoadSerialComm}) {
    if (internal == 0) internal = load(list, counter);
  }
  if (internal != 0 && made) CleanupTable(list);
  TraceLog(HR_TRACE_TABLE,
           u"CDeviceTable::BuildTable: Completed, Result = %1!d!, result = %2!d!\r\n", count,
           static_cast<int>(internal));
  return internal == 0 ? 0 : static_cast<DWORD>(HR_RESULT_DEVICE_BUILD);
}
