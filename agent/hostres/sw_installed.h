// The installed-software group and table (hrSWInstalled): one row per service
// and program the registry provider reports, numbered 1, 2, ... in the
// provider's order at each build (no index is kept across builds). The table
// also answers the running-software table's lookup of a process name.
//
// Entries belong to the global list g_p_tableList[HR_LIST_SWINSTALLED] and
// stay valid until the next rebuild of this table or of the running-software
// tables, or unload. Not thread safe (see table_list.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "agent/hostres/hostscan.h"
#include "agent/hostres/table_list.h"
#include "mfc/afxstr.h"
#include "platform/providers/winprob/winprob.h"

enum HRSWTYPE : DWORD {
  HR_SWTYPE_UNKNOWN = 1,
  HR_SWTYPE_OPERATING_SYSTEM = 2,
  HR_SWTYPE_DEVICE_DRIVER = 3,
  HR_SWTYPE_APPLICATION = 4,
};

enum : DWORD {
  HR_RESULT_SWINSTALLED_BUILD = 1219,
  HR_RESULT_SWINSTALLED_REFRESH = 1220,
  HR_RESULT_SWINSTALLED_LASTCHANGE = 1225,
  HR_RESULT_SWINSTALLED_TIMEZONE = 1226,
};

class HOSTSCAN_CLASS CSWInstalledEntry : public CObject {
 public:
  CSWInstalledEntry();
  ~CSWInstalledEntry() override;

  void EntrySet(DWORD index, const WCHAR* name, const HROBJECTID& id, HRSWTYPE type,
                const SYSTEMTIME& date, const TIME_ZONE_INFORMATION& zone, HRTimeZone zoneKind,
                const WCHAR* serviceName, const WCHAR* pathName, const WCHAR* command);
  // Copies index, name, ID, type and date; the zone arguments are not written.
  void hrEntryGet(DWORD& index, CString& name, HROBJECTID& id, HRSWTYPE& type, SYSTEMTIME& date,
                  TIME_ZONE_INFORMATION zone, HRTimeZone zoneKind) const;

  DWORD hrSWInstalledIndexGet() const { return m_ul_index; }
  const CString& hrSWInstalledNameGet() const { return m_s_name; }
  const HROBJECTID& hrSWInstalledIDGet() const { return m_id_id; }
  HRSWTYPE hrSWInstalledTypeGet() const { return m_e_type; }
  const SYSTEMTIME& hrSWInstalledDateGet() const { return m_st_date; }
  const TIME_ZONE_INFORMATION& hrTimeZoneInfoGet() const { return m_tz_zone; }
  HRTimeZone hrTimeZoneGet() const { return m_ul_zoneKind; }
  const CString& hrSWServiceNameGet() const { return m_s_serviceName; }
  const CString& hrSWPathNameGet() const { return m_s_pathName; }
  const CString& hrSWCommandGet() const { return m_s_command; }

 private:
  DWORD m_ul_index = 0;
  CString m_s_name;
  HROBJECTID m_id_id{};
  HRSWTYPE m_e_type = HR_SWTYPE_UNKNOWN;
  SYSTEMTIME m_st_date{};
  TIME_ZONE_INFORMATION m_tz_zone{};
  HRTimeZone m_ul_zoneKind = 0;
  CString m_s_serviceName;
  CString m_s_pathName;
  CString m_s_command;
};

class HOSTSCAN_CLASS CSWInstalledTable {
 public:
  CSWInstalledTable() = default;
  virtual ~CSWInstalledTable() = default;
  CSWInstalledTable(const CSWInstalledTable&) = default;
  CSWInstalledTable& operator=(const CSWInstalledTable&) = default;

  // Builds the table when it does not exist: 0 or 1219.
  static DWORD hrInit();
  // Frees the table and builds it anew: 0 or 1220.
  DWORD hrRefresh();
  CSWInstalledEntry* hrGet(DWORD index);
  CSWInstalledEntry* hrGetNext(DWORD& index);
  DWORD hrGetEntryCount();

  // A new list from the registry provider into `list` (null on failure):
  // 0 or 1219.
  static DWORD BuildTable(CObList*& list);
  static void CleanupTable(CObList*& list);

  // The type of a running process named `processName` (1 unknown when the
  // table is empty or no row names it, 2 for the operating system's process
  // "System" in any case), with the matching row's program in `pathName`
  // and anything after its first space in `parameters`; each buffer, when
  // given, holds `bufferChars` characters (258 by default) and is always
  // terminated.
  static HRSWTYPE GetServiceTypeFromInstalledSoftware(const WCHAR* processName, WCHAR* pathName,
                                                      WCHAR* parameters, DWORD bufferChars = 258);

 private:
  HrCursor m_pos_cursor;
};

class HOSTSCAN_CLASS CSWInstalledGroup {
 public:
  // Hundredths of a second from the change stamp taken at start-up to the
  // provider's current change time, wrapping at 32 bits: 0 or 1225.
  static DWORD hrSWInstalledLastChangeGet(DWORD& value);
  // Always 0 with value 0.
  static DWORD hrSWInstalledLastUpdateTimeGet(DWORD& value);
};

// Hundredths of a second from `from` to `to` (calendar fields as given, no
// zone), wrapping at 32 bits. Fields out of range count as they fall.
DWORD HrCentisecondsBetween(const SYSTEMTIME& from, const SYSTEMTIME& to);

// The first occurrence of `name` in `text` (0 for an empty name), or npos:
// the search the process lookup runs over its text of installed rows.
size_t HrFindText(const std::u16string& text, const std::u16string& name);

// The same search run for many names over one text: the positions of every
// two adjacent units, grouped by the low bytes of the pair, so that a name is
// tried only where its rarest pair occurs (in ascending order, so the first
// match found is the first occurrence). Build once per text, which must stay
// unchanged and alive while Find is used; a text of one unit, or an index that
// could not be built (out of memory), is searched by HrFindText.
class CHRTEXTINDEX {
 public:
  void Build(const std::u16string& text);
  void Clear();
  // HrFindText(text, name) for the text given to Build.
  size_t Find(const std::u16string& name) const;

 private:
  const std::u16string* m_p_text = nullptr;
  bool m_b_built = false;
  std::vector<uint32_t> m_v_start;      // by pair key: first slot in m_v_positions
  std::vector<uint32_t> m_v_positions;  // unit positions, grouped by pair key
};
