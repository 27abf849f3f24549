// One performance data block: the answer of one HKEY_PERFORMANCE_DATA query,
// kept in a buffer that grows until the data fits.
//
// Ownership: the block owns its buffer. Thread safety: none; each user guards
// its blocks with its own lock.
#pragma once

#include "agent/common/walk_profile.h"
#include "win32/types.h"

namespace perfwalk {

struct PerfBlock {
  BYTE* buffer = nullptr;  // null: the block is absent
  DWORD capacity = 0;      // bytes allocated
  DWORD length = 0;        // bytes the last query returned; the walk reads no further

  PerfBlock() = default;
  PerfBlock(const PerfBlock&) = delete;
  PerfBlock& operator=(const PerfBlock&) = delete;
  ~PerfBlock() { release(); }

  bool present() const { return buffer != nullptr; }
  // Frees the buffer; the block is absent afterwards.
  void release();
};

// Queries HKEY_PERFORMANCE_DATA with `valueName` (object title indexes
// separated by blanks) into the block. A block without a buffer first gets
// profile.initialBufferBytes (failure: log "malloc failed 1004\n", 14); while
// the answer is ERROR_MORE_DATA the buffer grows by profile.bufferGrowthBytes
// (failure: 14). Results: 0 = data present and starting with "PERF"; 11 = the
// data does not start with that signature; 14 = out of memory; otherwise the
// registry's error. On a non-zero result the caller frees the block.
int queryObjectBlock(const char* valueName, PerfBlock* block, const WalkProfile& profile);

}  // namespace perfwalk
