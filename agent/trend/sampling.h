// The timer, sampler and housekeeping threads and the alignment of a control's
// history ring with the wall clock.
//
// The timer thread sleeps until the next 5-second boundary of the calendar
// clock (waking at least once a second, so that a moved clock is noticed) and,
// on every boundary, marks which of the twelve sampling intervals are due and wakes the
// sampler and the housekeeping thread (a wake-up that finds a thread busy is
// lost). The sampler stores one sample per due control; the housekeeping
// thread rescans the instance lists and writes the cache back every 300 s.
//
// Thread safety: the threads take controlSemaphore for each pass; the other
// functions expect the caller to hold it (start-up excepted).
#pragma once

#include "agent/trend/control.h"

namespace trend {

enum class AlignMode { kStartup, kSampler };

// Creates the three threads suspended. 0, or 1 when a thread could not be
// created (reported to the trace log, the console and the event log).
int startSamplingThreads();
// Resumes the timer, sampler and housekeeping threads, in this order.
void resumeSamplingThreads();
// Stops the three threads (in the same order) and closes their handles. None
// of them may hold controlSemaphore: the caller holds it, or they never ran.
void stopSamplingThreads();

// 0 aligned (nothing to do, gap filled, or future samples removed); 1 history
// restarted; 2 the newest sample is due now already (quietly: the sampler then
// takes no sample in this pass); 3 a fill sample could not be stored. A control whose interval
// index is outside 1..12 is left alone (0).
int Align_Sampling_History(Control* control, DWORD now, AlignMode mode);
// 0 stored; 1 not stored (ring unchanged). A ring without slots stores nothing.
int storeRingSample(Control* control, LONG value, DWORD time);
// Empties the ring and recreates the history file.
void restartHistory(Control* control);
// Empties the control's ring and clears its threshold memory (head, tail,
// sample numbering, latch, last values); the previous raw readings stay.
void clearRing(Control* control);
// Deprecates, revalidates and creates controls by the current instance lists.
void rescanInstances();

// The pieces of the threads, for callers that drive them by hand.
constexpr int kIntervalCount = 12;
// Due flags by interval index (index 0 unused) for the 5-second boundary `now`.
void computeDueFlags(DWORD now, LONG dueFlags[kIntervalCount + 1]);
// One sampling pass over the due controls at time `now`; the caller holds
// controlSemaphore. Returns the number of controls that were sampled.
int samplingPass(const LONG dueFlags[kIntervalCount + 1], DWORD now);
// The sampler's guard against passes run too close together: false (and the
// pass is skipped) when `now` lies less than 3 seconds from the previous
// accepted pass in either direction; otherwise remembers `now`.
bool acceptPassTime(DWORD now);
// Records that some control samples at interval index `intervalIndex` (out of
// range: ignored); every place that sets a control's interval calls it. The
// timer wakes the sampler only at ticks where a recorded interval is due, and
// otherwise takes the pass's time itself. Never forgotten: a control gone or
// changed since costs at most passes that sample nothing. Any thread.
void noteIntervalInUse(DWORD intervalIndex);

}  // namespace trend
