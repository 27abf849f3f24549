// GlobalAlloc/GlobalFree and LocalAlloc/LocalFree on the C heap: the handle
// is the block's address, so a block may be freed by any thread, and code
// that knows this may also realloc/free it directly.
#include <stdlib.h>

#include "win32/memory.h"
#include "win32/resources.h"

namespace {

HANDLE Allocate(UINT flags, SIZE_T bytes) {
  SIZE_T size = bytes == 0 ? 1 : bytes;  // a distinct block even for 0 bytes
  void* block = (flags & GMEM_ZEROINIT) ? calloc(1, size) : malloc(size);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

}  // namespace

extern "C" {

WLAPI HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) { return Allocate(uFlags, dwBytes); }

WLAPI HGLOBAL GlobalFree(HGLOBAL hMem) {
  free(hMem);
  return nullptr;
}

WLAPI HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) { return Allocate(uFlags, uBytes); }

WLAPI HLOCAL LocalFree(HLOCAL hMem) {
  free(hMem);
  return nullptr;
}

}  // extern "C"
