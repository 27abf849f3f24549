// Test extension agent: a table under 1.3.6.1.4.1.64823.99.1 with N rows
// (environment SNMPSVC_TEST_ROWS, default 10) and a trap trigger.
//   .1.1.1.r  INTEGER       read-only   r
//   .1.1.2.r  OCTET STRING  read-write  "row r"
//   .1.1.3.r  INTEGER       read-write  r * 10, values 0..1000
//   .1.1.4.r  Counter32     read-only   r * 1000
//   .2.0      INTEGER       read-write  setting n (1..100) raises n traps
// Traps: enterprise = the view, specific = running number k, bindings
// .3.0 "trap k" and .4.0 k; their memory is freed by the next call.
// Unloading appends "unloaded" to the file SNMPSVC_TEST_UNLOAD_FILE names.
// Built with TEST_TABLE_QUERY_EX, it also exports SnmpExtensionQueryEx.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "snmp/bulk_answer.h"
#include "snmp/snmp.h"
#include "win32/memory.h"
#include "win32/sync.h"
#include "win32/timeapi.h"

namespace {

UINT viewArcs[] = {1, 3, 6, 1, 4, 1, 64823, 99, 1};
constexpr UINT kViewLength = 9;
constexpr UINT kColumns = 4;

std::mutex lock;
HANDLE trapEvent = nullptr;
DWORD timeZero = 0;
UINT rows = 10;
std::vector<std::string> names;
std::vector<LONG> values;
LONG trapsRaised = 0;
LONG trapsPending = 0;
LONG trapsSent = 0;
SnmpVarBind* lastTrap = nullptr;

bool InView(const AsnObjectIdentifier& name) {
  return name.idLength >= kViewLength &&
         std::memcmp(name.ids, viewArcs, kViewLength * sizeof(UINT)) == 0;
}

void SetName(AsnObjectIdentifier* name, const std::vector<UINT>& arcs) {
  if (name->ids != nullptr) GlobalFree(name->ids);
  name->ids = static_cast<UINT*>(GlobalAlloc(GPTR, arcs.size() * sizeof(UINT)));
  std::memcpy(name->ids, arcs.data(), arcs.size() * sizeof(UINT));
  name->idLength = static_cast<UINT>(arcs.size());
}

std::vector<UINT> Cell(UINT column, UINT row) {
  std::vector<UINT> arcs(viewArcs, viewArcs + kViewLength);
  arcs.insert(arcs.end(), {1, 1, column, row});
  return arcs;
}

std::vector<UINT> Trigger() {
  std::vector<UINT> arcs(viewArcs, viewArcs + kViewLength);
  arcs.insert(arcs.end(), {2, 0});
  return arcs;
}

int Compare(const std::vector<UINT>& a, const AsnObjectIdentifier& b) {
  AsnObjectIdentifier oa{static_cast<UINT>(a.size()), const_cast<UINT*>(a.data())};
  return SnmpUtilOidCmp(&oa, const_cast<AsnObjectIdentifier*>(&b));
}

void Fill(SnmpVarBind* binding, UINT column, UINT row) {
  SnmpUtilAsnAnyFree(&binding->value);
  switch (column) {
    case 1:
      binding->value.asnType = ASN_INTEGER;
      binding->value.asnValue.number = static_cast<LONG>(row);
      break;
    case 2: {
      const std::string& text = names[row - 1];
      binding->value.asnType = ASN_OCTETSTRING;
      binding->value.asnValue.string.stream =
          reinterpret_cast<BYTE*>(const_cast<char*>(text.data()));
      binding->value.asnValue.string.length = static_cast<UINT>(text.size());
      binding->value.asnValue.string.dynamic = FALSE;
      break;
    }
    case 3:
      binding->value.asnType = ASN_INTEGER;
      binding->value.asnValue.number = values[row - 1];
      break;
    default:
      binding->value.asnType = ASN_COUNTER32;
      binding->value.asnValue.counter = row * 1000u;
      break;
  }
}

// 0 when the name is no object; else the column (5 for the trigger).
UINT Locate(const AsnObjectIdentifier& name, UINT* row) {
  if (!InView(name)) return 0;
  if (name.idLength == kViewLength + 2 && name.ids[kViewLength] == 2 &&
      name.ids[kViewLength + 1] == 0)
    return 5;
  if (name.idLength != kViewLength + 4 || name.ids[kViewLength] != 1 ||
      name.ids[kViewLength + 1] != 1)
    return 0;
  UINT column = name.ids[kViewLength + 2];
  *row = name.ids[kViewLength + 3];
  if (column < 1 || column > kColumns || *row < 1 || *row > rows) return 0;
  return column;
}

LONG GetOne(SnmpVarBind* binding) {
  UINT row = 0;
  UINT column = Locate(binding->name, &row);
  if (column == 0) return SNMP_ERRORSTATUS_NOSUCHNAME;
  if (column == 5) {
    SnmpUtilAsnAnyFree(&binding->value);
    binding->value.asnType = ASN_INTEGER;
    binding->value.asnValue.number = trapsRaised;
  } else {
    Fill(binding, column, row);
  }
  return SNMP_ERRORSTATUS_NOERROR;
}

void GetNextOne(SnmpVarBind* binding) {
  const AsnObjectIdentifier& name = binding->name;
  for (UINT column = 1; column <= kColumns; ++column) {
    std::vector<UINT> first = Cell(column, 1);
    std::vector<UINT> columnPrefix(first.begin(), first.end() - 1);
    UINT row;
    if (Compare(columnPrefix, name) >= 0) {
      row = 1;  // the whole column lies after the name
    } else if (name.idLength > columnPrefix.size() &&
               std::memcmp(name.ids, columnPrefix.data(), columnPrefix.size() * sizeof(UINT)) ==
                   0) {
      UINT current = name.ids[columnPrefix.size()];
      if (current >= rows) continue;
      row = current + 1;
    } else {
      continue;  // the column lies before the name
    }
    if (row > rows) continue;
    SetName(&binding->name, Cell(column, row));
    Fill(binding, column, row);
    return;
  }
  std::vector<UINT> trigger = Trigger();
  if (Compare(trigger, name) > 0) {
    SetName(&binding->name, trigger);
    GetOne(binding);
    return;
  }
  // Past the last object: the name just after the view.
  std::vector<UINT> after(viewArcs, viewArcs + kViewLength);
  ++after.back();
  SetName(&binding->name, after);
}

LONG CheckSet(const SnmpVarBind& binding) {
  UINT row = 0;
  UINT column = Locate(binding.name, &row);
  if (column == 0) return SNMP_ERRORSTATUS_NOSUCHNAME;
  if (column == 1 || column == 4) return SNMP_ERRORSTATUS_READONLY;
  if (column == 2) {
    return binding.value.asnType == ASN_OCTETSTRING && binding.value.asnValue.string.length <= 64
               ? SNMP_ERRORSTATUS_NOERROR
               : SNMP_ERRORSTATUS_BADVALUE;
  }
  if (binding.value.asnType != ASN_INTEGER) return SNMP_ERRORSTATUS_BADVALUE;
  LONG v = binding.value.asnValue.number;
  if (column == 3)
    return v >= 0 && v <= 1000 ? SNMP_ERRORSTATUS_NOERROR : SNMP_ERRORSTATUS_BADVALUE;
  return v >= 1 && v <= 100 ? SNMP_ERRORSTATUS_NOERROR : SNMP_ERRORSTATUS_BADVALUE;
}

void ApplySet(const SnmpVarBind& binding) {
  UINT row = 0;
  UINT column = Locate(binding.name, &row);
  if (column == 2) {
    const AsnOctetString& text = binding.value.asnValue.string;
    names[row - 1].assign(reinterpret_cast<const char*>(text.stream), text.length);
  } else if (column == 3) {
    values[row - 1] = binding.value.asnValue.number;
  } else if (column == 5) {
    trapsRaised += binding.value.asnValue.number;
    trapsPending += binding.value.asnValue.number;
    SetEvent(trapEvent);
  }
}

void FreeLastTrap(SnmpVarBindList* list) {
  if (lastTrap == nullptr) return;
  for (UINT i = 0; i < 2; ++i) SnmpUtilVarBindFree(&lastTrap[i]);
  GlobalFree(lastTrap);
  lastTrap = nullptr;
  list->list = nullptr;
  list->len = 0;
}

// The unload sequence that dlclose runs: records that it ran when the tests
// ask for it (SNMPSVC_TEST_UNLOAD_FILE).
__attribute__((destructor)) void OnUnload() {
  const char* path = std::getenv("SNMPSVC_TEST_UNLOAD_FILE");
  if (path == nullptr) return;
  if (FILE* file = std::fopen(path, "a")) {
    std::fputs("unloaded\n", file);
    std::fclose(file);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL SnmpExtensionInit(
    DWORD timeZeroReference, HANDLE* trapEventOut, AsnObjectIdentifier* view) {
  timeZero = timeZeroReference;
  if (const char* text = std::getenv("SNMPSVC_TEST_ROWS")) {
    long parsed = std::strtol(text, nullptr, 10);
    if (parsed >= 1 && parsed <= 100000) rows = static_cast<UINT>(parsed);
  }
  names.clear();
  values.clear();
  for (UINT r = 1; r <= rows; ++r) {
    names.push_back("row " + std::to_string(r));
    values.push_back(static_cast<LONG>(r * 10));
  }
  trapEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  *trapEventOut = trapEvent;
  view->idLength = kViewLength;
  view->ids = viewArcs;
  return TRUE;
}

// Bindings handed to SnmpExtensionQuery so far, for tests of the cost of a
// request.
static unsigned long bindingsAsked = 0;
extern "C" __attribute__((visibility("default"))) unsigned long SnmpsvcTestBindingsAsked() {
  return bindingsAsked;
}

extern "C" __attribute__((visibility("default"))) BOOL SnmpExtensionQuery(
    BYTE requestType, SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex) {
  std::lock_guard<std::mutex> guard(lock);
  if (list != nullptr) bindingsAsked += list->len;
  *errorStatus = SNMP_ERRORSTATUS_NOERROR;
  *errorIndex = 0;
  for (UINT i = 0; i < list->len; ++i) {
    LONG result = SNMP_ERRORSTATUS_NOERROR;
    if (requestType == SNMP_PDU_GET) {
      result = GetOne(&list->list[i]);
    } else if (requestType == SNMP_PDU_GETNEXT) {
      GetNextOne(&list->list[i]);
    } else if (requestType == SNMP_PDU_SET) {
      result = CheckSet(list->list[i]);
    } else {
      result = SNMP_ERRORSTATUS_GENERR;
    }
    if (result != SNMP_ERRORSTATUS_NOERROR) {
      *errorStatus = result;
      *errorIndex = static_cast<AsnInteger32>(i + 1);
      return TRUE;
    }
  }
  if (requestType == SNMP_PDU_SET) {
    for (UINT i = 0; i < list->len; ++i) ApplySet(list->list[i]);
  }
  return TRUE;
}

extern "C" __attribute__((visibility("default"))) BOOL SnmpExtensionTrap(
    AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap, AsnInteger32* specificTrap,
    AsnTimeticks* timeStamp, SnmpVarBindList* list) {
  std::lock_guard<std::mutex> guard(lock);
  FreeLastTrap(list);
  if (trapsPending == 0) return FALSE;
  --trapsPending;
  LONG k = ++trapsSent;
  enterprise->idLength = kViewLength;
  enterprise->ids = viewArcs;
  *genericTrap = SNMP_GENERICTRAP_ENTERSPECIFIC;
  *specificTrap = k;
  *timeStamp = GetTickCount() / 10 - timeZero;
  lastTrap = static_cast<SnmpVarBind*>(GlobalAlloc(GPTR, 2 * sizeof(SnmpVarBind)));
  std::vector<UINT> text(viewArcs, viewArcs + kViewLength);
  text.insert(text.end(), {3, 0});
  std::vector<UINT> number(viewArcs, viewArcs + kViewLength);
  number.insert(number.end(), {4, 0});
  SetName(&lastTrap[0].name, text);
  std::string message = "trap " + std::to_string(k);
  lastTrap[0].value.asnType = ASN_OCTETSTRING;
  lastTrap[0].value.asnValue.string.stream =
      static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, message.size()));
  std::memcpy(lastTrap[0].value.asnValue.string.stream, message.data(), message.size());
  lastTrap[0].value.asnValue.string.length = static_cast<UINT>(message.size());
  lastTrap[0].value.asnValue.string.dynamic = TRUE;
  SetName(&lastTrap[1].name, number);
  lastTrap[1].value.asnType = ASN_INTEGER;
  lastTrap[1].value.asnValue.number = k;
  list->list = lastTrap;
  list->len = 2;
  return TRUE;
}

#ifdef TEST_TABLE_QUERY_EX
// The same table through SnmpExtensionQueryEx, whose calls are counted. A set
// is applied at its commit. SNMP_EXTENSION_GET_BULK is served, unless
// SNMPSVC_TEST_NO_BULK is set: then it is a request type the agent does not
// know, answered genErr.
static std::atomic<unsigned long> queryExCalls{0};
extern "C" __attribute__((visibility("default"))) unsigned long SnmpsvcTestQueryExCalls() {
  return queryExCalls;
}

extern "C" __attribute__((visibility("default"))) BOOL SnmpExtensionQueryEx(
    UINT requestType, UINT, SnmpVarBindList* list, AsnOctetString*, AsnInteger32* errorStatus,
    AsnInteger32* errorIndex) {
  ++queryExCalls;
  switch (requestType) {
    case SNMP_EXTENSION_GET:
    case SNMP_EXTENSION_GET_NEXT:
    case SNMP_EXTENSION_SET_COMMIT:
      return SnmpExtensionQuery(static_cast<BYTE>(requestType), list, errorStatus, errorIndex);
    case SNMP_EXTENSION_SET_TEST:
    case SNMP_EXTENSION_SET_UNDO:
    case SNMP_EXTENSION_SET_CLEANUP:
      *errorStatus = SNMP_ERRORSTATUS_NOERROR;
      *errorIndex = 0;
      return TRUE;
    case SNMP_EXTENSION_GET_BULK:
      if (getenv("SNMPSVC_TEST_NO_BULK") == nullptr) {
        return wlsnmp::AnswerGetBulk(AsnObjectIdentifier{kViewLength, viewArcs}, list,
                                     errorStatus, errorIndex,
                                     [](SnmpVarBindList* round, AsnInteger32* status,
                                        AsnInteger32* index) {
                                       return SnmpExtensionQuery(SNMP_PDU_GETNEXT, round, status,
                                                                 index);
                                     });
      }
      break;
    default:
      break;
  }
  *errorStatus = SNMP_ERRORSTATUS_GENERR;
  *errorIndex = 0;
  return TRUE;
}
#endif
