// The running-software group and the two tables of running processes
// (hrSWRunTable and hrSWRunPerfTable). Both lists are built together in one
// pass over the performance helper's processes, kept in ascending process ID
// (equal IDs in arrival order), and rebuilt together with the
// installed-software table, which gives each process its type, path and
// parameters. The index of a row is its process ID.
//
// Entries stay valid until the next hrRefresh of any of the three tables, or
// unload. Not thread safe (see table_list.h).
#pragma once

#include "agent/hostres/hostscan.h"
#include "agent/hostres/sw_installed.h"

enum HRSWRUNSTATUS : DWORD {
  HR_SWRUNSTATUS_RUNNING = 1,
  HR_SWRUNSTATUS_RUNNABLE = 2,
  HR_SWRUNSTATUS_NOT_RUNNABLE = 3,
  HR_SWRUNSTATUS_INVALID = 4,
};

enum : DWORD {
  HR_RESULT_SWRUN_BUILD = 1215,
  HR_RESULT_SWRUN_REFRESH = 1216,
  HR_RESULT_SWRUNPERF_REFRESH = 1218,
};

class HOSTSCAN_CLASS CSWRunEntry : public CObject {
 public:
  CSWRunEntry();
  ~CSWRunEntry() override;

  // A null name, ID, path or parameters leaves that field as it is.
  void EntrySet(DWORD index, const WCHAR* name, const HROBJECTID* id, const WCHAR* path,
                const WCHAR* parameters, HRSWTYPE type, HRSWRUNSTATUS status);
  void hrEntryGet(DWORD& index, CString& name, HROBJECTID& id, CString& path, CString& parameters,
                  HRSWTYPE& type, HRSWRUNSTATUS& status) const;

  DWORD hrSWRunIndexGet() const { return m_ul_index; }
  const CString& hrSWRunNameGet() const { return m_s_name; }
  const HROBJECTID& hrSWRunIDGet() const { return m_id_id; }
  const CString& hrSWRunPathGet() const { return m_s_path; }
  const CString& hrSWRunParametersGet() const { return m_s_parameters; }
  HRSWTYPE hrSWRunTypeGet() const { return m_e_type; }
  HRSWRUNSTATUS hrSWRunStatusGet() const { return m_e_status; }

 private:
  DWORD m_ul_index = 0;
  CString m_s_name;
  HROBJECTID m_id_id{};
  CString m_s_path;
  CString m_s_parameters;
  HRSWTYPE m_e_type = HR_SWTYPE_UNKNOWN;
  HRSWRUNSTATUS m_e_status = HR_SWRUNSTATUS_RUNNING;
};

class HOSTSCAN_CLASS CSWRunPerfEntry : public CObject {
 public:
  CSWRunPerfEntry();
  ~CSWRunPerfEntry() override;

  // cpu: processor time in hundredths of a second; memory: virtual KB.
  void EntrySet(DWORD index, DWORD cpu, DWORD memory);
  void hrEntryGet(DWORD& index, DWORD& cpu, DWORD& memory) const;

  DWORD hrSWRunIndexGet() const { return m_ul_index; }
  DWORD hrSWRunPerfCPUGet() const { return m_ul_cpu; }
  DWORD hrSWRunPerfMemoryGet() const { return m_ul_memory; }

 private:
  DWORD m_ul_index = 0;
  DWORD m_ul_cpu = 0;
  DWORD m_ul_memory = 0;
};

class HOSTSCAN_CLASS CSWRunGroup {
 public:
  // The process ID of the process named exactly "SYSTEM", 0 when there is
  // none. Always 0.
  static DWORD hrSWOSIndexGet(DWORD& value);
};

class HOSTSCAN_CLASS CSWRunTable {
 public:
  CSWRunTable() = default;
  virtual ~CSWRunTable() = default;
  CSWRunTable(const CSWRunTable&) = default;
  CSWRunTable& operator=(const CSWRunTable&) = default;

  // Builds the installed-software table first when it is missing (its
  // failure is returned), then both process lists when neither exists.
  static DWORD hrInit();
  // Frees all three lists and builds them anew: 0 or 1216.
  static DWORD hrRefresh();
  CSWRunEntry* hrGet(DWORD index);
  CSWRunEntry* hrGetNext(DWORD& index);
  DWORD hrGetEntryCount();

  // Both lists from the helper's processes: 0, or 1215 with both null.
  static DWORD BuildTable(CObList*& runList, CObList*& perfList);
  // Frees the running-software list.
  static void CleanupTable(CObList*& list);
  // The node before which a row of `pid` goes (after every row of the same
  // or a lower ID), or null for the tail.
  static void GetInsertPos(const CObList* list, DWORD pid, POSITION& pos);
  static void GetInsertPerfPos(const CObList* list, DWORD pid, POSITION& pos);

 private:
  HrCursor m_pos_cursor;
};

class HOSTSCAN_CLASS CSWRunPerfTable {
 public:
  CSWRunPerfTable() = default;
  virtual ~CSWRunPerfTable() = default;
  CSWRunPerfTable(const CSWRunPerfTable&) = default;
  CSWRunPerfTable& operator=(const CSWRunPerfTable&) = default;

  DWORD hrInit();
  // CSWRunTable::hrRefresh: 0 or 1218.
  DWORD hrRefresh();
  CSWRunPerfEntry* hrGet(DWORD index);
  CSWRunPerfEntry* hrGetNext(DWORD& index);
  DWORD hrGetEntryCount();

  static void CleanupTable(CObList*& list);

 private:
  HrCursor m_pos_cursor;
};

// Processor time in 100-ns units as hundredths of a second, wrapping at 32
// bits only after 497 days of processor time.
DWORD HrCentisecondsFrom100ns(int64_t value);
