// Where the installation's files outside the install root live (service
// units, init scripts, desktop menu files): under the directory that
// WARDENLINE_SYSTEM_PREFIX names, "/" when unset or empty. Internal to the
// platform library; any thread (reads the environment at each call).
#pragma once

#include <string>

namespace wl::core {

// The prefix joined with a relative path ("etc/init.d"), without a doubled
// or trailing "/".
std::string SystemPath(const std::string& relative);

}  // namespace wl::core
