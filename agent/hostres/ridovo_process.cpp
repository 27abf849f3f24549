#include "agent/hostres/ridovo_process.h"

#include <cerrno>
#include <cstdlib>

#include "agent/hostres/result_codes.h"
#include "agent/hostres/ridovo_app.h"
#include "agent/hostres/trace_log.h"
#include "agent/perfhelper/perfpeek.h"
#include "win32/sync.h"
#include "win32/timeapi.h"

namespace {

constexpr int kInstanceProcessor = 4;
constexpr int kClassProcessorTime = 1;
constexpr unsigned kNameBuffer = 257;

bool InRange(int processor) {
  return processor >= 0 && processor < CRIDOVOPROCESS::kProcessorCount;
}

// The processor number of an instance name: its leading decimal digits as
// atoi reads them; no digits read as 0, and a number too large for an int as
// -1 (outside the table).
int ProcessorNumber(const char* name) {
  errno = 0;
  const long number = strtol(name, nullptr, 10);
  if (errno == ERANGE || number > 0x7FFFFFFFL || number < -0x7FFFFFFFL) return -1;
  return static_cast<int>(number);
}

}  // namespace

CRIDOVOPROCESS::CRIDOVOPROCESS() {
  for (int i = 0; i < kProcessorCount; ++i) {
    m_ull_counter[i].store(0);
    m_ul_load[i].store(0);
  }
  TraceLog(HR_TRACE_OBJECT, u"CRIDOVOPROCESS::CRIDOVOPROCESS: Completed\r\n");
}

CRIDOVOPROCESS::~CRIDOVOPROCESS() {
  StopThread();
  if (m_h_stop != nullptr) CloseHandle(m_h_stop);
  TraceLog(HR_TRACE_OBJECT, u"CRIDOVOPROCESS::~CRIDOVOPROCESS: Completed\r\n");
}

DWORD CRIDOVOPROCESS::Init() {
  m_t_lastSample = 0;
  for (int i = 0; i < kProcessorCount; ++i) {
    m_ull_counter[i].store(0);
    m_ul_load[i].store(0);
  }
  DWORD result = HR_RESULT_OK;
  if (m_h_stop == nullptr) m_h_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (m_h_stop == nullptr) result = HR_RESULT_NO_MEMORY;
  TraceLog(HR_TRACE_INIT, u"CRIDOVOPROCESS::Init: Completed, result = %1!d!\r\n",
           static_cast<int>(result));
  return result;
}

void CRIDOVOPROCESS::StopThread() {
  if (m_h_thread == nullptr) return;
  SetEvent(m_h_stop);
  WaitForSingleObject(m_h_thread, INFINITE);
  CloseHandle(m_h_thread);
  m_h_thread = nullptr;
}

DWORD CRIDOVOPROCESS::DeInit() {
  StopThread();
  TraceLog(HR_TRACE_INIT, u"CRIDOVOPROCESS::DeInit: Completed\r\n");
  return 0;
}

uint64_t CRIDOVOPROCESS::CounterGet(int processor) const {
  return InRange(processor) ? m_ull_counter[processor].load() : 0;
}

void CRIDOVOPROCESS::CounterSet(int processor, uint64_t value) {
  if (InRange(processor)) m_ull_counter[processor].store(value);
}

DWORD CRIDOVOPROCESS::LoadGet(int processor) const {
  return InRange(processor) ? m_ul_load[processor].load() : 0;
}

void CRIDOVOPROCESS::LoadSet(int processor, DWORD load) {
  if (InRange(processor)) m_ul_load[processor].store(load);
}

DWORD CRIDOVOPROCESS::LoadFromIdle(int64_t idleDifference, int64_t seconds) {
  if (idleDifference <= 0) return 100;
  // Idle percent = idle / (seconds * 10^7 units) * 100 = idle / (seconds * 10^5);
  // kept in double so that whole percentages stay exact.
  const double idlePercent =
      static_cast<double>(idleDifference) / (static_cast<double>(seconds) * 100000.0);
  const double busy = 100.0 - idlePercent;
  if (!(busy >= 0.0) || busy > 100.0) return 100;
  return static_cast<DWORD>(busy);
}

void CRIDOVOPROCESS::SamplePass() {
  const time_t t0 = m_t_lastSample;
  for (int position = 1;; ++position) {
    char name[kNameBuffer] = {};
    if (PERF_GetObjectInstance(position, kInstanceProcessor, name, kNameBuffer) != 0) break;
    name[kNameBuffer - 1] = '\0';
    int64_t value = 0;
    if (PERF_GetObjectCounterValue(name, kInstanceProcessor, kClassProcessorTime, &value) != 0) {
      continue;
    }
    const int processor = ProcessorNumber(name);
    const uint64_t previous = CounterGet(processor);
    CounterSet(processor, static_cast<uint64_t>(value));
    if (t0 == 0) continue;
    const int64_t seconds = static_cast<int64_t>(wl_time(nullptr)) - static_cast<int64_t>(t0);
    const int64_t difference = static_cast<int64_t>(static_cast<uint64_t>(value) - previous);
    if (seconds > 0) LoadSet(processor, LoadFromIdle(difference, seconds));
    const uint64_t current = static_cast<uint64_t>(value);
    TraceLog(HR_TRACE_LOAD_DETAIL,
             u"CRIDOVOPROCESS::Monitor:\r\n   processor = %1!d!, load = %2!ld!\r\n   time = "
             u"%3!ld!, counter = %4!lu!\r\n   old c1 = %5!lu!, old c2 = %6!lu!, new c1 = "
             u"%7!lu!, new c2 = %8!lu!\r\n",
             processor, static_cast<int>(LoadGet(processor)), static_cast<int>(seconds),
             static_cast<unsigned>(difference), static_cast<unsigned>(previous),
             static_cast<unsigned>(previous >> 32), static_cast<unsigned>(current),
             static_cast<unsigned>(current >> 32));
  }
  m_t_lastSample = wl_time(nullptr);
}

DWORD CRIDOVOPROCESS::ThreadStart(uintptr_t* handle, unsigned* threadId) {
  *handle = 0;
  *threadId = 0;
  if (m_h_stop == nullptr || m_h_thread != nullptr) return HR_RESULT_THREAD;
  ResetEvent(m_h_stop);
  *handle = _beginthreadex(nullptr, 0, &CRIDOVOPROCESS::Monitor, nullptr, 0, threadId);
  if (*handle == 0) return HR_RESULT_THREAD;
  m_h_thread = reinterpret_cast<HANDLE>(*handle);
  return HR_RESULT_OK;
}

unsigned WINAPI CRIDOVOPROCESS::Monitor(void*) {
  CS_ridovoApp* app = RidovoApp();
  CRIDOVOPROCESS* self = app != nullptr ? app->ProcessGet() : nullptr;
  if (self == nullptr) {
    TraceLog(HR_TRACE_THREAD, u"CRIDOVOPROCESS::Monitor: Completed, result = %1!d!\r\n",
             static_cast<int>(HR_RESULT_MISSING));
    return HR_RESULT_MISSING;
  }
  return self->RunThread();
}

unsigned CRIDOVOPROCESS::RunThread() {
  CS_ridovoApp* app = RidovoApp();
  for (;;) {
    SamplePass();
    const DWORD interval = app != nullptr ? app->MonitorIntervalGet() : 60000;
    if (WaitForSingleObject(m_h_stop, interval) != WAIT_TIMEOUT) break;
  }
  TraceLog(HR_TRACE_THREAD, u"CRIDOVOPROCESS::Monitor: Completed, result = %1!d!\r\n", 0);
  return 0;
}
