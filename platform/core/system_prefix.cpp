#include "system_prefix.h"

#include <cstdlib>

namespace wl::core {

std::string SystemPath(const std::string& relative) {
  const char* prefix = std::getenv("WARDENLINE_SYSTEM_PREFIX");
  std::string path = prefix != nullptr && prefix[0] != '\0' ? prefix : "/";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t start = relative.find_first_not_of('/');
  if (start == std::string::npos) return path;
  if (path.back() != '/') path += '/';
  path += relative.substr(start);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace wl::core
