#include "value_name.h"

#include <algorithm>
#include <cctype>

namespace wl::perf {
namespace {

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

ValueName ParseValueName(std::string_view name) {
  ValueName result;
  if (name.empty() || SameText(name, "Global")) {
    result.kind = ValueName::kGlobal;
    return result;
  }
  if (SameText(name, "Counter 009")) {
    result.kind = ValueName::kCounterNames;
    return result;
  }
  if (SameText(name, "Costly")) {
    result.kind = ValueName::kCostly;
    return result;
  }
  size_t i = 0;
  while (i < name.size()) {
    if (IsBlank(name[i])) {
      ++i;
      continue;
    }
    uint64_t value = 0;
    size_t digits = 0;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) {
      value = value * 10 + static_cast<uint64_t>(name[i] - '0');
      if (value > 0xFFFFFFFFu) return ValueName{};
      ++i, ++digits;
    }
    if (digits == 0 || (i < name.size() && !IsBlank(name[i]))) return ValueName{};
    const auto index = static_cast<DWORD>(value);
    if (std::find(result.indexes.begin(), result.indexes.end(), index) == result.indexes.end()) {
      result.indexes.push_back(index);
    }
  }
  if (result.indexes.empty()) return ValueName{};
  result.kind = ValueName::kList;
  return result;
}

}  // namespace wl::perf
