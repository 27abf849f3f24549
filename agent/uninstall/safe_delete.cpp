#include "agent/uninstall/safe_delete.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace purgewiz {
namespace {

constexpr int kMaxDepth = 64;
constexpr size_t kMaxLine = 4096;

const char* const kSystemDirs[] = {"/usr", "/etc",  "/var", "/home", "/root",  "/boot",
                                   "/bin", "/sbin", "/lib", "/opt",  "/srv",   "/proc",
                                   "/sys", "/dev",  "/run", "/tmp",  "/lib64", "/lib32"};

// Calls visit(path) for each line of each *.list file; stops when it
// returns true. Overlong lines are skipped.
template <typename Visit>
bool anyListed(const std::string& dpkgInfoDir, Visit visit) {
  DIR* dir = opendir(dpkgInfoDir.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (!found) {
    dirent* e = readdir(dir);
    if (e == nullptr) break;
    const std::string name = e->d_name;
    if (name.size() <= 5 || name.compare(name.size() - 5, 5, ".list") != 0) continue;
    std::ifstream in(dpkgInfoDir + "/" + name);
    std::string line;
    while (!found && std::getline(in, line)) {
      if (line.size() > kMaxLine) continue;
      found = visit(line);
    }
  }
  closedir(dir);
  return found;
}

// Mount points from /proc/self/mountinfo (field 5, octal escapes decoded).
std::set<std::string> mountPoints() {
  std::set<std::string> points;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    size_t p = 0;
    for (int field = 0; field < 4 && p != std::string::npos; ++field) {
      p = line.find(' ', p);
      if (p != std::string::npos) ++p;
    }
    if (p == std::string::npos) continue;
    const std::string raw = line.substr(p, line.find(' ', p) - p);
    std::string point;
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\' && i + 3 < raw.size()) {
        point += static_cast<char>(std::strtol(raw.substr(i + 1, 3).c_str(), nullptr, 8));
        i += 3;
      } else {
        point += raw[i];
      }
    }
    points.insert(point);
  }
  return points;
}

void deleteIn(int dirFd, const std::string& path, dev_t device, const std::set<std::string>& mounts,
              int depth) {
  DIR* dir = fdopendir(dirFd);
  if (dir == nullptr) {
    close(dirFd);
    return;
  }
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  for (const auto& name : names) {
    struct stat st;
    if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(st.st_mode)) {
      unlinkat(dirfd(dir), name.c_str(), 0);  // files and links alike
      continue;
    }
    const std::string child = path + "/" + name;
    if (name[0] == '.' || st.st_dev != device || mounts.count(child) != 0 || depth >= kMaxDepth) {
      continue;
    }
    const int fd =
        openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    deleteIn(fd, child, device, mounts, depth + 1);
    unlinkat(dirfd(dir), name.c_str(), AT_REMOVEDIR);
  }
  closedir(dir);
}

}  // namespace

bool ownedByPackage(const std::string& hostPath, const std::string& dpkgInfoDir) {
  return anyListed(dpkgInfoDir, [&](const std::string& line) { return line == hostPath; });
}

std::string refuseRoot(const std::string& hostPath, const std::string& dpkgInfoDir) {
  char resolved[PATH_MAX];
  std::string path = hostPath;
  if (realpath(hostPath.c_str(), resolved) != nullptr) path = resolved;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path == "/") return "it is the root of the file system";
  for (const char* system : kSystemDirs) {
    if (path == system) return "it is a system directory";
  }
  const std::string below = path + "/";
  if (anyListed(dpkgInfoDir, [&](const std::string& line) {
        return line.compare(0, below.size(), below) == 0 || line == path;
      })) {
    return "it holds files of installed packages";
  }
  return "";
}

void deleteTree(const std::string& hostPath) {
  const int fd = open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return;
  }
  deleteIn(fd, hostPath, st.st_dev, mountPoints(), 0);
}

}  // namespace purgewiz
