// CRIDOVOPROCESS: the processor load monitor. One instance, owned by the
// application object; its thread samples every processor's "% Processor
// Time" through libperfpeek.so once per monitor interval and keeps each
// processor's load in percent.
//
// Processors are numbered 0..31; other numbers are neither stored nor
// reported (getters yield 0, setters do nothing). Loads and counters are
// single aligned stores read without a lock by the consumer's threads.
//
// The thread is started by the application (ThreadStart) and stopped by
// DeInit, which waits for it: after DeInit no thread touches the object, so
// it may be destroyed. Everything else is for one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "win32/types.h"

class CRIDOVOPROCESS {
 public:
  static constexpr int kProcessorCount = 32;

  CRIDOVOPROCESS();
  ~CRIDOVOPROCESS();
  CRIDOVOPROCESS(const CRIDOVOPROCESS&) = delete;
  CRIDOVOPROCESS& operator=(const CRIDOVOPROCESS&) = delete;

  // Clears the last-sample time, every counter and every load. Returns 0, or
  // 1200 when the stop event cannot be made.
  DWORD Init();
  // Stops the monitor thread (if started) and waits for it to end. Returns 0.
  DWORD DeInit();

  uint64_t CounterGet(int processor) const;
  void CounterSet(int processor, uint64_t value);
  DWORD LoadGet(int processor) const;
  void LoadSet(int processor, DWORD load);
  time_t LastSampleGet() const { return m_t_lastSample; }
  void LastSampleSet(time_t when) { m_t_lastSample = when; }

  // One sampling pass: reads each processor's idle counter and, from the
  // second pass on, its load over the time since the previous pass.
  void SamplePass();

  // Starts the monitor thread. 0, or 1233 when no thread could be started;
  // *handle and *threadId receive the thread's handle and identifier.
  DWORD ThreadStart(uintptr_t* handle, unsigned* threadId);

  // The thread routine: passes until DeInit, sleeping the application's
  // monitor interval (read afresh each pass) between them.
  static unsigned WINAPI Monitor(void* unused);

  // The load from an idle-counter difference in 100-ns units over `seconds`
  // (> 0): the share of the time the processor was busy, 0..100.
  static DWORD LoadFromIdle(int64_t idleDifference, int64_t seconds);

 private:
  unsigned RunThread();
  // Signals the thread to end and waits for it (nothing when none runs).
  void StopThread();

  time_t m_t_lastSample = 0;
  std::atomic<uint64_t> m_ull_counter[kProcessorCount];
  std::atomic<DWORD> m_ul_load[kProcessorCount];
  HANDLE m_h_stop = nullptr;
  HANDLE m_h_thread = nullptr;
};
