// What each provider library keeps between calls: its registered handles and
// the record blocks it has handed out, so that a block is freed only by the
// provider's own free call, and only once.
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstddef>
#include <mutex>
#include <set>
#include <string_view>
#include <unordered_set>

#include "schema.h"
#include "win32/types.h"

namespace wl::host {

class ProviderState {
 public:
  // A new non-zero handle; 0 when all 65535 are in use.
  WORD Register();
  bool Deregister(WORD handle);
  bool IsRegistered(WORD handle);

  // Copies the records of a list answer into one new block and sets *records
  // to it (null when there are none or the answer is a failure); returns the
  // answer's result, or -1 when memory runs out.
  int HandOut(const Answer& answer, size_t recordSize, void** records);
  // A wide string handed out the same way; null when memory runs out.
  WCHAR* HandOutString(std::u16string_view text);
  // Frees a block this state handed out; false (nothing freed) otherwise.
  bool Free(void* block);
  size_t OutstandingBlocks();

 private:
  std::mutex mutex_;
  WORD next_ = 0;
  std::set<WORD> handles_;
  std::unordered_set<void*> blocks_;
};

}  // namespace wl::host
