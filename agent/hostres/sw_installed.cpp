#include "agent/hostres/sw_installed.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "agent/hostres/record_text.h"
#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/trace_log.h"
#include "platform/providers/regprob/regprob.h"

namespace {

CObList*& InstalledList() { return g_p_tableList[HR_LIST_SWINSTALLED]; }

DWORD InstalledIndexOf(const CObject* entry) {
  return static_cast<const CSWInstalledEntry*>(entry)->hrSWInstalledIndexGet();
}

// Increases with every build and clean-up of the installed-software list, so
// that the lookup below knows when its search text is stale.
DWORD g_ul_installedSerial = 0;

// The process-name lookup. Every row's service name, path name and command,
// each followed by a NUL, are laid end to end in one text; the first match
// of a name in that text lies in the first row that holds it, since the rows
// come in list order and a name holds no NUL (so a match never spans two
// fields). The text is indexed by its pairs of adjacent units once per list,
// so that a name is tried only where its rarest pair occurs, which keeps
// 2,000 processes against 2,000 rows quick; names repeat (many workers of one
// program), so the answer per name is remembered until the list changes.
struct SwLookup {
  DWORD serial = ~0u;
  const CObList* list = nullptr;
  std::u16string text;
  std::vector<size_t> rowEnd;                        // text offset past each row
  std::vector<const CSWInstalledEntry*> rows;        // in list order
  CHRTEXTINDEX index;                                // over `text`
  std::unordered_map<std::u16string, long> answers;  // name -> row, -1 none
};
SwLookup g_sl_lookup;

void LookupPrepare(const CObList* list) {
  if (g_sl_lookup.serial == g_ul_installedSerial && g_sl_lookup.list == list) return;
  g_sl_lookup.serial = g_ul_installedSerial;
  g_sl_lookup.list = list;
  g_sl_lookup.index.Clear();
  g_sl_lookup.text.clear();
  g_sl_lookup.rowEnd.clear();
  g_sl_lookup.rows.clear();
  g_sl_lookup.answers.clear();
  POSITION pos = list->GetHeadPosition();
  while (pos != nullptr) {
    const auto* row = static_cast<const CSWInstalledEntry*>(list->GetNext(pos));
    for (const CString* field :
         {&row->hrSWServiceNameGet(), &row->hrSWPathNameGet(), &row->hrSWCommandGet()}) {
      g_sl_lookup.text.append(static_cast<const WCHAR*>(*field), field->GetLength());
      g_sl_lookup.text.push_back(u'\0');
    }
    g_sl_lookup.rowEnd.push_back(g_sl_lookup.text.size());
    g_sl_lookup.rows.push_back(row);
  }
  g_sl_lookup.index.Build(g_sl_lookup.text);
}

const CSWInstalledEntry* LookupFind(const std::u16string& name) {
  auto known = g_sl_lookup.answers.find(name);
  long row = -1;
  if (known != g_sl_lookup.answers.end()) {
    row = known->second;
  } else {
    const size_t found = g_sl_lookup.index.Find(name);
    if (found != std::u16string::npos) {
      const size_t at = found;
      row = static_cast<long>(
          std::upper_bound(g_sl_lookup.rowEnd.begin(), g_sl_lookup.rowEnd.end(), at) -
          g_sl_lookup.rowEnd.begin());
      if (row >= static_cast<long>(g_sl_lookup.rows.size())) row = -1;
    }
    g_sl_lookup.answers.emplace(name, row);
  }
  return row < 0 ? nullptr : g_sl_lookup.rows[static_cast<size_t>(row)];
}

void CopyBounded(WCHAR* buffer, DWORD bufferChars, const WCHAR* text, size_t length) {
  if (buffer == nullptr || bufferChars == 0) return;
  const size_t count = std::min<size_t>(length, bufferChars - 1);
  std::copy(text, text + count, buffer);
  buffer[count] = u'\0';
}

// Days from 1 January 1970 to a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int64_t Centiseconds(const SYSTEMTIME& time) {
  const int64_t days = DaysFromCivil(time.wYear, time.wMonth, time.wDay);
  const int64_t seconds = ((days * 24 + time.wHour) * 60 + time.wMinute) * 60 + time.wSecond;
  return seconds * 100 + time.wMilliseconds / 10;
}

}  // namespace

// Horspool's skip table is keyed by a unit's low byte: the shift of a byte is
// the smallest that any pattern unit with that low byte asks for, so no
// occurrence is skipped whatever the high bytes.
size_t HrFindText(const std::u16string& text, const std::u16string& name) {
  const size_t length = name.size();
  if (length == 0) return 0;
  if (length > text.size()) return std::u16string::npos;
  size_t skip[256];
  std::fill(std::begin(skip), std::end(skip), length);
  for (size_t i = 0; i + 1 < length; ++i) skip[name[i] & 0xFF] = length - 1 - i;
  const char16_t last = name[length - 1];
  for (size_t at = 0; at + length <= text.size();) {
    const char16_t unit = text[at + length - 1];
    if (unit == last &&
        std::char_traits<char16_t>::compare(text.data() + at, name.data(), length - 1) == 0) {
      return at;
    }
    at += skip[unit & 0xFF];
  }
  return std::u16string::npos;
}

namespace {

constexpr size_t kPairKeys = 1u << 16;

// The low bytes of the units at `at` and `at + 1`.
size_t PairKey(const char16_t* units) { return (units[0] & 0xFFu) << 8 | (units[1] & 0xFFu); }

}  // namespace

void CHRTEXTINDEX::Clear() {
  m_p_text = nullptr;
  m_b_built = false;
  m_v_start.clear();
  m_v_positions.clear();
}

void CHRTEXTINDEX::Build(const std::u16string& text) {
  Clear();
  m_p_text = &text;
  if (text.size() < 2 || text.size() > UINT32_MAX) return;
  try {
    const size_t pairs = text.size() - 1;
    m_v_start.assign(kPairKeys + 1, 0);
    for (size_t at = 0; at < pairs; ++at) ++m_v_start[PairKey(text.data() + at) + 1];
    for (size_t key = 0; key < kPairKeys; ++key) m_v_start[key + 1] += m_v_start[key];
    m_v_positions.resize(pairs);
    std::vector<uint32_t> next(m_v_start.begin(), m_v_start.end() - 1);
    for (size_t at = 0; at < pairs; ++at) {
      m_v_positions[next[PairKey(text.data() + at)]++] = static_cast<uint32_t>(at);
    }
  } catch (const std::bad_alloc&) {
    m_v_start.clear();
    m_v_positions.clear();
    return;
  }
  m_b_built = true;
}

size_t CHRTEXTINDEX::Find(const std::u16string& name) const {
  static const std::u16string kEmpty;
  const std::u16string& text = m_p_text ? *m_p_text : kEmpty;
  const size_t length = name.size();
  if (!m_b_built || length < 2 || length > text.size()) return HrFindText(text, name);
  // The pair of the name that occurs least often in the text.
  size_t bestOffset = 0;
  size_t bestCount = SIZE_MAX;
  for (size_t offset = 0; offset + 1 < length; ++offset) {
    const size_t key = PairKey(name.data() + offset);
    const size_t count = m_v_start[key + 1] - m_v_start[key];
    if (count < bestCount) {
      bestCount = count;
      bestOffset = offset;
      if (count == 0) return std::u16string::npos;
    }
  }
  const size_t key = PairKey(name.data() + bestOffset);
  for (size_t slot = m_v_start[key]; slot < m_v_start[key + 1]; ++slot) {
    const size_t position = m_v_positions[slot];
    if (position < bestOffset) continue;
    const size_t at = position - bestOffset;
    if (at + length > text.size()) break;  // later positions lie further on
    if (std::char_traits<char16_t>::compare(text.data() + at, name.data(), length) == 0) return at;
  }
  return std::u16string::npos;
}

DWORD HrCentisecondsBetween(const SYSTEMTIME& from, const SYSTEMTIME& to) {
  return static_cast<DWORD>(static_cast<uint64_t>(Centiseconds(to) - Centiseconds(from)));
}

// --- CSWInstalledEntry ---

CSWInstalledEntry::CSWInstalledEntry() = default;
CSWInstalledEntry::~CSWInstalledEntry() = default;

void CSWInstalledEntry::EntrySet(DWORD index, const WCHAR* name, const HROBJECTID& id,
                                 HRSWTYPE type, const SYSTEMTIME& date,
                                 const TIME_ZONE_INFORMATION& zone, HRTimeZone zoneKind,
                                 const WCHAR* serviceName, const WCHAR* pathName,
                                 const WCHAR* command) {
  m_ul_index = index;
  m_s_name = name;
  m_id_id = id;
  m_e_type = type;
  m_st_date = date;
  m_tz_zone = zone;
  m_ul_zoneKind = zoneKind;
  m_s_serviceName = serviceName;
  m_s_pathName = pathName;
  m_s_command = command;
}

void CSWInstalledEntry::hrEntryGet(DWORD& index, CString& name, HROBJECTID& id, HRSWTYPE& type,
                                   SYSTEMTIME& date, TIME_ZONE_INFORMATION /*zone*/,
                                   HRTimeZone /*zoneKind*/) const {
  index = m_ul_index;
  name = m_s_name;
  id = m_id_id;
  type = m_e_type;
  date = m_st_date;
}

// --- CSWInstalledTable ---

DWORD CSWInstalledTable::hrInit() {
  DWORD result = 0;
  if (InstalledList() == nullptr) result = BuildTable(InstalledList());
  TraceLog(HR_TRACE_ENTRY_POINT, u"CSWInstalledTable::hrInit: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

DWORD CSWInstalledTable::hrRefresh() {
  CleanupTable(InstalledList());
  const DWORD result =
      BuildTable(InstalledList()) == 0 ? 0 : static_cast<DWORD>(HR_RESULT_SWINSTALLED_REFRESH);
  TraceLog(HR_TRACE_ENTRY_POINT, u"CSWInstalledTable::hrRefresh: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

CSWInstalledEntry* CSWInstalledTable::hrGet(DWORD index) {
  auto* entry =
      static_cast<CSWInstalledEntry*>(HrListGet(InstalledList(), index, InstalledIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CSWInstalledTable::hrGet: Completed, Index = %1!d!, Entry = %2!#x!\r\n",
           static_cast<int>(index), static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry)));
  return entry;
}

CSWInstalledEntry* CSWInstalledTable::hrGetNext(DWORD& index) {
  const DWORD previous = index;
  auto* entry = static_cast<CSWInstalledEntry*>(
      HrListGetNext(InstalledList(), m_pos_cursor, index, InstalledIndexOf));
  TraceLog(HR_TRACE_ENTRY_POINT,
           u"CSWInstalledTable::hrGetNext: Completed, Prev Index = %1!d!, New Index = %2!d!, "
           u"Entry = %3!#x!\r\n",
           static_cast<int>(previous), static_cast<int>(index),
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry)));
  return entry;
}

DWORD CSWInstalledTable::hrGetEntryCount() { return HrListCount(InstalledList()); }

void CSWInstalledTable::CleanupTable(CObList*& list) {
  HrListFree(list);
  ++g_ul_installedSerial;
  TraceLog(HR_TRACE_TABLE, u"CSWInstalledTable::CleanupTable: Completed\r\n");
}

DWORD CSWInstalledTable::BuildTable(CObList*& list) {
  ++g_ul_installedSerial;
  DWORD internal = 0;
  int count = 0;
  RegSoftwareRecord* records = nullptr;
  list = HrListNew();
  if (list == nullptr) internal = HR_RESULT_NO_MEMORY;

  TIME_ZONE_INFORMATION zone{};
  HRTimeZone zoneKind = 0;
  if (internal == 0 && W32GetSystemTimeZone(g_w_w32Handle, &zone, &zoneKind) != 0) {
    internal = HR_RESULT_SWINSTALLED_TIMEZONE;
  }
  if (internal == 0) {
    DWORD unused = 0;
    count = RegGetSoftwareInstalled(g_w_regHandle, &records, &unused);
    if (count < 0 || (count > 0 && records == nullptr)) internal = HR_RESULT_SWINSTALLED_BUILD;
  }
  if (internal == 0) {
    const CString withVersion = HrLoadText(106, u"%s-%s: %s, v%lu.%lu");
    const CString withText = HrLoadText(107, u"%s-%s: %s, v%s");
    const CString plain = HrLoadText(111, u"%s-%s: %s");
    const CString serviceWord = HrLoadText(112, u"Service");
    const CString softwareWord = HrLoadText(113, u"Software");
    HROBJECTID zeroId{};  // { 0 0 }
    zeroId.length = 2;
    for (int i = 0; i < count && internal == 0; ++i) {
      const RegSoftwareRecord& record = records[i];
      auto* entry = new CSWInstalledEntry;
      if (entry == nullptr) {
        internal = HR_RESULT_NO_MEMORY;
        break;
      }
      const CString& kindWord = record.kind == kSoftwareService ? serviceWord : softwareWord;
      const CString displayName = HrFieldText(record.displayName);
      const CString shown = displayName.IsEmpty() ? HrFieldText(record.name) : displayName;
      const CString qualifier = HrFieldText(record.qualifier);
      const CString version = HrFieldText(record.version);
      CString name;
      if (record.major != 0 || record.minor != 0) {
        name.Format(static_cast<LPCWSTR>(withVersion), kindWord, qualifier, shown, record.major,
                    record.minor);
      } else if (!version.IsEmpty()) {
        name.Format(static_cast<LPCWSTR>(withText), kindWord, qualifier, shown, version);
      } else {
        name.Format(static_cast<LPCWSTR>(plain), kindWord, qualifier, shown);
      }
      HRSWTYPE type = HR_SWTYPE_APPLICATION;
      if (record.type == kTypeDeviceDriver) type = HR_SWTYPE_DEVICE_DRIVER;
      if (record.type == kTypeOperatingSystem) type = HR_SWTYPE_OPERATING_SYSTEM;
      SYSTEMTIME date{};
      if (record.installTime != 0) {
        const time_t when = static_cast<time_t>(record.installTime);
        struct tm local {};
        if (localtime_r(&when, &local) != nullptr) {
          date.wYear = static_cast<WORD>(local.tm_year + 1900);
          date.wMonth = static_cast<WORD>(local.tm_mon + 1);
          date.wDayOfWeek = static_cast<WORD>(local.tm_wday);
          date.wDay = static_cast<WORD>(local.tm_mday);
          date.wHour = static_cast<WORD>(local.tm_hour);
          date.wMinute = static_cast<WORD>(local.tm_min);
          date.wSecond = static_cast<WORD>(local.tm_sec);
        }
      }
      entry->EntrySet(static_cast<DWORD>(i + 1), name, zeroId, type, date, zone, zoneKind,
                      HrFieldText(record.name), HrFieldText(record.pathName),
                      HrFieldText(record.command));
      if (list->AddTail(entry) == nullptr) {
        delete entry;
        internal = HR_RESULT_NO_MEMORY;
      }
    }
  }
  if (records != nullptr) RegFreeResource(g_w_regHandle, records);
  if (internal != 0) HrListFree(list);
  TraceLog(HR_TRACE_TABLE,
           u"CSWInstalledTable::BuildTable: Completed, Result = %1!d!, result = %2!d!\r\n", count,
           static_cast<int>(internal));
  return internal == 0 ? 0 : static_cast<DWORD>(HR_RESULT_SWINSTALLED_BUILD);
}

HRSWTYPE CSWInstalledTable::GetServiceTypeFromInstalledSoftware(const WCHAR* processName,
                                                                WCHAR* pathName, WCHAR* parameters,
                                                                DWORD bufferChars) {
  if (pathName != nullptr && bufferChars > 0) pathName[0] = u'\0';
  if (parameters != nullptr && bufferChars > 0) parameters[0] = u'\0';
  const CObList* list = InstalledList();
  if (list == nullptr || list->IsEmpty() || processName == nullptr) return HR_SWTYPE_UNKNOWN;

  // Package names, unit names and the programs and command lines of service
  // units are almost always lower case on Linux ("cron", "ssh.service",
  // "/usr/sbin/sshd -D"), while process names keep their program's case
  // ("Xorg", "(sd-pam)"). So the name is folded to lower case and searched
  // as the provider gives its strings.
  CString working(processName);
  working.MakeLower();
  if (working.CompareNoCase(HrLoadText(114, u"System")) == 0) return HR_SWTYPE_OPERATING_SYSTEM;

  LookupPrepare(list);
  const CSWInstalledEntry* row =
      LookupFind(std::u16string(static_cast<const WCHAR*>(working), working.GetLength()));
  if (row == nullptr) return HR_SWTYPE_UNKNOWN;

  const CString& program =
      row->hrSWPathNameGet().IsEmpty() ? row->hrSWCommandGet() : row->hrSWPathNameGet();
  if (!program.IsEmpty()) {
    const std::u16string_view text(static_cast<const WCHAR*>(program), program.GetLength());
    const size_t space = text.find(u' ');
    if (space == std::u16string_view::npos) {
      CopyBounded(pathName, bufferChars, text.data(), text.size());
    } else {
      CopyBounded(pathName, bufferChars, text.data(), space);
      CopyBounded(parameters, bufferChars, text.data() + space, text.size() - space);
    }
  }
  return row->hrSWInstalledTypeGet();
}

// --- CSWInstalledGroup ---

DWORD CSWInstalledGroup::hrSWInstalledLastChangeGet(DWORD& value) {
  value = 0;
  SYSTEMTIME now{};
  if (W32GetSWInstalledLastChange(g_w_w32Handle, &now) != 0)
    return HR_RESULT_SWINSTALLED_LASTCHANGE;
  value = HrCentisecondsBetween(g_st_swInstalledLastChange, now);
  return 0;
}

DWORD CSWInstalledGroup::hrSWInstalledLastUpdateTimeGet(DWORD& value) {
  value = 0;
  return 0;
}
