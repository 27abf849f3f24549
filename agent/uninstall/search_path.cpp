#include "agent/uninstall/search_path.h"

namespace purgewiz {

bool cutFromPath(std::string* path, const std::string& binDirectory) {
  if (binDirectory.empty()) return false;
  const size_t at = path->find(binDirectory);
  if (at == std::string::npos) return false;
  size_t end = at + binDirectory.size();
  if (end < path->size() && (*path)[end] == ';') ++end;
  path->erase(at, end - at);
  return true;
}

}  // namespace purgewiz
