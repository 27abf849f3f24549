#include "provider_state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace wl::host {

WORD ProviderState::Register() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handles_.size() >= 0xFFFF) return 0;
  do {
    ++next_;
  } while (next_ == 0 || handles_.count(next_));
  handles_.insert(next_);
  return next_;
}

bool ProviderState::Deregister(WORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.erase(handle) == 1;
}

bool ProviderState::IsRegistered(WORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.count(handle) == 1;
}

int ProviderState::HandOut(const Answer& answer, size_t recordSize, void** records) {
  *records = nullptr;
  if (answer.result < 0 || answer.records.empty()) return answer.result < 0 ? answer.result : 0;
  char* block = static_cast<char*>(std::malloc(recordSize * answer.records.size()));
  if (!block) return -1;
  for (size_t i = 0; i < answer.records.size(); ++i) {
    std::memset(block + i * recordSize, 0, recordSize);
    std::memcpy(block + i * recordSize, answer.records[i].data(),
                std::min(recordSize, answer.records[i].size()));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_.insert(block);
  }
  *records = block;
  return static_cast<int>(answer.records.size());
}

WCHAR* ProviderState::HandOutString(std::u16string_view text) {
  auto* block = static_cast<WCHAR*>(std::malloc((text.size() + 1) * sizeof(WCHAR)));
  if (!block) return nullptr;
  std::memcpy(block, text.data(), text.size() * sizeof(WCHAR));
  block[text.size()] = u'\0';
  std::lock_guard<std::mutex> lock(mutex_);
  blocks_.insert(block);
  return block;
}

bool ProviderState::Free(void* block) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (blocks_.erase(block) != 1) return false;
  }
  std::free(block);
  return true;
}

size_t ProviderState::OutstandingBlocks() {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_.size();
}

}  // namespace wl::host
