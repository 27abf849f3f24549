#include "agent/common/object_block.h"

#include <cstdlib>
#include <cstring>

#include "win32/registry.h"

namespace perfwalk {
namespace {

// A block larger than this is refused as out of memory: no answer of the
// performance data comes near it, and a provider that keeps asking for more
// must not make the query loop forever.
constexpr DWORD kMaxBlockBytes = 256u << 20;

bool startsWithSignature(const BYTE* data, DWORD length) {
  static const BYTE kSignature[8] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
  return length >= sizeof(kSignature) && std::memcmp(data, kSignature, sizeof(kSignature)) == 0;
}

}  // namespace

void PerfBlock::release() {
  std::free(buffer);
  buffer = nullptr;
  capacity = 0;
  length = 0;
}

int queryObjectBlock(const char* valueName, PerfBlock* block, const WalkProfile& profile) {
  if (!block->buffer) {
    block->buffer = static_cast<BYTE*>(std::malloc(profile.initialBufferBytes));
    if (!block->buffer) {
      if (profile.log) profile.log("malloc failed 1004\n");
      return ERROR_OUTOFMEMORY;
    }
    block->capacity = profile.initialBufferBytes;
  }
  block->length = 0;
  for (;;) {
    DWORD size = block->capacity;
    DWORD type = 0;
    LONG rc =
        RegQueryValueExA(HKEY_PERFORMANCE_DATA, valueName, nullptr, &type, block->buffer, &size);
    if (rc == ERROR_MORE_DATA) {
      if (profile.bufferGrowthBytes == 0 ||
          block->capacity > kMaxBlockBytes - profile.bufferGrowthBytes) {
        return ERROR_OUTOFMEMORY;
      }
      DWORD grown = block->capacity + profile.bufferGrowthBytes;
      auto larger = static_cast<BYTE*>(std::realloc(block->buffer, grown));
      if (!larger) return ERROR_OUTOFMEMORY;
      block->buffer = larger;
      block->capacity = grown;
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    block->length = size < block->capacity ? size : block->capacity;
    return startsWithSignature(block->buffer, block->length) ? 0 : ERROR_BAD_FORMAT;
  }
}

}  // namespace perfwalk
