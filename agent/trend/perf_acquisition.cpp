// Placeholder bodies: succeed without effect until performance data exists.
#include "agent/trend/perf_acquisition.h"

namespace trend {

void freeInstanceList(InstanceEntry* list) {
  while (list) {
    InstanceEntry* next = list->next;
    delete list;
    list = next;
  }
}
int refreshPerformanceData() { return 0; }
int Get_Object_Instances(DWORD, InstanceEntry** list) {
  *list = nullptr;
  return 0;
}
Sample computeSample(Control*) { return Sample{}; }

}  // namespace trend
