// LoadStringA/W: entries of a module's string table.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "loaded_modules.h"
#include "win32/resources.h"
#include "wltext/utf.h"

namespace {

// UTF-16 copies of table strings, kept for the life of the process so that
// LoadStringW with a zero buffer size can hand out a pointer to one.
const std::u16string& WideCopy(const char* text) {
  static std::mutex mutex;
  static auto* copies = new std::map<const char*, std::u16string>;  // used until exit
  std::lock_guard<std::mutex> lock(mutex);
  auto it = copies->find(text);
  if (it == copies->end())
    it =
        copies->emplace(text, wl::text::Utf8ToUtf16(text, wl::text::Malformed::kWindows1252)).first;
  return it->second;
}

const char* TableString(HINSTANCE instance, UINT id) {
  if (wl::modules::FindLoaded(instance) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const char* text = wl::modules::FindString(wl::modules::ResourcesOf(instance), id);
  if (text == nullptr) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return text;
}

}  // namespace

extern "C" {

int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* text = TableString(hInstance, uID);
  if (text == nullptr) {
    if (cchBufferMax > 0) lpBuffer[0] = 0;
    return 0;
  }
  const std::u16string& wide = WideCopy(text);
  if (cchBufferMax == 0) {
    // The buffer receives a read-only pointer to the string itself.
    const WCHAR* pointer = wide.c_str();
    memcpy(lpBuffer, &pointer, sizeof pointer);
    return static_cast<int>(wide.size());
  }
  const size_t count = std::min(wide.size(), static_cast<size_t>(cchBufferMax) - 1);
  memcpy(lpBuffer, wide.data(), count * sizeof(WCHAR));
  lpBuffer[count] = 0;
  return static_cast<int>(count);
}

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* text = TableString(hInstance, uID);
  if (text == nullptr) {
    lpBuffer[0] = '\0';
    return 0;
  }
  size_t count = std::min(strlen(text), static_cast<size_t>(cchBufferMax) - 1);
  // Cut at a character boundary, never inside a UTF-8 sequence.
  while (count > 0 && count < strlen(text) &&
         (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80) {
    --count;
  }
  memcpy(lpBuffer, text, count);
  lpBuffer[count] = '\0';
  return static_cast<int>(count);
}

}  // extern "C"
