// Deleting the install root's tree without ever deleting the system. Plain
// procedures; one thread.
#pragma once

#include <string>

namespace purgewiz {

// Why a directory may not be deleted as an install root: "" when it may.
// Refused: "/" (also what "C:" and "C:\" map to), the top-level system
// directories, and a directory under which the Debian package database
// (dpkgInfoDir, normally /var/lib/dpkg/info, its *.list files) lists any
// path. The path is resolved first (links followed).
std::string refuseRoot(const std::string& hostPath, const std::string& dpkgInfoDir);

// True when the Debian package database lists exactly this path.
bool ownedByPackage(const std::string& hostPath, const std::string& dpkgInfoDir);

// Deletes the tree under the directory (not the directory itself): every
// file and symbolic link (a link is removed as a link), and every
// subdirectory whose name does not begin with "." after its own tree. A
// directory on another file system or that is a mount point is left alone,
// so is anything more than 64 levels down. Failures are skipped.
void deleteTree(const std::string& hostPath);

}  // namespace purgewiz
