#include "trap_pump.h"

#include "service_log.h"
#include "win32/sync.h"

namespace snmpsvc {

namespace {
// One signal may stand for many traps; an agent that never says "no more" is
// cut off after this many so that the others are served too.
constexpr int kMaxTrapsPerSignal = 10000;
// Traps waiting to be sent; older ones are dropped beyond this.
constexpr size_t kMaxQueuedTraps = 10000;
}  // namespace

TrapPump::~TrapPump() { Stop(); }

bool TrapPump::Start(const std::vector<ExtensionAgent*>& agents, std::function<void()> wake) {
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (stop == nullptr) return false;
  events_.push_back(stop);
  for (ExtensionAgent* agent : agents) {
    if (agent->TrapEvent() == nullptr || !agent->HasTrapEntry()) continue;
    if (events_.size() >= MAXIMUM_WAIT_OBJECTS) {
      LogError("%s: too many extension agents with traps; its traps are not sent",
               agent->Path().c_str());
      continue;
    }
    agents_.push_back(agent);
    events_.push_back(agent->TrapEvent());
  }
  if (agents_.empty()) {
    CloseHandle(stop);
    events_.clear();
    return false;
  }
  wake_ = std::move(wake);
  thread_ = std::thread(&TrapPump::Loop, this);
  return true;
}

void TrapPump::Stop() {
  if (events_.empty()) return;
  SetEvent(events_[0]);
  if (thread_.joinable()) thread_.join();
  CloseHandle(events_[0]);
  events_.clear();
  agents_.clear();
}

std::deque<TrapMessage> TrapPump::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::deque<TrapMessage> taken;
  taken.swap(queue_);
  return taken;
}

void TrapPump::Loop() {
  for (;;) {
    DWORD result =
        WaitForMultipleObjects(static_cast<DWORD>(events_.size()), events_.data(), FALSE, INFINITE);
    if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) {
      if (result == WAIT_FAILED) LogError("waiting for trap events failed; traps stop");
      return;
    }
    if (result < WAIT_OBJECT_0 + 1 || result >= WAIT_OBJECT_0 + events_.size()) continue;
    ExtensionAgent* agent = agents_[result - WAIT_OBJECT_0 - 1];
    int count = 0;
    TrapMessage trap;
    while (count < kMaxTrapsPerSignal && agent->NextTrap(&trap)) {
      ++count;
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.size() >= kMaxQueuedTraps) queue_.pop_front();
      queue_.push_back(std::move(trap));
    }
    if (count == kMaxTrapsPerSignal) {
      LogError("%s: still returning traps after %d calls; going on with the others",
               agent->Path().c_str(), count);
    }
    if (count != 0 && wake_) wake_();
  }
}

}  // namespace snmpsvc
