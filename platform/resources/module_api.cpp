// Module handles: LoadLibraryA, FreeLibrary, GetProcAddress, GetModuleHandleA,
// GetModuleFileNameA over the dynamic loader.
#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "loaded_modules.h"
#include "win32/files.h"
#include "win32/resources.h"

namespace {

bool LooksLikeWindowsPath(const std::string& name) {
  return name.find('\\') != std::string::npos ||
         (name.size() >= 2 && name[1] == ':' && isalpha(static_cast<unsigned char>(name[0])));
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// The names to try for a Windows module name: as given, then with ".dll"
// standing for ".so", with and without a "lib" prefix, in its case and in
// lower case.
std::vector<std::string> Candidates(const std::string& path) {
  std::vector<std::string> names = {path};
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string base = path.substr(dir.size());
  if (base.size() > 4 && Lower(base.substr(base.size() - 4)) == ".dll") {
    base.erase(base.size() - 4);
  } else if (base.find('.') != std::string::npos) {
    return names;
  }
  for (const std::string& stem : {base, Lower(base)}) {
    names.push_back(dir + stem + ".so");
    names.push_back(dir + "lib" + stem + ".so");
  }
  return names;
}

}  // namespace

extern "C" {

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == nullptr || *lpLibFileName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string path = lpLibFileName;
  if (LooksLikeWindowsPath(path)) {
    char host[4096];
    const DWORD length = wl_host_path(lpLibFileName, host, sizeof host);
    if (length == 0 || length >= sizeof host) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    path.assign(host, length);
  }
  // A bare name of a module already loaded gives that module, as on Windows.
  if (path.find('/') == std::string::npos) {
    if (link_map* loaded = wl::modules::FindLoadedByName(path)) {
      const std::string file = wl::modules::FileNameOf(loaded);
      if (void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    }
  }
  for (const std::string& candidate : Candidates(path)) {
    if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == nullptr || wl::modules::FindLoaded(hLibModule) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (dlclose(hLibModule) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

void* GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Ordinals (values below 0x10000) have no meaning here.
  if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000u) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  if (wl::modules::FindLoaded(hModule) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* symbol = wl::modules::OwnSymbol(hModule, lpProcName);
  if (symbol == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
  return symbol;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName == nullptr) return wl::modules::FindLoaded(nullptr);
  std::string name = lpModuleName;
  if (LooksLikeWindowsPath(name)) {
    char host[4096];
    const DWORD length = wl_host_path(lpModuleName, host, sizeof host);
    if (length > 0 && length < sizeof host) name.assign(host, length);
  }
  if (link_map* loaded = wl::modules::FindLoadedByName(name)) return loaded;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  link_map* module = wl::modules::FindLoaded(hModule);
  if (module == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  const std::string file = wl::modules::FileNameOf(module);
  if (lpFilename == nullptr || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (file.size() >= nSize) {
    // Cut to the buffer, terminated; the result is the buffer size.
    memcpy(lpFilename, file.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, file.c_str(), file.size() + 1);
  return static_cast<DWORD>(file.size());
}

}  // extern "C"
