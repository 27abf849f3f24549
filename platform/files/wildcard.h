// Windows file-name wildcards. Internal to the platform library.
//
// "*" matches any run of characters (dots included) and "?" exactly one;
// letters match without regard to ASCII case. As on Windows, a pattern ending
// in ".*" also matches the name without that extension ("*.*" matches
// "README", "ab.*" matches "ab"), and a pattern ending in a single "."
// matches only names without a dot ("*." matches "README"). "*.NT" matches
// "7.NT" but not "7.NT$". Short (8.3) names do not exist here.
// Thread safety: pure function.
#pragma once

#include <string_view>

namespace wl {

bool MatchesWildcard(std::string_view name, std::string_view pattern);

// True when the pattern holds "*" or "?".
bool HasWildcard(std::string_view pattern);

}  // namespace wl
