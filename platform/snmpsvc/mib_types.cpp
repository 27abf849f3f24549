#include "mib_types.h"

#include <algorithm>

namespace snmpsvc {

int CompareOid(const Oid& a, const Oid& b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool OidStartsWith(const Oid& name, const Oid& prefix) {
  return name.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), name.begin());
}

std::string FormatOid(const Oid& oid) {
  std::string text;
  for (size_t i = 0; i < oid.size(); ++i) {
    if (i != 0) text += '.';
    text += std::to_string(oid[i]);
  }
  return text;
}

bool ParseOid(const std::string& text, Oid* oid) {
  Oid arcs;
  size_t pos = (!text.empty() && text[0] == '.') ? 1 : 0;
  if (pos >= text.size()) return false;
  while (pos <= text.size()) {
    size_t end = text.find('.', pos);
    if (end == std::string::npos) end = text.size();
    if (end == pos || end - pos > 10) return false;
    uint64_t arc = 0;
    for (size_t i = pos; i < end; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      arc = arc * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (arc > 0xFFFFFFFFull || arcs.size() >= kMaxOidLength) return false;
    arcs.push_back(static_cast<uint32_t>(arc));
    pos = end + 1;
  }
  *oid = std::move(arcs);
  return true;
}

}  // namespace snmpsvc
