#include "wildcard.h"

namespace wl {
namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Plain "*" / "?" matching, iterative with one back-track point.
bool MatchPlain(std::string_view name, std::string_view pattern) {
  size_t n = 0;
  size_t p = 0;
  size_t starPattern = std::string_view::npos;
  size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (starPattern != std::string_view::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool HasWildcard(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  if (pattern.empty()) return false;
  if (MatchPlain(name, pattern)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
    std::string_view stem = pattern.substr(0, pattern.size() - 2);
    return !stem.empty() && name.find('.') == std::string_view::npos && MatchPlain(name, stem);
  }
  if (pattern.back() == '.' && (pattern.size() < 2 || pattern[pattern.size() - 2] != '.')) {
    if (name.find('.') != std::string_view::npos) return false;
    return MatchPlain(name, pattern.substr(0, pattern.size() - 1));
  }
  return false;
}

}  // namespace wl
