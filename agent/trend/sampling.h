// The timer, sampler and housekeeping threads and the alignment of a control's
// history ring with the wall clock.
// Thread safety: the threads take controlSemaphore for each pass; the other
// functions expect the caller to hold it (start-up excepted).
#pragma once

#include "agent/trend/control.h"

namespace trend {

enum class AlignMode { kStartup, kSampler };

int startSamplingThreads();
void resumeSamplingThreads();
void stopSamplingThreads();
// 0 aligned; 1 history restarted; 2 newest sample already due now; 3 a fill
// sample could not be stored.
int Align_Sampling_History(Control* control, DWORD now, AlignMode mode);
// 0 stored; 1 not stored (ring unchanged).
int storeRingSample(Control* control, LONG value, DWORD time);
void restartHistory(Control* control);
void rescanInstances();

}  // namespace trend
