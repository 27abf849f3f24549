#include "mountinfo.h"

#include "text.h"

namespace wl::host {
namespace {

std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    uint64_t value = 0;
    if (field[i] == '\\' && i + 4 <= field.size() &&
        ParseUnsigned(field.substr(i + 1, 3), &value, 8, 255)) {
      out.push_back(static_cast<char>(value));
      i += 3;
      continue;
    }
    out.push_back(field[i]);
  }
  return out;
}

bool HasOption(std::string_view options, std::string_view option) {
  size_t start = 0;
  while (start <= options.size()) {
    size_t end = options.find(',', start);
    if (end == std::string_view::npos) end = options.size();
    if (options.substr(start, end - start) == option) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::vector<Mount> ParseMountInfo(std::string_view text) {
  std::vector<Mount> mounts;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> words = Words(text.substr(start, end - start));
    start = end + 1;
    // id parent major:minor root mount-point options [optional...] - type source super
    size_t separator = 6;
    while (separator < words.size() && words[separator] != "-") ++separator;
    if (words.size() < 7 || separator + 1 >= words.size()) continue;
    Mount mount;
    const std::string_view device = words[2];
    const size_t colon = device.find(':');
    uint64_t major = 0, minor = 0;
    if (colon == std::string_view::npos ||
        !ParseUnsigned(device.substr(0, colon), &major, 10, 0xFFFFFFFFu) ||
        !ParseUnsigned(device.substr(colon + 1), &minor, 10, 0xFFFFFFFFu)) {
      continue;
    }
    mount.major = static_cast<unsigned>(major);
    mount.minor = static_cast<unsigned>(minor);
    mount.mountPoint = Unescape(words[4]);
    mount.readOnly = HasOption(words[5], "ro");
    mount.fsType = Unescape(words[separator + 1]);
    if (separator + 2 < words.size()) mount.source = Unescape(words[separator + 2]);
    if (mount.mountPoint.empty() || mount.mountPoint.front() != '/') continue;
    mounts.push_back(std::move(mount));
  }
  return mounts;
}

}  // namespace wl::host
