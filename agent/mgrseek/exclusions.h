// "MGRSEEK.INI": the console addresses kept out of the trap destinations, one
// IPX address a line (network, ".", node); "#" lines and empty lines are
// skipped, and so is every line without exactly one "." among its first 20
// characters, as the 9th one.
#pragma once

#include <cstdio>
#include <string>

#include "agent/mgrseek/manager_entry.h"

namespace mgrseek {

// The longest line read; the rest of a longer line is skipped.
constexpr size_t kExclusionLineMax = 149;

// An exclusion entry from one line (without its line end); null when skipped.
ManagerEntry* parseExclusionLine(const std::string& line);
// Every address of the file, inserted at the front of *list.
void readExclusions(FILE* file, ManagerEntry** list);
// The file under the install root's "\INI\"; false (and *list untouched)
// without an install root or file.
bool readExclusionFile(ManagerEntry** list);

}  // namespace mgrseek
