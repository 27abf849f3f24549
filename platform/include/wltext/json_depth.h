// The deepest nesting of arrays and objects in a JSON text, found without
// parsing it, so that a reader can refuse a pathological text before a
// recursive parser descends into it. Strings (with their escapes) are skipped;
// unbalanced closers never take the depth below zero. Pure; any thread.
#pragma once

#include <cstddef>
#include <string_view>

namespace wltext {

inline size_t JsonNestingDepth(std::string_view text) {
  size_t depth = 0;
  size_t deepest = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest) deepest = depth;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

}  // namespace wltext
