// GetComputerNameA: the host name as a NetBIOS name.
#include <ctype.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "win32/memory.h"

extern "C" {

WLAPI BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
  if (nSize == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char host[256] = {};
  if (gethostname(host, sizeof(host) - 1) != 0) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  std::string name(host, strcspn(host, "."));
  if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
  for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (lpBuffer == nullptr || *nSize < needed) {
    *nSize = needed;
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  memcpy(lpBuffer, name.c_str(), needed);
  *nSize = needed - 1;
  return TRUE;
}

}  // extern "C"
