// The modules (the program and its shared libraries) loaded in this process,
// and the resources they carry. Internal to the platform library.
//
// An HMODULE is the handle dlopen() returns, which with the GNU C library is
// the module's link map; a handle is accepted only when it is one of the link
// maps of the process, so a stale or made-up handle is refused, not followed.
// A null HMODULE stands for the main program.
// Thread safety: any thread (the dynamic loader serializes its own state).
#pragma once

#include <link.h>

#include <string>

#include "win32/resources.h"

namespace wl::modules {

// The link map of a loaded module, or null for a handle that is not one.
link_map* FindLoaded(HMODULE module);

// The loaded module whose file name matches `name` as Windows matches module
// names: the base name without regard to case, with ".dll" / ".exe" of the
// Windows name standing for ".so" here, and a "lib" prefix allowed. Null when
// none is loaded.
link_map* FindLoadedByName(const std::string& name);

// The host path of a loaded module's file ("" when unknown).
std::string FileNameOf(link_map* module);

// The module's own symbol `name` (not one of a library it depends on), or null.
void* OwnSymbol(HMODULE module, const char* name);

// The resource tables a module carries (its wl_module_resources), or null.
const WlModuleResources* ResourcesOf(HMODULE module);

// A message / string table entry of a module, or null.
const char* FindMessage(const WlModuleResources* resources, DWORD id);
const char* FindString(const WlModuleResources* resources, DWORD id);

}  // namespace wl::modules
