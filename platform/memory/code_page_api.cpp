// WideCharToMultiByte, MultiByteToWideChar and OemToCharW on code_pages.h.
#include <stdint.h>
#include <string.h>

#include <string>

#include "code_pages.h"
#include "core/trace.h"
#include "win32/memory.h"

namespace {

size_t WideLength(const WCHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

template <class Unit>
int Deliver(const std::basic_string<Unit>& result, Unit* output, int outputSize) {
  if (result.size() > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int needed = static_cast<int>(result.size());
  if (outputSize == 0) return needed;
  if (needed > outputSize) {
    memcpy(output, result.data(), static_cast<size_t>(outputSize) * sizeof(Unit));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(output, result.data(), result.size() * sizeof(Unit));
  return needed;
}

}  // namespace

extern "C" {

WLAPI int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                              LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                              LPBOOL lpUsedDefaultChar) {
  if (dwFlags != 0) wl::trace::Unsupported("WideCharToMultiByte", "dwFlags");
  wl::CodePage page;
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (lpMultiByteStr == nullptr && cbMultiByte != 0) || !wl::CodePageFromId(CodePage, &page) ||
      (page == wl::CodePage::kUtf8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length =
      cchWideChar == -1 ? WideLength(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  char defaultChar = lpDefaultChar != nullptr ? lpDefaultChar[0] : '?';
  bool usedDefault = false;
  std::string result = wl::EncodeCodePage(page, lpWideCharStr, length, defaultChar, &usedDefault);
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
  return Deliver(result, lpMultiByteStr, cbMultiByte);
}

WLAPI int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                              LPWSTR lpWideCharStr, int cchWideChar) {
  if ((dwFlags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0) {
    wl::trace::Unsupported("MultiByteToWideChar", "dwFlags other than MB_ERR_INVALID_CHARS");
  }
  wl::CodePage page;
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (lpWideCharStr == nullptr && cchWideChar != 0) || !wl::CodePageFromId(CodePage, &page)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  bool invalid = false;
  std::u16string result = wl::DecodeCodePage(page, lpMultiByteStr, length, &invalid);
  if (invalid && (dwFlags & MB_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return Deliver(result, lpWideCharStr, cchWideChar);
}

// Converts a NUL-terminated OEM (437) string; the destination must hold
// strlen(pSrc) + 1 characters.
WLAPI BOOL OemToCharW(LPCSTR pSrc, LPWSTR pDst) {
  if (pSrc == nullptr || pDst == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string result = wl::DecodeCodePage(wl::CodePage::kOem437, pSrc, strlen(pSrc) + 1);
  memcpy(pDst, result.data(), result.size() * sizeof(WCHAR));
  return TRUE;
}

}  // extern "C"
