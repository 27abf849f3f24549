// The table of open registry key handles (HKEY) of this process. Internal to
// the platform library.
//
// An open key remembers the key row it names (so that a key deleted and made
// again under the same name is a different key, as on Windows), the access it
// was opened with, and its path from the root as the caller spelled it (for the
// keys that exist even when the store lacks them). The predefined root keys are
// not in the table; they resolve to their root rows with full access.
// Thread safety: any thread.
#pragma once

#include <string>
#include <vector>

#include "registry_store.h"
#include "win32/registry.h"

namespace wl::reg {

struct OpenKey {
  KeyId id = 0;  // 0: a key that exists without a row (the Perflib key)
  KeyId root = 0;
  // Components below the root, kept only while they could still name the
  // Perflib key (so that handles deep in a tree stay small); pathKnown is false
  // once they are dropped.
  std::vector<std::string> path;
  bool pathKnown = true;
  REGSAM access = 0;
};

// The root row of a predefined key, or 0 when `key` is not one of them.
KeyId RootIdOf(HKEY key);

// Adds an open key and returns its new handle.
HKEY AddKeyHandle(const OpenKey& key);
// Fills *key for a predefined or open key; false for an unknown handle.
bool LookupKeyHandle(HKEY handle, OpenKey* key);
// False for an unknown handle (predefined keys are not removed).
bool RemoveKeyHandle(HKEY handle);
void ForgetAllKeyHandles();

}  // namespace wl::reg
