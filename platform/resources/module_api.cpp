// Module handles: LoadLibraryA, FreeLibrary, GetProcAddress, GetModuleHandleA,
// GetModuleFileNameA over the dynamic loader.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
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

// References that LoadLibraryA/LoadLibraryExA handed out, per module, and
// whether the module's DllMain has run its attach. Data-file references are
// counted apart so that taking and dropping them never waits for the loader
// lock; the two counts are interchangeable when a reference is freed, so the
// detach runs exactly when the last reference of either kind goes.
struct ModuleReferences {
  std::map<link_map*, long> full;      // under LoaderLock()
  std::map<link_map*, long> dataFile;  // under DataFileMutex()
  std::set<link_map*> attached;        // under LoaderLock()
  // Modules whose last full reference went while data-file ones remained.
  std::set<link_map*> pendingDetach;  // under DataFileMutex()
};

ModuleReferences& References() {
  static auto* references = new ModuleReferences;  // used until exit
  return *references;
}

std::recursive_mutex& LoaderLock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}

std::mutex& DataFileMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

WL_DLL_ENTRY EntryOf(HMODULE module) {
  return reinterpret_cast<WL_DLL_ENTRY>(wl::modules::OwnSymbol(module, "DllMain"));
}

// dlopen of the module a caller names, without DllMain: null with the error set.
HMODULE OpenModule(LPCSTR lpLibFileName) {
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

}  // namespace

extern "C" {

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
  HMODULE module = OpenModule(lpLibFileName);
  if (module == nullptr) return nullptr;
  link_map* map = static_cast<link_map*>(module);
  std::lock_guard<std::recursive_mutex> lock(LoaderLock());
  ModuleReferences& references = References();
  ++references.full[map];
  {
    std::lock_guard<std::mutex> dataLock(DataFileMutex());
    references.pendingDetach.erase(map);
  }
  // Marked before the call so that a load of the same module from inside its
  // own DllMain only counts a reference.
  if (!references.attached.insert(map).second) return module;
  WL_DLL_ENTRY entry = EntryOf(module);
  if (entry == nullptr || entry(module, DLL_PROCESS_ATTACH, nullptr)) return module;
  entry(module, DLL_PROCESS_DETACH, nullptr);
  references.attached.erase(map);
  if (--references.full[map] <= 0) references.full.erase(map);
  const std::string file = wl::modules::FileNameOf(map);
  std::fprintf(stderr,
               "wardenline: LoadLibrary %s: %s did not initialise (DllMain failed), unloaded\n",
               lpLibFileName, file.c_str());
  dlclose(module);
  SetLastError(ERROR_DLL_INIT_FAILED);
  return nullptr;
}

HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  if (hFile != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if ((dwFlags & (LOAD_LIBRARY_AS_DATAFILE | DONT_RESOLVE_DLL_REFERENCES)) == 0) {
    return LoadLibraryA(lpLibFileName);
  }
  HMODULE module = OpenModule(lpLibFileName);
  if (module == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(DataFileMutex());
  ++References().dataFile[static_cast<link_map*>(module)];
  return module;
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == nullptr || wl::modules::FindLoaded(hLibModule) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  link_map* map = static_cast<link_map*>(hLibModule);
  ModuleReferences& references = References();
  bool dataFileReference = false;
  bool detachNow = false;
  {
    std::lock_guard<std::mutex> lock(DataFileMutex());
    auto it = references.dataFile.find(map);
    if (it != references.dataFile.end()) {
      dataFileReference = true;
      if (--it->second <= 0) {
        references.dataFile.erase(it);
        detachNow = references.pendingDetach.erase(map) != 0;
      }
    }
  }
  if (!dataFileReference || detachNow) {
    std::lock_guard<std::recursive_mutex> lock(LoaderLock());
    bool last = detachNow;
    if (!dataFileReference) {
      auto it = references.full.find(map);
      if (it != references.full.end() && --it->second <= 0) {
        references.full.erase(it);
        std::lock_guard<std::mutex> dataLock(DataFileMutex());
        // With data-file references still out, the last of them detaches.
        last = references.dataFile.count(map) == 0;
        if (!last && references.attached.count(map) != 0) references.pendingDetach.insert(map);
      }
    }
    if (last && references.full.count(map) == 0) {
      auto attached = references.attached.find(map);
      if (attached != references.attached.end()) {
        references.attached.erase(attached);
        if (WL_DLL_ENTRY entry = EntryOf(hLibModule))
          entry(hLibModule, DLL_PROCESS_DETACH, nullptr);
      }
    }
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
