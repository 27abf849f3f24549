#include "key_handles.h"

#include <mutex>
#include <unordered_map>

namespace wl::reg {
namespace {

struct KeyTable {
  std::mutex mutex;
  std::unordered_map<uintptr_t, OpenKey> keys;
  // Multiples of 4 in a range of their own, apart from kernel handles and the
  // predefined keys (0x80000000 and up).
  uintptr_t next = 0x40000000u;
};

KeyTable& Table() {
  static KeyTable* table = new KeyTable;  // used until exit
  return *table;
}

}  // namespace

KeyId RootIdOf(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return kClassesRootId;
  if (key == HKEY_CURRENT_USER) return kCurrentUserId;
  if (key == HKEY_LOCAL_MACHINE) return kLocalMachineId;
  if (key == HKEY_USERS) return kUsersId;
  return 0;
}

HKEY AddKeyHandle(const OpenKey& key) {
  KeyTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  uintptr_t value = t.next;
  t.next += 4;
  if (t.next >= 0x80000000u) t.next = 0x40000000u;
  while (t.keys.count(value) != 0) value += 4;
  t.keys.emplace(value, key);
  return reinterpret_cast<HKEY>(value);
}

bool LookupKeyHandle(HKEY handle, OpenKey* key) {
  if (KeyId root = RootIdOf(handle)) {
    key->id = root;
    key->root = root;
    key->path.clear();
    key->access = KEY_ALL_ACCESS;
    return true;
  }
  KeyTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.keys.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.keys.end()) return false;
  *key = it->second;
  return true;
}

bool RemoveKeyHandle(HKEY handle) {
  KeyTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  return t.keys.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

void ForgetAllKeyHandles() {
  KeyTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.keys.clear();
}

}  // namespace wl::reg
