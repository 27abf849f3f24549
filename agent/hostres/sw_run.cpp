#include "agent/hostres/sw_run.h"

#include <cstring>

#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/trace_log.h"
#include "agent/perfhelper/perfpeek.h"
#include "win32/memory.h"

namespace {

CObList*& RunList() { return g_p_tableList[HR_LIST_SWRUN]; }
CObList*& PerfList() { return g_p_tableList[HR_LIST_SWRUNPERF]; }

DWORD RunIndexOf(const CObject* entry) {
  return static_cast<const CSWRunEntry*>(entry)->hrSWRunIndexGet();
}
DWORD PerfIndexOf(const CObject* entry) {
  return static_cast<const CSWRunPerfEntry*>(entry)->hrSWRunIndexGet();
}

// The first node whose row's ID is above pid, or null. Processes mostly
// arrive in ascending ID order, so the tail is looked at first.
POSITION InsertPos(const CObList* list, DWORD pid, HRINDEXOF indexOf) {
  if (list == nullptr || list->IsEmpty()) return nullptr;
  if (indexOf(list->GetTail()) <= pid) return nullptr;
  POSITION pos = list->GetHeadPosition();
  while (pos != nullptr) {
    const POSITION current = pos;
    if (indexOf(list->GetNext(pos)) > pid) return current;
  }
  return nullptr;
}

bool InsertAt(CObList* list, POSITION pos, CObject* entry) {
  return (pos == nullptr ? list->AddTail(entry) : list->InsertBefore(pos, entry)) != nullptr;
}

void TraceCleanup(const char16_t* text) { TraceLog(HR_TRACE_TABLE, text); }

}  // namespace

DWORD HrCentisecondsFrom100ns(int64_t value) {
  if (value < 0) return 0;
  return static_cast<DWORD>(static_cast<uint64_t>(value) / 100000u);
}

// --- entries ---

CSWRunEntry::CSWRunEntry() = default;
CSWRunEntry::~CSWRunEntry() = default;

void CSWRunEntry::EntrySet(DWORD index, const WCHAR* name, const HROBJECTID* id, const WCHAR* path,
                           const WCHAR* parameters, HRSWTYPE type, HRSWRUNSTATUS status) {
  m_ul_index = index;
  if (name != nullptr) m_s_name = name;
  if (id != nullptr) m_id_id = *id;
  if (path != nullptr) m_s_path = path;
  if (parameters != nullptr) m_s_parameters = parameters;
  m_e_type = type;
  m_e_status = status;
}

void CSWRunEntry::hrEntryGet(DWORD& index, CString& name, HROBJECTID& id, CString& path,
                             CString& parameters, HRSWTYPE& type, HRSWRUNSTATUS& status) const {
  index = m_ul_index;
  name = m_s_name;
  id = m_id_id;
  path = m_s_path;
  parameters = m_s_parameters;
  type = m_e_type;
  status = m_e_status;
}

CSWRunPerfEntry::CSWRunPerfEntry() = default;
CSWRunPerfEntry::~CSWRunPerfEntry() = default;

void CSWRunPerfEntry::EntrySet(DWORD index, DWORD cpu, DWORD memory) {
  m_ul_index = index;
  m_ul_cpu = cpu;
  m_ul_memory = memory;
}

void CSWRunPerfEntry::hrEntryGet(DWORD& index, DWORD& cpu, DWORD& memory) const {
  index = m_ul_index;
  cpu = m_ul_cpu;
  memory = m_ul_memory;
}

// --- CSWRunGroup ---

DWORD CSWRunGroup::hrSWOSIndexGet(DWORD& value) {
  value = 0;
  int64_t id = 0;
  const int result = PERF_GetObjectCounterValue("SYSTEM", 6, 25, &id);
  if (result == 0) value = static_cast<DWORD>(id);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CSWRunGroup::hrSWOSIndexGet: Completed, result = %1!d!\r\n",
           result);
  return 0;
}

// --- CSWRunTable ---

DWORD CSWRunTable::hrInit() {
  DWORD result = 0;
  if (g_p_tableList[HR_LIST_SWINSTALLED] == nullptr) result = CSWInstalledTable::hrInit();
  if (result == 0 && RunList() == nullptr && PerfList() == nullptr) {
    result = BuildTable(RunList(), PerfList());
  }
  TraceLog(HR_TRACE_ENTRY_POINT, u"CSWRunTable::hrInit: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CSWRunTable::hrRefresh() {
  CSWInstalledTable::CleanupTable(g_p_tableList[HR_LIST_SWINSTALLED]);
  CleanupTable(RunList());
  CSWRunPerfTable::CleanupTable(PerfList());
  DWORD result = CSWInstalledTable::hrInit();
  if (result == 0) result = BuildTable(RunList(), PerfList());
  result = result == 0 ? 0 : static_cast<DWORD>(HR_RESULT_SWRUN_REFRESH);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CSWRunTable::hrRefresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

CSWRunEntry* CSWRunTable::hrGet(DWORD index) {
  auto* entry = static_cast<CSWRunEntry*>(HrListGet(RunList(), index, RunIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CSWRunTable::hrGet: Completed, Index = %1!d!, Entry = %2!#x!\r\n",
           static_cast<int>(index), static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry)));
  return entry;
}

CSWRunEntry* CSWRunTable::hrGetNext(DWORD& index) {
  const DWORD previous = index;
  auto* entry =
      static_cast<CSWRunEntry*>(HrListGetNext(RunList(), m_pos_cursor, index, RunIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CSWRunTable::hrGetNext: Completed, Prev Index = %1!d!, New Index = %2!d!, Entry = "
           u"%3!#x!\r\n",
           static_cast<int>(previous), static_cast<int>(index),
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry)));
  return entry;
}

DWORD CSWRunTable::hrGetEntryCount() { return HrListCount(RunList()); }

void CSWRunTable::CleanupTable(CObList*& list) {
  HrListFree(list);
  TraceCleanup(u"CSWRunTable::CleanupTable: Completed\r\n");
}

void CSWRunTable::GetInsertPos(const CObList* list, DWORD pid, POSITION& pos) {
  pos = InsertPos(list, pid, RunIndexOf);
}

void CSWRunTable::GetInsertPerfPos(const CObList* list, DWORD pid, POSITION& pos) {
  pos = InsertPos(list, pid, PerfIndexOf);
}

DWORD CSWRunTable::BuildTable(CObList*& runList, CObList*& perfList) {
  DWORD internal = 0;
  int notStored = 0;
  int helper = 0;
  runList = HrListNew();
  perfList = HrListNew();
  if (runList == nullptr || perfList == nullptr) internal = HR_RESULT_NO_MEMORY;
  HROBJECTID zeroId{};  // { 0 0 }
  zeroId.length = 2;
  for (int position = 1; internal == 0; ++position) {
    char name[257];
    DWORD pid = 0;
    helper = PERF_GetProcessInstance(position, name, sizeof name, &pid);
    if (helper != 0) break;
    name[sizeof name - 1] = '\0';
    ++notStored;
    int64_t time = 0;
    int64_t memory = 0;
    if (PERF_GetProcessProcessorTime(name, pid, &time) != 0 ||
        PERF_GetProcessMemory(name, pid, &memory) != 0 || pid < 1) {
      continue;
    }
    auto* run = new CSWRunEntry;
    if (run == nullptr) {
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    // An OEM character becomes at most one UTF-16 unit.
    WCHAR wideName[257];
    if (!OemToCharW(name, wideName)) wideName[0] = u'\0';
    WCHAR path[258];
    WCHAR parameters[258];
    const HRSWTYPE type =
        CSWInstalledTable::GetServiceTypeFromInstalledSoftware(wideName, path, parameters, 258);
    run->EntrySet(pid, wideName, &zeroId, path, parameters, type, HR_SWRUNSTATUS_RUNNING);
    POSITION pos = nullptr;
    GetInsertPos(runList, pid, pos);
    if (!InsertAt(runList, pos, run)) {
      delete run;
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    auto* perf = new CSWRunPerfEntry;
    if (perf == nullptr) {
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    // The helper gives processor time in 100-ns units; the column counts
    // hundredths of a second, converted from the whole 64-bit value.
    perf->EntrySet(pid, HrCentisecondsFrom100ns(time),
                   static_cast<DWORD>(static_cast<uint64_t>(memory) / 1024u));
    GetInsertPerfPos(perfList, pid, pos);
    if (!InsertAt(perfList, pos, perf)) {
      delete perf;
      internal = HR_RESULT_NO_MEMORY;
      break;
    }
    --notStored;
  }
  if (internal != 0) {
    CleanupTable(runList);
    CSWRunPerfTable::CleanupTable(perfList);
  }
  const DWORD result = internal == 0 ? 0 : static_cast<DWORD>(HR_RESULT_SWRUN_BUILD);
  TraceLog(HR_TRACE_TABLE,
           u"CSWRunTable::BuildTable: Completed, Not Stored = %1!d!, Result = %2!d!, result = "
           u"%3!d!\r\n",
           notStored, helper, static_cast<int>(result));
  return result;
}

// --- CSWRunPerfTable ---

DWORD CSWRunPerfTable::hrInit() {
  const DWORD result = CSWRunTable::hrInit();
  TraceLog(HR_TRACE_ENTRY_POINT, u"CSWRunPerfTable::hrInit: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CSWRunPerfTable::hrRefresh() {
  const DWORD result =
      CSWRunTable::hrRefresh() == 0 ? 0 : static_cast<DWORD>(HR_RESULT_SWRUNPERF_REFRESH);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CSWRunPerfTable::hrRefresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

CSWRunPerfEntry* CSWRunPerfTable::hrGet(DWORD index) {
  auto* entry = static_cast<CSWRunPerfEntry*>(HrListGet(PerfList(), index, PerfIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CSWRunPerfTable::hrGet: Completed, Index = %1!d!, Entry = %2!#x!\r\n",
           static_cast<int>(index), static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry)));
  return entry;
}

CSWRunPerfEntry* CSWRunPerfTable::hrGetNext(DWORD& index) {
  const DWORD previous = index;
  auto* entry =
      static_cast<CSWRunPerfEntry*>(HrListGetNext(PerfList(), m_pos_cursor, index, PerfIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CSWRunPerfTable::hrGetNext: Completed, Prev Index = %1!d!, New Index = %2!d!, "
           u"Entry = %3!#x!\r\n",
           static_cast<int>(previous), static_cast<int>(index),
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry)));
  return entry;
}

DWORD CSWRunPerfTable::hrGetEntryCount() { return HrListCount(PerfList()); }

void CSWRunPerfTable::CleanupTable(CObList*& list) {
  HrListFree(list);
  TraceCleanup(u"CSWRunPerfTable::CleanupTable: Completed\r\n");
}
