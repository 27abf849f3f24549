#include "exclusions.h"

#include <cstring>

#include "agent/common/install_root.h"
#include "win32/files.h"
#include "win32/registry.h"

namespace mgrseek {
namespace {

constexpr char kFileTail[] = "\\INI\\MGRSEEK.INI";

}  // namespace

ManagerEntry* parseExclusionLine(const std::string& line) {
  if (line.empty() || line[0] == '#') return nullptr;
  const size_t scanned = line.size() < 20 ? line.size() : 20;
  size_t dots = 0;
  for (size_t i = 0; i < scanned; ++i) dots += line[i] == '.' ? 1 : 0;
  if (dots != 1 || line.size() < 9 || line[8] != '.') return nullptr;
  auto* entry = new ManagerEntry;
  entry->kind = kIpxAddress;
  std::memcpy(entry->network, line.data(), 8);
  const size_t nodeLength = line.size() - 9 < 12 ? line.size() - 9 : 12;
  std::memcpy(entry->node, line.data() + 9, nodeLength);
  return entry;
}

void readExclusions(FILE* file, ManagerEntry** list) {
  char buffer[kExclusionLineMax + 1];
  bool continuation = false;  // inside the rest of an over-long line
  while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
    size_t length = std::strlen(buffer);
    const bool complete = length > 0 && buffer[length - 1] == '\n';
    const bool skip = continuation;
    continuation = !complete && !std::feof(file);
    if (skip) continue;
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) --length;
    if (ManagerEntry* entry = parseExclusionLine(std::string(buffer, length))) {
      insertFront(list, entry);
    }
  }
}

bool readExclusionFile(ManagerEntry** list) {
  std::string root;
  if (wlcommon::readInstallPath(wlcommon::kInstallRootBytes, &root) != ERROR_SUCCESS) return false;
  char path[wlcommon::kInstallRootBytes + sizeof kFileTail];
  std::snprintf(path, sizeof path, "%s%s", root.c_str(), kFileTail);
  FILE* file = wl_fopen(path, "r");
  if (file == nullptr) return false;
  readExclusions(file, list);
  std::fclose(file);
  return true;
}

}  // namespace mgrseek
