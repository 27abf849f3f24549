// Placeholder bodies: succeed without effect until sampling exists.
#include "agent/trend/sampling.h"

namespace trend {

int startSamplingThreads() { return 0; }
void resumeSamplingThreads() {}
void stopSamplingThreads() {}
int Align_Sampling_History(Control*, DWORD, AlignMode) { return 0; }
int storeRingSample(Control*, LONG, DWORD) { return 1; }
void restartHistory(Control*) {}
void rescanInstances() {}

}  // namespace trend
