// Threshold tests, the threshold event queue and the trap builder.
#include "agent/trend/traps.h"

#include <cstring>

#include "agent/trend/agent_state.h"
#include "agent/trend/output.h"
#include "win32/windows.h"

namespace trend {

namespace {

// R = 1.3.6.1.4.1.64823.2.45, the agent's view.
constexpr UINT kViewArcs[] = {1, 3, 6, 1, 4, 1, 64823, 2, 45};
constexpr UINT kViewLength = sizeof(kViewArcs) / sizeof(kViewArcs[0]);

// Trap objects R.2.<column>.0.
constexpr UINT kTrapHost = 1;
constexpr UINT kTrapTime = 2;
constexpr UINT kTrapThreshold = 3;
constexpr UINT kTrapInterval = 4;
constexpr UINT kTrapInstance = 5;
constexpr UINT kTrapDrive = 7;
constexpr UINT kTrapAdapter = 8;

constexpr int kTrapVarBindCapacity = 5;

struct ThresholdEventQueue {
  ThresholdEvent entries[kThresholdQueueSize];
  uint16_t readPosition = 0;
  uint16_t writePosition = 0;
  uint16_t count = 0;
};

ThresholdEventQueue thresholdEventQueue;
char hostName[kTrapHostNameBytes] = {};

// The varbinds of the last trap, and whether their allocations (and the
// enterprise arcs) are still outstanding.
SnmpVarBind trapVarBinds[kTrapVarBindCapacity];
UINT trapVarBindCount = 0;
UINT* trapEnterpriseArcs = nullptr;
bool trapAllocationsOutstanding = false;

void raise(Control* control, DWORD threshold) {
  control->eventRaised = true;
  traceLog("............ enqueue threshold event\n");
  queueThresholdEvent(control->classId, control->instanceName, threshold,
                      intervalSeconds(control->intervalIndex));
  SetEvent(trapEvent);
}

// A zero-initialised arc array of the global heap: R followed by `tail`.
// Empty (null, length 0) when the allocation fails.
AsnObjectIdentifier newObjectId(const UINT* tail, UINT tailLength) {
  AsnObjectIdentifier oid{0, nullptr};
  const UINT length = kViewLength + tailLength;
  auto* arcs = static_cast<UINT*>(GlobalAlloc(GPTR, length * sizeof(UINT)));
  if (arcs == nullptr) return oid;
  std::memcpy(arcs, kViewArcs, sizeof(kViewArcs));
  std::memcpy(arcs + kViewLength, tail, tailLength * sizeof(UINT));
  oid.idLength = length;
  oid.ids = arcs;
  return oid;
}

AsnObjectIdentifier trapObjectName(UINT column) {
  const UINT tail[] = {2, column, 0};
  return newObjectId(tail, 3);
}

void setInteger(SnmpVarBind* bind, UINT column, LONG value) {
  bind->name = trapObjectName(column);
  bind->value.asnType = ASN_INTEGER;
  bind->value.asnValue.number = value;
}

// An octet string of exactly the text's characters; copied to the global
// heap (and marked to be freed) when `copy` is set, else referenced.
void setText(SnmpVarBind* bind, UINT column, const char* text, bool copy) {
  bind->name = trapObjectName(column);
  bind->value.asnType = ASN_OCTETSTRING;
  AsnOctetString& string = bind->value.asnValue.string;
  string = AsnOctetString{nullptr, 0, FALSE};
  const size_t length = std::strlen(text);
  if (length == 0) return;
  if (!copy) {
    string.stream = reinterpret_cast<BYTE*>(const_cast<char*>(text));
    string.length = static_cast<UINT>(length);
    return;
  }
  auto* stream = static_cast<BYTE*>(GlobalAlloc(GPTR, length));
  if (stream == nullptr) return;
  std::memcpy(stream, text, length);
  string.stream = stream;
  string.length = static_cast<UINT>(length);
  string.dynamic = TRUE;
}

void releaseVarBind(SnmpVarBind* bind) {
  if (bind->name.ids != nullptr) GlobalFree(bind->name.ids);
  bind->name = AsnObjectIdentifier{0, nullptr};
  switch (bind->value.asnType) {
    case ASN_OCTETSTRING:
      if (bind->value.asnValue.string.dynamic && bind->value.asnValue.string.stream != nullptr) {
        GlobalFree(bind->value.asnValue.string.stream);
      }
      break;
    case ASN_OBJECTIDENTIFIER:
      if (bind->value.asnValue.object.ids != nullptr) GlobalFree(bind->value.asnValue.object.ids);
      break;
    default:
      break;
  }
  bind->value = AsnAny{};
  bind->value.asnType = ASN_NULL;
}

// Frees what the previous trap handed out. Works from the agent's own record
// of it, so a list the host changed or replaced cannot make it free memory
// that is not the agent's.
void releasePreviousTrap(SnmpVarBindList* list) {
  for (UINT i = 0; i < trapVarBindCount; ++i) releaseVarBind(&trapVarBinds[i]);
  trapVarBindCount = 0;
  if (trapEnterpriseArcs != nullptr) GlobalFree(trapEnterpriseArcs);
  trapEnterpriseArcs = nullptr;
  if (list != nullptr) {
    list->list = nullptr;
    list->len = 0;
  }
  trapAllocationsOutstanding = false;
}

UINT buildVarBinds(const ThresholdEvent& event) {
  const DWORD classId = event.classId;
  if (classId < 1 || classId > kNumClasses) return 0;
  SnmpVarBind* binds = trapVarBinds;
  setText(&binds[0], kTrapHost, hostName, false);
  setInteger(&binds[1], kTrapTime, static_cast<LONG>(wl_time(nullptr)));
  setInteger(&binds[2], kTrapThreshold, static_cast<LONG>(event.threshold));
  const LONG interval = static_cast<LONG>(event.intervalSeconds);
  if (classId <= 14) {
    setInteger(&binds[3], kTrapInterval, interval);
    return 4;
  }
  if (classId == 15) {
    setText(&binds[3], kTrapDrive, event.instanceName, true);
    return 4;
  }
  if (classId <= 19) {
    setInteger(&binds[3], kTrapInterval, interval);
    setText(&binds[4], kTrapInstance, event.instanceName, true);
    return 5;
  }
  setText(&binds[3], kTrapAdapter, event.instanceName, true);
  setInteger(&binds[4], kTrapInterval, interval);
  return 5;
}

}  // namespace

void checkThreshold(Control* control, LONG value, DWORD now) {
  if (control == nullptr || value == control->invalidValue) return;
  const DWORD v = static_cast<DWORD>(value);
  const DWORD previousValue = static_cast<DWORD>(control->lastCheckedValue);
  const DWORD previousTime = static_cast<DWORD>(control->lastCheckedTime);
  control->lastCheckedValue = value;
  control->lastCheckedTime = static_cast<LONG>(now);

  const bool rising = control->thresholdType == kThresholdRising;
  DWORD tested = v;
  if (control->valueType == kValueDelta) {
    if (previousTime == 0) return;
    if (rising) {
      if (v < previousValue) return;
      tested = v - previousValue;
    } else {
      if (v > previousValue) return;
      tested = previousValue - v;
    }
  }

  if (rising) {
    if (tested > control->risingThreshold) {
      if (!control->eventRaised) raise(control, control->risingThreshold);
    } else if (control->eventRaised && tested < control->fallingThreshold) {
      control->eventRaised = false;
    }
  } else {
    if (tested < control->fallingThreshold) {
      if (!control->eventRaised) raise(control, control->fallingThreshold);
    } else if (control->eventRaised && tested > control->risingThreshold) {
      control->eventRaised = false;
    }
  }
}

int queueThresholdEvent(DWORD classId, const char* instanceName, DWORD threshold,
                        DWORD intervalSecs) {
  ThresholdEventQueue& queue = thresholdEventQueue;
  ThresholdEvent& entry = queue.entries[queue.writePosition];
  if (entry.inUse) return 1;
  entry = ThresholdEvent{};
  if (instanceName != nullptr) {
    std::strncpy(entry.instanceName, instanceName, kTrapInstanceNameBytes - 1);
  }
  entry.classId = classId;
  entry.threshold = threshold;
  entry.intervalSeconds = intervalSecs;
  entry.inUse = true;
  ++queue.count;
  queue.writePosition = static_cast<uint16_t>((queue.writePosition + 1) % kThresholdQueueSize);
  return 0;
}

bool takeThresholdEvent(ThresholdEvent* event) {
  ThresholdEventQueue& queue = thresholdEventQueue;
  if (queue.count == 0) return false;
  ThresholdEvent& entry = queue.entries[queue.readPosition];
  if (event != nullptr) *event = entry;
  entry = ThresholdEvent{};
  --queue.count;
  queue.readPosition = static_cast<uint16_t>((queue.readPosition + 1) % kThresholdQueueSize);
  return true;
}

void resetTrapQueue() {
  DWORD size = sizeof(hostName);
  std::memset(hostName, 0, sizeof(hostName));
  if (!GetComputerNameA(hostName, &size)) hostName[0] = '\0';
  hostName[sizeof(hostName) - 1] = '\0';
  thresholdEventQueue = ThresholdEventQueue{};
}

const char* trapHostNameForTesting() { return hostName; }

BOOL buildNextTrap(AsnObjectIdentifier* enterprise, AsnInteger32* genericTrap,
                   AsnInteger32* specificTrap, AsnTimeticks*, SnmpVarBindList* varBindList) {
  if (trapAllocationsOutstanding) releasePreviousTrap(varBindList);
  if (enterprise == nullptr || genericTrap == nullptr || specificTrap == nullptr ||
      varBindList == nullptr) {
    return FALSE;  // nowhere to put a trap: the event stays queued
  }
  ThresholdEvent event;
  if (!takeThresholdEvent(&event)) return FALSE;

  const UINT enterpriseTail[] = {0};
  *enterprise = newObjectId(enterpriseTail, 1);
  trapEnterpriseArcs = enterprise->ids;
  *genericTrap = SNMP_GENERICTRAP_ENTERSPECIFIC;
  *specificTrap = static_cast<AsnInteger32>(event.classId);

  trapVarBindCount = buildVarBinds(event);
  varBindList->list = trapVarBindCount != 0 ? trapVarBinds : nullptr;
  varBindList->len = trapVarBindCount;

  traceLog("\n..................TRAP %d............\n", static_cast<int>(event.classId));
  trapAllocationsOutstanding = true;
  return TRUE;
}

}  // namespace trend
