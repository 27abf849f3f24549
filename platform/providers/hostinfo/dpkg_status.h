// Parser of the Debian package database (/var/lib/dpkg/status, deb-control(5)
// paragraphs) and of Debian version strings ([epoch:]upstream[-revision]).
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wl::host {

struct Package {
  std::string name;
  std::string version;
  std::string architecture;
  std::string priority;
  std::string section;
  bool essential = false;
  bool multiArchSame = false;  // its file list is "<name>:<arch>.list"
};

// The packages whose status is "installed", in file order. Paragraphs without
// a package name, and continuation lines, are passed over.
std::vector<Package> ParseDpkgStatus(std::string_view text);

// Major and minor numbers of the upstream part of a version ("1:2.36-9" ->
// 2, 36). A part that does not start with a digit, or does not fit 32 bits,
// gives 0.
void VersionNumbers(std::string_view version, uint32_t* major, uint32_t* minor);

}  // namespace wl::host
