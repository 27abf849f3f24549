#include "loaded_modules.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

namespace wl::modules {
namespace {

link_map* MainProgram() {
  static link_map* program = [] {
    link_map* map = nullptr;
    void* self = dlopen(nullptr, RTLD_NOW);
    if (self != nullptr && dlinfo(self, RTLD_DI_LINKMAP, &map) != 0) map = nullptr;
    return map;
  }();
  return program;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// "C:\X\CURVEMIB.dll" -> "curvemib"; "/lib/libfoo.so.1" -> "libfoo".
std::string Stem(const std::string& name) {
  std::string base = name.substr(name.find_last_of("/\\") + 1);
  base = Lower(base);
  const size_t so = base.find(".so");
  if (so != std::string::npos && (so + 3 == base.size() || base[so + 3] == '.')) {
    return base.substr(0, so);
  }
  for (const char* extension : {".dll", ".exe"}) {
    const size_t length = strlen(extension);
    if (base.size() > length && base.compare(base.size() - length, length, extension) == 0) {
      return base.substr(0, base.size() - length);
    }
  }
  return base;
}

const char* FindEntry(const WlMessageEntry* entries, DWORD count, DWORD id) {
  if (entries == nullptr) return nullptr;
  for (DWORD i = 0; i < count; ++i) {
    if (entries[i].id == id) return entries[i].text;
  }
  return nullptr;
}

}  // namespace

link_map* FindLoaded(HMODULE module) {
  link_map* program = MainProgram();
  if (module == nullptr) return program;
  for (link_map* map = program; map != nullptr; map = map->l_next) {
    if (static_cast<void*>(map) == module) return map;
  }
  return nullptr;
}

link_map* FindLoadedByName(const std::string& name) {
  const std::string wanted = Stem(name);
  if (wanted.empty()) return nullptr;
  for (link_map* map = MainProgram(); map != nullptr; map = map->l_next) {
    std::string file = map == MainProgram() ? FileNameOf(map) : std::string(map->l_name);
    if (file.empty()) continue;
    const std::string stem = Stem(file);
    if (stem == wanted || stem == "lib" + wanted || "lib" + stem == wanted) return map;
  }
  return nullptr;
}

std::string FileNameOf(link_map* module) {
  if (module == nullptr) return std::string();
  if (module == MainProgram()) {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
  }
  if (module->l_name == nullptr || module->l_name[0] == '\0') return std::string();
  char resolved[PATH_MAX];
  if (realpath(module->l_name, resolved) != nullptr) return resolved;
  return module->l_name;
}

void* OwnSymbol(HMODULE module, const char* name) {
  link_map* map = FindLoaded(module);
  if (map == nullptr || name == nullptr) return nullptr;
  // A link map is a usable dlsym handle only for modules that dlopen gave
  // out; one loaded as a dependency of the program (found by
  // GetModuleHandleA, or from an address) has no search list of its own, so
  // take a real handle for it, without loading anything.
  void* handle = map == MainProgram() ? dlopen(nullptr, RTLD_LAZY)
                                      : dlopen(map->l_name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  void* symbol = dlsym(handle, name);
  dlclose(handle);
  if (symbol == nullptr) return nullptr;
  Dl_info info;
  link_map* owner = nullptr;
  if (dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
      owner != map) {
    return nullptr;
  }
  return symbol;
}

const WlModuleResources* ResourcesOf(HMODULE module) {
  return static_cast<const WlModuleResources*>(OwnSymbol(module, WL_MODULE_RESOURCES_SYMBOL));
}

const char* FindMessage(const WlModuleResources* resources, DWORD id) {
  return resources == nullptr ? nullptr
                              : FindEntry(resources->messages, resources->messageCount, id);
}

const char* FindString(const WlModuleResources* resources, DWORD id) {
  return resources == nullptr ? nullptr : FindEntry(resources->strings, resources->stringCount, id);
}

}  // namespace wl::modules
