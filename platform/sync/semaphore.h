// Semaphore kernel objects. Internal to the platform library.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "core/kernel_object.h"

namespace wl {

class SharedSemaphore;

class SemaphoreObject : public KernelObject {
 public:
  bool TryAcquire() override;
  void UndoAcquire() override;
  bool SignalledInProcess() const override { return shared_ == nullptr; }
  bool Release(LONG count, LONG* previous);
  bool IsShared() const { return shared_ != nullptr; }
  // Blocking wait on a named semaphore; false on time-out.
  bool WaitShared(std::chrono::steady_clock::time_point deadline, bool infinite);

  std::shared_ptr<SharedSemaphore> shared_;  // named: machine-wide state
  std::mutex mutex_;                         // unnamed: the count lives here
  LONG count_ = 0;
  LONG maximum_ = 1;
};

}  // namespace wl
