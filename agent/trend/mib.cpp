// Get, get-next and set on the trend MIB's two tables, each driven by its column
// table (column number, syntax, access, read, write).
//
// Names: R = 1.3.6.1.4.1.64823.2.45. A control-table instance is
// R.1.1.1.col.classId.controlIndex, a history-table instance
// R.1.2.1.col.controlIndex.k (15 arcs each; further arcs are ignored).
#include "agent/trend/mib.h"

#include "agent/common/snmp_oid.h"
#include "agent/trend/agent_state.h"
#include "agent/trend/bucket_worker.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/output.h"
#include "agent/trend/page_cache.h"
#include "agent/trend/sampling.h"
#include "win32/sync.h"

namespace trend {

namespace {

using wlsnmp::oidArc;
using wlsnmp::oidHasPrefix;
using wlsnmp::oidLength;

constexpr UINT kRootLength = 9;
constexpr UINT kEntryPrefixLength = 12;
constexpr UINT kInstanceLength = 15;
constexpr UINT kControlEntryPrefix[kEntryPrefixLength] = {1, 3, 6, 1, 4, 1, 64823, 2, 45, 1, 1, 1};
constexpr UINT kHistoryEntryPrefix[kEntryPrefixLength] = {1, 3, 6, 1, 4, 1, 64823, 2, 45, 1, 2, 1};
// The name that tells the SNMP service a walk has left this agent's view.
constexpr UINT kPastView[kRootLength] = {1, 3, 6, 1, 4, 1, 64823, 2, 46};

constexpr DWORD kMinimumBuckets = 50;
constexpr DWORD kMaximumBuckets = 2147483647u;

bool isControlName(const AsnObjectIdentifier& name) {
  return oidHasPrefix(name, kControlEntryPrefix, kEntryPrefixLength);
}
bool isHistoryName(const AsnObjectIdentifier& name) {
  return oidHasPrefix(name, kHistoryEntryPrefix, kEntryPrefixLength);
}

// Replaces the varbind's name by prefix.col.a.b. An allocation failure leaves
// the name empty, which still counts as an answer.
void setInstanceName(SnmpVarBind* vb, const UINT* prefix, UINT col, UINT a, UINT b) {
  UINT arcs[kInstanceLength];
  for (UINT i = 0; i < kEntryPrefixLength; ++i) arcs[i] = prefix[i];
  arcs[12] = col;
  arcs[13] = a;
  arcs[14] = b;
  wlsnmp::replaceOidName(&vb->name, arcs, kInstanceLength);
}

Control* findControlByClass(DWORD classId, DWORD controlIndex) {
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (c->classId == classId && c->controlIndex == controlIndex) return c;
  }
  return nullptr;
}

// The control a history row refers to: the first with that number that is
// being sampled (a control under a bucket change has no history rows).
Control* findSampledControl(DWORD controlIndex) {
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (c->controlIndex == controlIndex && c->samplingEnabled) return c;
  }
  return nullptr;
}

bool holdsSample(const Control* c, DWORD k) { return k - c->sampleIndex < c->numOfSample; }

// --- the column tables ------------------------------------------------------

enum class Syntax { kInteger, kOctetString };
// What a set of the column answers: it is applied, it is refused as readOnly,
// or the column is not named for a set at all (noSuchName).
enum class Access { kReadWrite, kReadOnly, kNotSettable };

// An integer column's value for a control.
using ControlRead = LONG (*)(const Control& c);
// Applies a set value (its 32 bits, also as unsigned); an SNMP error status.
using ControlWrite = AsnInteger32 (*)(Control* c, LONG v, DWORD u);

struct ControlColumn {
  UINT column;
  Syntax syntax;
  Access access;
  ControlRead read;    // null for the octet-string column
  ControlWrite write;  // null unless kReadWrite
};

AsnInteger32 changeInterval(Control* c, DWORD v);
AsnInteger32 changeBuckets(Control* c, DWORD v);

bool isOnOff(LONG v) { return v == kStatusOn || v == kStatusOff; }

AsnInteger32 writeInterval(Control* c, LONG v, DWORD u) {
  if (u == c->intervalIndex) return SNMP_ERRORSTATUS_NOERROR;
  traceLog("control: %d change interval from %ld to %ld\n", static_cast<int>(c->controlIndex),
           static_cast<long>(c->intervalIndex), static_cast<long>(v));
  if (u < 1 || u > 12) return SNMP_ERRORSTATUS_BADVALUE;
  return changeInterval(c, u);
}

AsnInteger32 writeThresholdStatus(Control* c, LONG v, DWORD) {
  if (!isOnOff(v)) return SNMP_ERRORSTATUS_BADVALUE;
  c->thresholdStatus = v;
  c->headerSaved = false;
  return SNMP_ERRORSTATUS_NOERROR;
}

// A new threshold re-arms the latch.
AsnInteger32 writeThreshold(DWORD* threshold, Control* c, DWORD u) {
  if (u == *threshold) return SNMP_ERRORSTATUS_NOERROR;
  *threshold = u;
  c->eventRaised = false;
  c->headerSaved = false;
  return SNMP_ERRORSTATUS_NOERROR;
}

AsnInteger32 writeHistoryStatus(Control* c, LONG v, DWORD) {
  if (!isOnOff(v)) return SNMP_ERRORSTATUS_BADVALUE;
  c->historyStatus = v;
  c->headerSaved = false;
  return SNMP_ERRORSTATUS_NOERROR;
}

LONG asLong(DWORD value) { return static_cast<LONG>(value); }

// The control table, by column number (R.1.1.1.<column>).
constexpr ControlColumn kControlColumns[] = {
    {1, Syntax::kInteger, Access::kReadOnly, [](const Control& c) { return asLong(c.classId); },
     nullptr},
    {2, Syntax::kInteger, Access::kReadOnly,
     [](const Control& c) { return asLong(c.controlIndex); }, nullptr},
    {3, Syntax::kOctetString, Access::kReadOnly, nullptr, nullptr},
    {4, Syntax::kInteger, Access::kReadWrite,
     [](const Control& c) { return asLong(c.intervalIndex); }, writeInterval},
    {5, Syntax::kInteger, Access::kReadOnly, [](const Control& c) { return c.valueType; }, nullptr},
    {6, Syntax::kInteger, Access::kNotSettable, [](const Control& c) { return c.invalidValue; },
     nullptr},
    {7, Syntax::kInteger, Access::kReadOnly, [](const Control& c) { return c.lastSampleValue; },
     nullptr},
    {8, Syntax::kInteger, Access::kReadOnly,
     [](const Control& c) { return asLong(c.refTimeStamp); }, nullptr},
    {9, Syntax::kInteger, Access::kReadWrite, [](const Control& c) { return c.thresholdStatus; },
     writeThresholdStatus},
    {10, Syntax::kInteger, Access::kReadOnly, [](const Control& c) { return c.thresholdType; },
     nullptr},
    {11, Syntax::kInteger, Access::kReadWrite,
     [](const Control& c) { return asLong(c.risingThreshold); },
     [](Control* c, LONG, DWORD u) { return writeThreshold(&c->risingThreshold, c, u); }},
    {12, Syntax::kInteger, Access::kReadWrite,
     [](const Control& c) { return asLong(c.fallingThreshold); },
     [](Control* c, LONG, DWORD u) { return writeThreshold(&c->fallingThreshold, c, u); }},
    {13, Syntax::kInteger, Access::kReadWrite, [](const Control& c) { return c.historyStatus; },
     writeHistoryStatus},
    {14, Syntax::kInteger, Access::kReadOnly,
     [](const Control& c) { return asLong(c.sampleIndex + c.numOfSample - 1); }, nullptr},
    {15, Syntax::kInteger, Access::kReadWrite,
     [](const Control& c) { return asLong(c.bucketsRequested); },
     [](Control* c, LONG, DWORD u) { return changeBuckets(c, u); }},
    {16, Syntax::kInteger, Access::kReadOnly,
     [](const Control& c) { return asLong(c.bucketsGranted); }, nullptr},
    {17, Syntax::kInteger, Access::kReadOnly, [](const Control& c) { return c.controlStatus; },
     nullptr},
};
constexpr UINT kLastControlColumn = sizeof kControlColumns / sizeof kControlColumns[0];

// A history column's value for the control's sample k (held in its ring);
// an SNMP error status.
using HistoryRead = AsnInteger32 (*)(const Control& c, DWORD k, LONG* value);

struct HistoryColumn {
  UINT column;
  Syntax syntax;
  Access access;
  HistoryRead read;
};

AsnInteger32 readStoredSample(const Control& c, DWORD k, LONG* value) {
  // A ring without slots holds nothing that could be read.
  if (c.bucketsGranted == 0) return SNMP_ERRORSTATUS_NOSUCHNAME;
  DWORD slot = (k - c.sampleIndex + c.tail) % c.bucketsGranted;
  if (fetchSample(c.controlIndex, slot, value) != 0) return SNMP_ERRORSTATUS_NOSUCHNAME;
  return SNMP_ERRORSTATUS_NOERROR;
}

// The history table, by column number (R.1.2.1.<column>).
constexpr HistoryColumn kHistoryColumns[] = {
    {1, Syntax::kInteger, Access::kReadOnly,
     [](const Control& c, DWORD, LONG* value) {
       *value = asLong(c.controlIndex);
       return static_cast<AsnInteger32>(SNMP_ERRORSTATUS_NOERROR);
     }},
    {2, Syntax::kInteger, Access::kReadOnly,
     [](const Control&, DWORD k, LONG* value) {
       *value = asLong(k);
       return static_cast<AsnInteger32>(SNMP_ERRORSTATUS_NOERROR);
     }},
    {3, Syntax::kInteger, Access::kReadOnly, readStoredSample},
};
constexpr UINT kLastHistoryColumn = sizeof kHistoryColumns / sizeof kHistoryColumns[0];

// Each table lists its columns in order, column n in row n - 1.
constexpr bool columnsInOrder() {
  for (UINT i = 0; i < kLastControlColumn; ++i) {
    if (kControlColumns[i].column != i + 1) return false;
    if ((kControlColumns[i].access == Access::kReadWrite) != (kControlColumns[i].write != nullptr))
      return false;
    if ((kControlColumns[i].syntax == Syntax::kInteger) != (kControlColumns[i].read != nullptr))
      return false;
  }
  for (UINT i = 0; i < kLastHistoryColumn; ++i) {
    if (kHistoryColumns[i].column != i + 1 || kHistoryColumns[i].read == nullptr) return false;
  }
  return true;
}
static_assert(columnsInOrder());
static_assert(kLastControlColumn == 17 && kLastHistoryColumn == 3);

const ControlColumn* controlColumn(UINT col) {
  return col >= 1 && col <= kLastControlColumn ? &kControlColumns[col - 1] : nullptr;
}

AsnInteger32 controlValue(SnmpVarBind* vb, const Control* c, UINT col) {
  const ControlColumn* column = controlColumn(col);
  if (column == nullptr) return SNMP_ERRORSTATUS_NOSUCHNAME;
  if (column->syntax == Syntax::kOctetString) {
    UINT length = c->instanceNameLength;
    if (length > sizeof(c->instanceName)) length = sizeof(c->instanceName);
    wlsnmp::setStaticOctetString(&vb->value, c->instanceName, length);
  } else {
    wlsnmp::setIntegerValue(&vb->value, column->read(*c));
  }
  return SNMP_ERRORSTATUS_NOERROR;
}

AsnInteger32 historyValue(SnmpVarBind* vb, const Control* c, DWORD k, UINT col) {
  if (!holdsSample(c, k)) return SNMP_ERRORSTATUS_NOSUCHNAME;
  if (col < 1 || col > kLastHistoryColumn) return SNMP_ERRORSTATUS_NOSUCHNAME;
  LONG value = 0;
  AsnInteger32 status = kHistoryColumns[col - 1].read(*c, k, &value);
  if (status == SNMP_ERRORSTATUS_NOERROR) wlsnmp::setIntegerValue(&vb->value, value);
  return status;
}

AsnInteger32 getControlColumn(SnmpVarBind* vb) {
  const AsnObjectIdentifier& name = vb->name;
  if (oidLength(name) < kInstanceLength) return SNMP_ERRORSTATUS_NOSUCHNAME;
  UINT col = oidArc(name, 13);
  UINT classId = oidArc(name, 14);
  UINT controlIndex = oidArc(name, 15);
  if (classId == 0 || controlIndex == 0) return SNMP_ERRORSTATUS_NOSUCHNAME;
  const Control* c = findControlByClass(classId, controlIndex);
  if (c == nullptr) return SNMP_ERRORSTATUS_NOSUCHNAME;
  return controlValue(vb, c, col);
}

AsnInteger32 getHistoryColumn(SnmpVarBind* vb) {
  const AsnObjectIdentifier& name = vb->name;
  if (oidLength(name) < kInstanceLength) return SNMP_ERRORSTATUS_NOSUCHNAME;
  UINT col = oidArc(name, 13);
  UINT controlIndex = oidArc(name, 14);
  UINT k = oidArc(name, 15);
  if (controlIndex == 0 || k == 0) return SNMP_ERRORSTATUS_NOSUCHNAME;
  const Control* c = findSampledControl(controlIndex);
  if (c == nullptr) return SNMP_ERRORSTATUS_NOSUCHNAME;
  return historyValue(vb, c, k, col);
}

// Arc `position` when the name has that many arcs, else `fallback`.
UINT arcOr(const AsnObjectIdentifier& name, UINT position, UINT fallback) {
  return oidLength(name) >= position ? oidArc(name, position) : fallback;
}

bool rowAfter(const Control* c, UINT x, UINT y) {
  return c->classId > x || (c->classId == x && c->controlIndex > y);
}

AsnInteger32 getNextControl(SnmpVarBind* vb) {
  UINT col = arcOr(vb->name, 13, 1);
  UINT x = arcOr(vb->name, 14, 0);
  UINT y = arcOr(vb->name, 15, 0);
  for (; col <= kLastControlColumn; ++col, x = 0, y = 0) {
    if (col == 0) continue;
    for (const Control* c = controlList; c != nullptr; c = c->next) {
      if (!rowAfter(c, x, y)) continue;
      setInstanceName(vb, kControlEntryPrefix, col, c->classId, c->controlIndex);
      return controlValue(vb, c, col);
    }
  }
  return SNMP_ERRORSTATUS_NOSUCHNAME;
}

AsnInteger32 getFirstHistory(SnmpVarBind* vb) {
  for (const ControlIndexEntry* e = indexList; e != nullptr; e = e->next) {
    const Control* c = e->control;
    if (c == nullptr || !c->samplingEnabled || c->numOfSample == 0) continue;
    setInstanceName(vb, kHistoryEntryPrefix, 1, c->controlIndex, c->sampleIndex);
    wlsnmp::setIntegerValue(&vb->value, static_cast<LONG>(c->controlIndex));
    return SNMP_ERRORSTATUS_NOERROR;
  }
  return SNMP_ERRORSTATUS_NOSUCHNAME;
}

AsnInteger32 getNextHistory(SnmpVarBind* vb) {
  UINT col = arcOr(vb->name, 13, 1);
  UINT x = arcOr(vb->name, 14, 0);
  UINT k = arcOr(vb->name, 15, 0);
  for (; col <= kLastHistoryColumn; ++col, x = 0, k = 0) {
    // Controls numbered below x are passed over: the walk starts at x.
    for (const ControlIndexEntry* e = indexEntryFrom(x); e != nullptr; e = e->next) {
      const Control* c = e->control;
      if (c == nullptr || !c->samplingEnabled || c->controlIndex < x) continue;
      DWORD candidate = c->sampleIndex;
      if (c->controlIndex == x && k >= c->sampleIndex) {
        // The sample after k, when this control holds one.
        if (k + 1 - c->sampleIndex >= c->numOfSample) continue;
        candidate = k + 1;
      }
      if (historyValue(vb, c, candidate, col) != SNMP_ERRORSTATUS_NOERROR) continue;
      setInstanceName(vb, kHistoryEntryPrefix, col, c->controlIndex, candidate);
      return SNMP_ERRORSTATUS_NOERROR;
    }
  }
  return SNMP_ERRORSTATUS_NOSUCHNAME;
}

enum class NextClass { kControl, kHistory, kPast };

// Classification of a get-next name by its arcs 10 to 12; the first nine are
// the agent's view and are not examined.
NextClass classifyNext(const AsnObjectIdentifier& name) {
  UINT n = oidLength(name);
  UINT a10 = oidArc(name, 10);
  UINT a11 = oidArc(name, 11);
  UINT a12 = oidArc(name, 12);
  if (n == 9) return NextClass::kControl;
  if (n == 10) return a10 == 1 ? NextClass::kControl : NextClass::kPast;
  if (n == 11) {
    if (a10 == 1 && a11 == 1) return NextClass::kControl;
    if (a10 == 1 && a11 == 2) return NextClass::kHistory;
    return NextClass::kPast;
  }
  if (n >= 12 && a10 == 1 && a12 == 1) {
    if (a11 == 1) return NextClass::kControl;
    if (a11 == 2) return NextClass::kHistory;
  }
  return NextClass::kPast;
}

// A get-next name that lies before one of the two tables but is not inside
// either entry (R.0, R.1.0, R.1.1.0, R.1.1.2, R.1.2.0, and anything below
// them) is moved to the start of the table that follows it, so that the
// answer is that table's first instance: get-next returns the lexicographic
// successor of any name. Names the classification already places are left.
void moveToFollowingTable(SnmpVarBind* vb) {
  const AsnObjectIdentifier& name = vb->name;
  UINT n = oidLength(name);
  if (n < 10) return;
  UINT a10 = oidArc(name, 10);
  UINT a11 = n >= 11 ? oidArc(name, 11) : 1;
  UINT a12 = n >= 12 ? oidArc(name, 12) : 1;
  const UINT* start = nullptr;
  if (a10 == 0 || (a10 == 1 && a11 == 0) || (a10 == 1 && a11 == 1 && a12 == 0)) {
    start = kControlEntryPrefix;
  } else if (a10 == 1 && ((a11 == 1 && a12 >= 2) || (a11 == 2 && a12 == 0))) {
    start = kHistoryEntryPrefix;
  }
  if (start != nullptr) wlsnmp::replaceOidName(&vb->name, start, kEntryPrefixLength);
}

bool listUsable(const SnmpVarBindList* list) {
  return list != nullptr && (list->len == 0 || list->list != nullptr);
}

BOOL failWhole(AsnInteger32* errorStatus) {
  *errorStatus = SNMP_ERRORSTATUS_GENERR;
  return TRUE;
}

// --- set -------------------------------------------------------------------

AsnInteger32 changeInterval(Control* c, DWORD v) {
  WaitForSingleObject(bucketSemaphore, INFINITE);
  c->samplingEnabled = false;
  deleteHistoryFile(c->controlIndex);
  dropControlCache(c->controlIndex);
  clearRing(c);
  c->intervalIndex = v;
  noteIntervalInUse(v);
  c->samplingEnabled = true;
  c->headerSaved = false;
  createHistoryFile(c->controlIndex);
  ReleaseSemaphore(bucketSemaphore, 1, nullptr);
  return SNMP_ERRORSTATUS_NOERROR;
}

AsnInteger32 changeBuckets(Control* c, DWORD v) {
  DWORD oldRequested = c->bucketsRequested;
  c->bucketsRequested = v;
  traceLog("control: %d Set Bucket from %ld to %ld, trying...\n", static_cast<int>(c->controlIndex),
           static_cast<long>(c->bucketsGranted), static_cast<long>(static_cast<LONG>(v)));
  DWORD g = grantedBucketCount(v);
  DWORD granted = c->bucketsGranted;
  if (g == granted) return SNMP_ERRORSTATUS_NOERROR;
  DWORD difference = g > granted ? g - granted : granted - g;
  if (granted != 0 && difference < granted / 10) return SNMP_ERRORSTATUS_NOERROR;
  c->samplingEnabled = false;
  flushControlCache(c->controlIndex);
  dropControlCache(c->controlIndex);
  if (requestBucketChange(c, g) != 0) {
    // The worker's queue is full: the change would never happen, so the
    // control goes on as it was and the manager learns that the set failed.
    c->samplingEnabled = true;
    c->bucketsRequested = oldRequested;
    return SNMP_ERRORSTATUS_GENERR;
  }
  resumeBucketWorker();
  return SNMP_ERRORSTATUS_NOERROR;
}

AsnInteger32 setControlColumn(SnmpVarBind* vb) {
  if (controlList == nullptr) return SNMP_ERRORSTATUS_NOSUCHNAME;
  const AsnObjectIdentifier& name = vb->name;
  if (oidLength(name) < kInstanceLength) return SNMP_ERRORSTATUS_NOSUCHNAME;
  UINT classId = oidArc(name, 14);
  UINT controlIndex = oidArc(name, 15);
  if (classId == 0 || controlIndex == 0) return SNMP_ERRORSTATUS_NOSUCHNAME;
  Control* c = findControlByClass(classId, controlIndex);
  if (c == nullptr) return SNMP_ERRORSTATUS_NOSUCHNAME;
  const ControlColumn* column = controlColumn(oidArc(name, 13));
  if (column == nullptr || column->access == Access::kNotSettable) {
    quietMessage("CURVEMIB Error: receive an invalid SNMP Object ID");
    return SNMP_ERRORSTATUS_NOSUCHNAME;
  }
  if (column->access == Access::kReadOnly) return SNMP_ERRORSTATUS_READONLY;

  // A value that carries no number (a string, an object identifier, NULL)
  // cannot be a setting.
  LONG v = 0;
  if (!wlsnmp::integerOfValue(vb->value, &v)) return SNMP_ERRORSTATUS_BADVALUE;
  return column->write(c, v, static_cast<DWORD>(v));
}

AsnInteger32 classifySetName(const AsnObjectIdentifier& name) {
  if (isControlName(name)) return SNMP_ERRORSTATUS_NOERROR;
  if (isHistoryName(name)) return SNMP_ERRORSTATUS_READONLY;
  return SNMP_ERRORSTATUS_NOSUCHNAME;
}

}  // namespace

DWORD grantedBucketCount(DWORD requested) {
  DWORD g = requested;
  if (g < kMinimumBuckets) g = kMinimumBuckets;
  if (g > kMaximumBuckets) g = kMaximumBuckets;
  return g - g % 10;
}

BOOL mibGet(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex) {
  if (!listUsable(list)) return failWhole(errorStatus);
  for (UINT i = 0; i < list->len; ++i) {
    SnmpVarBind* vb = &list->list[i];
    AsnInteger32 status = SNMP_ERRORSTATUS_NOSUCHNAME;
    if (isControlName(vb->name)) {
      status = getControlColumn(vb);
    } else if (isHistoryName(vb->name)) {
      status = getHistoryColumn(vb);
    }
    if (status != SNMP_ERRORSTATUS_NOERROR) {
      *errorStatus = status;
      *errorIndex = static_cast<AsnInteger32>(i + 1);
      break;
    }
  }
  return TRUE;
}

BOOL mibGetNext(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex) {
  if (!listUsable(list)) return failWhole(errorStatus);
  for (UINT i = 0; i < list->len; ++i) {
    SnmpVarBind* vb = &list->list[i];
    AsnInteger32 status = SNMP_ERRORSTATUS_NOSUCHNAME;
    moveToFollowingTable(vb);
    switch (classifyNext(vb->name)) {
      case NextClass::kControl:
        status = getNextControl(vb);
        if (status == SNMP_ERRORSTATUS_NOSUCHNAME) status = getFirstHistory(vb);
        break;
      case NextClass::kHistory:
        status = getNextHistory(vb);
        break;
      case NextClass::kPast:
        break;
    }
    if (status == SNMP_ERRORSTATUS_NOSUCHNAME) {
      *errorStatus = SNMP_ERRORSTATUS_NOERROR;
      wlsnmp::replaceOidName(&vb->name, kPastView, kRootLength);
    } else if (status != SNMP_ERRORSTATUS_NOERROR) {
      *errorStatus = status;
      *errorIndex = static_cast<AsnInteger32>(i + 1);
      break;
    }
  }
  return TRUE;
}

BOOL mibSetCheck(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex) {
  if (!listUsable(list)) return failWhole(errorStatus);
  for (UINT i = 0; i < list->len; ++i) {
    AsnInteger32 status = classifySetName(list->list[i].name);
    if (status != SNMP_ERRORSTATUS_NOERROR) {
      *errorStatus = status;
      *errorIndex = static_cast<AsnInteger32>(i + 1);
      break;
    }
  }
  return TRUE;
}

BOOL mibSetCommit(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex) {
  if (!listUsable(list)) return failWhole(errorStatus);
  for (UINT i = 0; i < list->len; ++i) {
    SnmpVarBind* vb = &list->list[i];
    AsnInteger32 status = classifySetName(vb->name);
    if (status == SNMP_ERRORSTATUS_NOERROR) status = setControlColumn(vb);
    if (status != SNMP_ERRORSTATUS_NOERROR) {
      *errorStatus = status;
      *errorIndex = static_cast<AsnInteger32>(i + 1);
      break;
    }
  }
  return TRUE;
}

BOOL mibSetForTesting(SnmpVarBindList* list, AsnInteger32* errorStatus, AsnInteger32* errorIndex) {
  AsnInteger32 checkStatus = SNMP_ERRORSTATUS_NOERROR;
  AsnInteger32 checkIndex = 0;
  mibSetCheck(list, &checkStatus, &checkIndex);
  if (checkStatus != SNMP_ERRORSTATUS_NOERROR) {
    *errorStatus = checkStatus;
    if (checkIndex != 0) *errorIndex = checkIndex;
    return TRUE;
  }
  return mibSetCommit(list, errorStatus, errorIndex);
}

}  // namespace trend
