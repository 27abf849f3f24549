// The install root: "Pathname" under HKLM
// "SOFTWARE\Tarvex\Wardenline\CurrentVersion", a REG_SZ read with a limit of
// limit bytes (terminator included); "" when missing, of another type or
// longer. The shared agent services will offer this lookup; until the
// uninstaller can use them, it keeps this small copy.
#pragma once

#include <string>

namespace purgewiz {

std::string readInstallRoot(unsigned limit);

}  // namespace purgewiz
