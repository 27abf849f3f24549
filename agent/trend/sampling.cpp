// Timer, sampler and housekeeping threads; alignment of a history ring with
// the wall clock; the ring's store operation; the instance rescan.
#include "agent/trend/sampling.h"

#include <cstdint>
#include <cstring>

#include "agent/trend/agent_state.h"
#include "agent/trend/configuration.h"
#include "agent/trend/history_file.h"
#include "agent/trend/output.h"
#include "agent/trend/page_cache.h"
#include "agent/trend/perf_acquisition.h"
#include "agent/trend/traps.h"
#include "win32/sync.h"
#include "win32/timeapi.h"

namespace trend {

namespace {

// The timer sleeps until just past the next tick. Without the platform's
// clock-change event it looks at the clock at least once a second, so that a
// moved clock is noticed in time.
constexpr DWORD kTimerPollMs = 1000;
constexpr DWORD kTimerMarginMs = 5;
constexpr DWORD kTickSeconds = 5;       // the interval of index 1
constexpr int kRescanInterval = 6;      // 300 seconds
constexpr DWORD kRescanDelayMs = 2000;  // lets the sampler finish the same tick first
constexpr DWORD kWriteBackDelayMs = 5000;
constexpr DWORD kMinimumPassGap = 3;

// Written by the timer thread, copied by the two others when woken.
LONG dueFlags[kIntervalCount + 1] = {};
HANDLE timerThread = nullptr;
HANDLE samplerThread = nullptr;
HANDLE housekeepingThread = nullptr;
// The sampler's, and the timer's for ticks that wake no sampler.
DWORD lastPassTime = 0;
// Bit i: some control has had interval index i (see noteIntervalInUse).
DWORD intervalsInUse = 0;

bool anyIntervalInUseDue(const LONG flags[kIntervalCount + 1]) {
  const DWORD inUse = __atomic_load_n(&intervalsInUse, __ATOMIC_ACQUIRE);
  for (int i = 1; i <= kIntervalCount; ++i) {
    if (flags[i] != 0 && (inUse & (1u << i)) != 0) return true;
  }
  return false;
}

DWORD currentTime() { return static_cast<DWORD>(wl_time(nullptr)); }

void copyDueFlags(LONG copy[kIntervalCount + 1]) {
  for (int i = 0; i <= kIntervalCount; ++i) {
    copy[i] = __atomic_load_n(&dueFlags[i], __ATOMIC_ACQUIRE);
  }
}

void waitForWakeUp() { SuspendThread(GetCurrentThread()); }

// Set when a control takes an interval no control had before, so that a
// timer asleep until a later tick looks again at what is due.
HANDLE intervalsChanged = nullptr;

// Whether anything is due at second `secondOfDay` of the day: an interval in
// use, or the instance rescan. Every interval divides a day, so the second of
// the day decides as the full time would.
bool somethingDueAt(DWORD secondOfDay) {
  if (secondOfDay % intervalSeconds(kRescanInterval) == 0) return true;
  const DWORD inUse = __atomic_load_n(&intervalsInUse, __ATOMIC_ACQUIRE);
  for (int i = 1; i <= kIntervalCount; ++i) {
    if ((inUse & (1u << i)) != 0 && secondOfDay % intervalSeconds(static_cast<DWORD>(i)) == 0) {
      return true;
    }
  }
  return false;
}

// Milliseconds from now to just past the next 5-second boundary of the
// calendar clock, at most `longest`. With `skipIdleTicks`, boundaries at which
// nothing is due are slept through (the rescan bounds the sleep to 300 s).
DWORD timeToNextTick(DWORD longest, bool skipIdleTicks) {
  SYSTEMTIME st;
  GetSystemTime(&st);
  const DWORD secondOfDay = st.wHour * 3600u + st.wMinute * 60u + st.wSecond;
  DWORD tick = (secondOfDay / kTickSeconds + 1) * kTickSeconds;
  while (skipIdleTicks && !somethingDueAt(tick % 86400u)) tick += kTickSeconds;
  const DWORD untilTick =
      (tick - secondOfDay) * 1000u - (st.wMilliseconds % 1000u) + kTimerMarginMs;
  return untilTick < longest ? untilTick : longest;
}

// Sleeps to the next tick at which something is due; a moved clock or a
// newly used interval (the events) ends the sleep early and the next round
// measures again from the new time. Without the clock event it looks at the
// clock every tick and at least once a second.
DWORD WINAPI timerThreadBody(LPVOID) {
  HANDLE clockMoved = wl_clock_change_event();
  const HANDLE wakers[2] = {clockMoved, intervalsChanged};
  const DWORD wakerCount = intervalsChanged != nullptr ? 2 : 1;
  DWORD lastSecondSeen = 0;
  for (;;) {
    if (clockMoved != nullptr) {
      WaitForMultipleObjects(wakerCount, wakers, FALSE, timeToNextTick(INFINITE, true));
    } else {
      Sleep(timeToNextTick(kTimerPollMs, false));
    }
    DWORD now = currentTime();
    if (now == lastSecondSeen) continue;
    lastSecondSeen = now;
    if (now % kTickSeconds != 0) continue;
    LONG flags[kIntervalCount + 1];
    computeDueFlags(now, flags);
    for (int i = 0; i <= kIntervalCount; ++i) {
      __atomic_store_n(&dueFlags[i], flags[i], __ATOMIC_RELEASE);
    }
    // A pass with no control due samples nothing: the sampler sleeps on and
    // the timer keeps the pass time in its place.
    if (anyIntervalInUseDue(flags)) {
      ResumeThread(samplerThread);
    } else {
      acceptPassTime(now);
    }
    // Nor has housekeeping anything to do before the next rescan.
    if (flags[kRescanInterval] != 0) ResumeThread(housekeepingThread);
  }
  return 0;
}

DWORD WINAPI sampling_thread(LPVOID) {
  for (;;) {
    waitForWakeUp();
    LONG flags[kIntervalCount + 1];
    copyDueFlags(flags);
    DWORD now = currentTime();
    if (!acceptPassTime(now)) continue;
    WaitForSingleObject(controlSemaphore, INFINITE);
    samplingPass(flags, now);
    ReleaseSemaphore(controlSemaphore, 1, nullptr);
  }
  return 0;
}

DWORD WINAPI housekeepingThreadBody(LPVOID) {
  for (;;) {
    waitForWakeUp();
    LONG flags[kIntervalCount + 1];
    copyDueFlags(flags);
    if (flags[kRescanInterval] == 0) continue;
    Sleep(kRescanDelayMs);
    WaitForSingleObject(controlSemaphore, INFINITE);
    rescanInstances();
    ReleaseSemaphore(controlSemaphore, 1, nullptr);
    Sleep(kWriteBackDelayMs);
    WaitForSingleObject(controlSemaphore, INFINITE);
    flushAllCaches();
    saveUnsavedHeaders();
    ReleaseSemaphore(controlSemaphore, 1, nullptr);
  }
  return 0;
}

void stopThread(HANDLE* thread) {
  if (*thread == nullptr) return;
  TerminateThread(*thread, 0);
  // It ends at its next wait, sleep or suspension, which is never far away.
  WaitForSingleObject(*thread, 5000);
  CloseHandle(*thread);
  *thread = nullptr;
}

bool isDue(const LONG flags[kIntervalCount + 1], DWORD intervalIndex) {
  return intervalIndex >= 1 && intervalIndex <= kIntervalCount && flags[intervalIndex] != 0;
}

// Moves `head` back one slot of a ring of n slots.
DWORD slotBefore(DWORD slot, DWORD n) { return (slot == 0 ? n : slot) - 1; }

// At most this many missing samples are filled in one alignment (4 MiB of
// file, about a second with controlSemaphore held); a larger gap restarts the
// history, as a gap larger than the ring does.
constexpr DWORD kMostFillSamples = 1u << 20;

int fillMissingSamples(Control* c, DWORD lastDue, DWORD interval, DWORD missing) {
  if (missing > c->bucketsGranted || missing > kMostFillSamples) {
    traceLog("missing too much samples, re-start the sampling - %d\n",
             static_cast<int>(c->controlIndex));
    restartHistory(c);
    return 1;
  }
  DWORD t = lastDue + interval;
  for (DWORD i = 0; i < missing; ++i, t += interval) {
    if (storeRingSample(c, c->invalidValue, t) != 0) return 3;
  }
  flushControlCache(c->controlIndex);
  return 0;
}

int removeFutureSamples(Control* c, DWORD now, DWORD lastDue, DWORD firstDue, DWORD interval) {
  traceLog("time shift back, remove invalid samples: sampling - %d\n",
           static_cast<int>(c->controlIndex));
  traceLog("current ts -%ld, ref ts - %ld, last ts - %ld\n", static_cast<long>(now),
           static_cast<long>(c->refTimeStamp), static_cast<long>(lastDue));
  traceLog("numOfSample - %ld, sampleIndex - %ld\n", static_cast<long>(c->numOfSample),
           static_cast<long>(c->sampleIndex));
  traceLog("tail - %ld, head - %ld\n", static_cast<long>(c->tail), static_cast<long>(c->head));
  if (now < firstDue) {
    traceLog("re-start sampling - %d\n", static_cast<int>(c->controlIndex));
    restartHistory(c);
    return 1;
  }
  DWORD diff = lastDue - now;
  DWORD numOfInvalid = diff / interval + 1;
  traceLog("diff: %ld, numOfInvalid: %ld\n", static_cast<long>(diff),
           static_cast<long>(numOfInvalid));
  // More than held is possible only with a ring whose header disagrees with
  // its times; there is nothing to keep then either.
  if (numOfInvalid >= c->numOfSample) {
    if (numOfInvalid == c->numOfSample) traceLog("numOfInvalid == pControl->numOfSample\n");
    traceLog("re-start sampling - %d\n", static_cast<int>(c->controlIndex));
    restartHistory(c);
    return 1;
  }
  if (c->bucketsGranted != 0) {
    for (DWORD i = 0; i < numOfInvalid; ++i) c->head = slotBefore(c->head, c->bucketsGranted);
  }
  c->numOfSample -= numOfInvalid;
  saveHistoryHeader(c->controlIndex);
  return 0;
}

constexpr int kGroupCount = 5;  // instance groups 1..5

// The class whose instance list stands for an instance group: the first class
// of the group.
DWORD groupListClass(int group) {
  for (DWORD classId = 1; classId <= kNumClasses; ++classId) {
    if (classInstanceGroup(classId) == group) return classId;
  }
  return 0;
}

// One due time holds at most one sample: a pass whose alignment found the
// newest sample due now already (2) takes none, nor does one whose fill
// failed (3).
bool mayStoreAfterAlignment(int aligned) { return aligned != 2 && aligned != 3; }

constexpr int kNetworkGroup = 1;
// Order in which appeared instances are handled.
constexpr int kGroupCreationOrder[kGroupCount] = {1, 3, 2, 5, 4};

bool listHasInstance(const InstanceEntry* list, const char* text) {
  for (; list != nullptr; list = list->next) {
    if (std::strncmp(list->instanceText, text, kInstanceNameBytes) == 0) return true;
  }
  return false;
}

}  // namespace

void computeDueFlags(DWORD now, LONG flags[kIntervalCount + 1]) {
  flags[0] = 0;
  for (int i = 1; i <= kIntervalCount; ++i) {
    DWORD seconds = intervalSeconds(static_cast<DWORD>(i));
    flags[i] = (seconds != 0 && now % seconds == 0) ? 1 : 0;
  }
}

void noteIntervalInUse(DWORD intervalIndex) {
  if (intervalIndex < 1 || intervalIndex > kIntervalCount) return;
  const DWORD bit = 1u << intervalIndex;
  if ((__atomic_fetch_or(&intervalsInUse, bit, __ATOMIC_ACQ_REL) & bit) != 0) return;
  if (HANDLE wake = __atomic_load_n(&intervalsChanged, __ATOMIC_ACQUIRE); wake != nullptr) {
    SetEvent(wake);
  }
}

bool acceptPassTime(DWORD now) {
  const DWORD last = __atomic_load_n(&lastPassTime, __ATOMIC_RELAXED);
  DWORD since = now - last;
  DWORD before = last - now;
  if (since < kMinimumPassGap || before < kMinimumPassGap) {
    if (since == 1 || since == 2) {
      traceLog("!!! sampling_thread elapsed time is %d seconds\n", static_cast<int>(since));
    }
    return false;
  }
  __atomic_store_n(&lastPassTime, now, __ATOMIC_RELAXED);
  return true;
}

int samplingPass(const LONG flags[kIntervalCount + 1], DWORD now) {
  int sampled = 0;
  for (Control* c = controlList; c != nullptr; c = c->next) {
    if (!isDue(flags, c->intervalIndex) || c->controlStatus == kControlDeprecated ||
        !c->samplingEnabled ||
        (c->historyStatus == kStatusOff && c->thresholdStatus == kStatusOff)) {
      continue;
    }
    if (sampled++ == 0) refreshPerformanceData();
    if (!mayStoreAfterAlignment(Align_Sampling_History(c, now, AlignMode::kSampler))) continue;
    Sample sample = computeSample(c);
    LONG value = sample.invalid ? c->invalidValue : sample.value;
    if (c->historyStatus != kStatusOff) storeRingSample(c, value, now);
    if (c->thresholdStatus != kStatusOff && !sample.invalid) checkThreshold(c, value, now);
  }
  return sampled;
}

int startSamplingThreads() {
  for (LONG& flag : dueFlags) flag = 0;
  if (intervalsChanged == nullptr) {
    __atomic_store_n(&intervalsChanged, CreateEventA(nullptr, FALSE, FALSE, nullptr),
                     __ATOMIC_RELEASE);
  }
  DWORD id = 0;
  timerThread = CreateThread(nullptr, 0, timerThreadBody, nullptr, CREATE_SUSPENDED, &id);
  if (timerThread != nullptr) {
    id = 0;
    samplerThread = CreateThread(nullptr, 0, sampling_thread, nullptr, CREATE_SUSPENDED, &id);
    traceLog("sampling thread h - 0x%lx, id - 0x%lx\n",
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(samplerThread)),
             static_cast<unsigned long>(id));
    if (samplerThread != nullptr) {
      housekeepingThread =
          CreateThread(nullptr, 0, housekeepingThreadBody, nullptr, CREATE_SUSPENDED, &id);
      if (housekeepingThread != nullptr) return 0;
    }
  }
  reportThreadFailure();
  return 1;
}

void resumeSamplingThreads() {
  if (timerThread != nullptr) ResumeThread(timerThread);
  if (samplerThread != nullptr) ResumeThread(samplerThread);
  if (housekeepingThread != nullptr) ResumeThread(housekeepingThread);
}

void stopSamplingThreads() {
  stopThread(&timerThread);
  stopThread(&samplerThread);
  stopThread(&housekeepingThread);
}

int Align_Sampling_History(Control* c, DWORD now, AlignMode mode) {
  if (c->historyStatus == kStatusOff || c->refTimeStamp == 0) return 0;
  DWORD interval = intervalSeconds(c->intervalIndex);
  if (interval == 0) return 0;  // never due, so nothing can be missing
  DWORD lastDue = c->refTimeStamp + interval * (c->sampleIndex + c->numOfSample - 2);
  DWORD firstDue = c->refTimeStamp + interval * (c->sampleIndex - 1);

  if (now > lastDue) {
    DWORD gap = now - lastDue;
    DWORD missing = 0;
    if (mode == AlignMode::kStartup) {
      if (gap < interval) return 0;
      missing = gap / interval;
    } else {
      if (gap < 2 * interval) return 0;
      missing = gap / interval - 1;  // this pass's own sample follows
    }
    return fillMissingSamples(c, lastDue, interval, missing);
  }
  // The newest sample is this due time's already (a clock stepped back by
  // less than an interval, or a restart within the second of a sample): the
  // control waits for its next due time.
  if (now == lastDue) return 2;
  return removeFutureSamples(c, now, lastDue, firstDue, interval);
}

int storeRingSample(Control* c, LONG value, DWORD time) {
  DWORD n = c->bucketsGranted;
  c->lastSampleValue = value;
  if (n == 0) return 1;
  if (c->head == c->tail && c->numOfSample == 0) {
    if (storeSample(c->controlIndex, c->head, value) != 0) return 1;
    c->numOfSample += 1;
    c->refTimeStamp = time;
    return 0;
  }
  DWORD oldHead = c->head;
  DWORD oldTail = c->tail;
  DWORD h = (c->head + 1) % n;
  // A ring of one slot is full with its first sample.
  bool full = (c->head != c->tail || n == 1) && h == c->tail;
  c->head = h;
  if (full) c->tail = (c->tail + 1) % n;
  if (storeSample(c->controlIndex, h, value) != 0) {
    c->head = oldHead;
    c->tail = oldTail;
    return 1;
  }
  if (full) {
    c->sampleIndex += 1;  // the oldest sample was overwritten
  } else {
    c->numOfSample += 1;
  }
  return 0;
}

void clearRing(Control* c) {
  c->head = 0;
  c->tail = 0;
  c->numOfSample = 0;
  c->sampleIndex = 1;
  c->eventRaised = false;
  c->lastSampleValue = -1;
  c->refTimeStamp = 0;
  c->lastCheckedValue = -1;
  c->lastCheckedTime = 0;
}

void restartHistory(Control* c) {
  c->samplingEnabled = false;
  deleteHistoryFile(c->controlIndex);
  dropControlCache(c->controlIndex);
  clearRing(c);
  c->prevCounter = 0;
  c->prevBase = 0;
  c->prevReadTime = 0;
  c->headerSaved = false;
  c->samplingEnabled = true;
  createHistoryFile(c->controlIndex);
}

void rescanInstances() {
  refreshPerformanceData();
  InstanceEntry* lists[kGroupCount + 1] = {};
  bool obtained[kGroupCount + 1] = {};
  for (int group = 1; group <= kGroupCount; ++group) {
    obtained[group] = Get_Object_Instances(groupListClass(group), &lists[group]) == 0;
  }
  if (obtained[kNetworkGroup]) {
    // Vanished instances. A group whose list could not be obtained says
    // nothing about its instances, so its controls stay as they are.
    for (Control* c = controlList; c != nullptr; c = c->next) {
      int group = classInstanceGroup(c->classId);
      if (group < 1 || group > kGroupCount || !obtained[group]) continue;
      if (!listHasInstance(lists[group], c->instanceName)) deprecateControl(c);
    }
    // Appeared and returning instances.
    for (int group : kGroupCreationOrder) {
      if (!obtained[group]) continue;
      for (const InstanceEntry* e = lists[group]; e != nullptr; e = e->next) {
        const char* text = e->instanceText;
        if (hasValidControl(text)) continue;
        if (instanceState(group, text) == 0) {
          revalidateControls(group, text);
          continue;
        }
        for (const ControlConfig* line = configList; line != nullptr; line = line->next) {
          if (classInstanceGroup(line->classId) == group) createInstanceControl(line, text);
        }
      }
    }
  }
  for (InstanceEntry* list : lists) {
    if (list != nullptr) freeInstanceList(list);
  }
}

}  // namespace trend
