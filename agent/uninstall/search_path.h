// The search-path edit: the first occurrence of the bin directory's text in
// the path loses that text and one ";" right after it. Pure.
#pragma once

#include <string>

namespace purgewiz {

// False (path unchanged) when the text does not occur or is empty.
bool cutFromPath(std::string* path, const std::string& binDirectory);

}  // namespace purgewiz
