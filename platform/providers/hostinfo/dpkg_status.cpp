#include "dpkg_status.h"

#include "text.h"

namespace wl::host {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

uint32_t LeadingNumber(std::string_view text) {
  size_t end = 0;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  uint64_t value = 0;
  if (end == 0 || !ParseUnsigned(text.substr(0, end), &value, 10, 0xFFFFFFFFu)) return 0;
  return static_cast<uint32_t>(value);
}

}  // namespace

std::vector<Package> ParseDpkgStatus(std::string_view text) {
  std::vector<Package> packages;
  Package current;
  bool installed = false;
  const auto finish = [&] {
    if (installed && !current.name.empty()) packages.push_back(std::move(current));
    current = Package();
    installed = false;
  };
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) {
      finish();
      continue;
    }
    if (line.front() == ' ' || line.front() == '\t' || line.front() == '#') continue;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view field = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsIgnoringCase(field, "Package")) {
      current.name = value;
    } else if (EqualsIgnoringCase(field, "Status")) {
      const std::vector<std::string_view> words = Words(value);
      installed = words.size() == 3 && words[2] == "installed";
    } else if (EqualsIgnoringCase(field, "Version")) {
      current.version = value;
    } else if (EqualsIgnoringCase(field, "Architecture")) {
      current.architecture = value;
    } else if (EqualsIgnoringCase(field, "Priority")) {
      current.priority = value;
    } else if (EqualsIgnoringCase(field, "Section")) {
      current.section = value;
    } else if (EqualsIgnoringCase(field, "Essential")) {
      current.essential = EqualsIgnoringCase(value, "yes");
    } else if (EqualsIgnoringCase(field, "Multi-Arch")) {
      current.multiArchSame = EqualsIgnoringCase(value, "same");
    }
  }
  finish();
  return packages;
}

void VersionNumbers(std::string_view version, uint32_t* major, uint32_t* minor) {
  *major = 0;
  *minor = 0;
  const size_t colon = version.find(':');
  if (colon != std::string_view::npos) version.remove_prefix(colon + 1);
  const size_t hyphen = version.rfind('-');
  if (hyphen != std::string_view::npos) version = version.substr(0, hyphen);
  if (version.empty() || version.front() < '0' || version.front() > '9') return;
  *major = LeadingNumber(version);
  size_t at = 0;
  while (at < version.size() && version[at] >= '0' && version[at] <= '9') ++at;
  if (at < version.size() && version[at] == '.') *minor = LeadingNumber(version.substr(at + 1));
}

}  // namespace wl::host
