// Arbitrary requests against a few controls: names of any length and arcs,
// values of any type. The dispatch must stay inside the names and rings, and
// hand back only names it allocated.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "agent/testing/agent_environment.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/mib.h"
#include "agent/trend/page_cache.h"
#include "win32/memory.h"

namespace {

// Reads the fuzz input front to back; past its end every read is 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = (w << 8) | byte();
    return w;
  }
  bool empty() const { return at_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

std::string fuzzRoot;

const UINT kEntry[] = {1, 3, 6, 1, 4, 1, 64823, 2, 45, 1, 1, 1};

// Gives a control its starting state: ten samples in a ring that wraps.
void initControl(trend::Control* c, DWORD classId, DWORD index, DWORD sampleIndex) {
  trend::Control* next = c->next;
  *c = trend::Control{};
  c->next = next;
  c->classId = classId;
  c->controlIndex = index;
  c->intervalIndex = 1;
  c->bucketsRequested = c->bucketsGranted = 50;
  c->historyStatus = 1;
  c->sampleIndex = sampleIndex;
  c->numOfSample = 10;
  c->tail = 45;
  c->head = 4;
  c->refTimeStamp = 1700000000;
}

// Puts the controls back as they were, so that every input starts alike.
void resetControls() {
  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    initControl(c, c->classId, c->controlIndex, c->controlIndex * 7);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A private registry and files, removed at exit.
  static const wltest::Sandbox sandbox("wl-mib-fuzz");
  fuzzRoot = sandbox.path();
  trend::trendDirectory = fuzzRoot;
  const DWORD rows[][2] = {{1, 3}, {15, 1}, {16, 2}};
  trend::Control** link = &trend::controlList;
  trend::ControlIndexEntry** entry = &trend::indexList;
  for (auto [classId, index] : rows) {
    *link = new trend::Control;
    initControl(*link, classId, index, 1);
    link = &(*link)->next;
  }
  for (DWORD index = 1; index <= 3; ++index) {
    auto* e = new trend::ControlIndexEntry;
    e->controlIndex = index;
    for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
      if (c->controlIndex == index) e->control = c;
    }
    *entry = e;
    entry = &e->next;
  }
  // History get-next then starts through the lookup, as in the agent.
  trend::rebuildIndexLookup();
  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    trend::createHistoryFile(c->controlIndex);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  resetControls();
  const uint8_t request = in.byte() % 3;
  const UINT count = in.byte() % 5;
  std::vector<SnmpVarBind> binds(count);
  for (SnmpVarBind& vb : binds) {
    std::memset(&vb, 0, sizeof vb);
    const UINT length = in.byte() % 129;
    // Names start inside the view more often than not.
    const UINT prefix = (in.byte() & 1) ? 12 : 0;
    if (length > 0) {
      vb.name.ids = static_cast<UINT*>(GlobalAlloc(GPTR, sizeof(UINT) * length));
      vb.name.idLength = length;
      for (UINT i = 0; i < length; ++i) {
        vb.name.ids[i] = i < prefix ? kEntry[i] : (in.byte() & 1 ? in.word() : in.byte() % 20);
      }
      if (prefix != 0 && length > 10) vb.name.ids[10] = 1 + in.byte() % 2;
    }
    vb.value.asnType = in.byte();
    if (vb.value.asnType != ASN_OCTETSTRING && vb.value.asnType != ASN_OBJECTIDENTIFIER &&
        vb.value.asnType != ASN_IPADDRESS && vb.value.asnType != ASN_OPAQUE &&
        vb.value.asnType != ASN_BITS && vb.value.asnType != ASN_SEQUENCE) {
      vb.value.asnValue.number = static_cast<AsnInteger32>(in.word());
    }
  }
  SnmpVarBindList list{binds.data(), count};
  AsnInteger32 status = 0;
  AsnInteger32 index = 0;
  switch (request) {
    case 0:
      trend::mibGet(&list, &status, &index);
      break;
    case 1:
      trend::mibGetNext(&list, &status, &index);
      break;
    default:
      trend::mibSetForTesting(&list, &status, &index);
      break;
  }
  if (index < 0 || index > static_cast<AsnInteger32>(count)) __builtin_trap();
  for (SnmpVarBind& vb : binds) {
    if (vb.name.ids != nullptr) GlobalFree(vb.name.ids);
  }
  return 0;
}
