#include "host_root.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "text.h"

namespace wl::host {

Host::Host(std::string root) : root_(std::move(root)) {
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
  if (root_.empty()) root_.push_back('/');
}

Host Host::FromEnvironment() {
  const char* root = std::getenv("WARDENLINE_HOST_ROOT");
  return Host(root && *root ? root : "/");
}

std::string Host::Path(std::string_view absolute) const {
  if (root_ == "/") return std::string(absolute);
  const bool slash = !absolute.empty() && absolute.front() == '/';
  std::string path;
  path.reserve(root_.size() + absolute.size() + 1);
  path.append(root_.data(), root_.size());
  if (!slash) path.push_back('/');
  path.append(absolute.data(), absolute.size());
  return path;
}

bool Host::Read(std::string_view path, std::string* text, size_t limit) const {
  const int fd = open(Path(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) ||
      S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode)) {
    close(fd);
    return false;
  }
  text->clear();
  char buffer[16384];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    if (text->size() + static_cast<size_t>(n) > limit) {
      ok = false;
      break;
    }
    text->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return ok;
}

bool Host::ReadAt(std::string_view path, uint64_t offset, size_t size, std::string* bytes) const {
  const int fd = open(Path(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  bytes->assign(size, '\0');
  size_t done = 0;
  while (done < size) {
    const ssize_t n =
        pread(fd, bytes->data() + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  return done == size;
}

std::string Host::Attribute(std::string_view path) const {
  std::string text;
  if (!Read(path, &text, 65536)) return {};
  const size_t end = text.find('\n');
  return std::string(Trim(std::string_view(text).substr(0, end)));
}

std::vector<std::string> Host::List(std::string_view directory) const {
  std::vector<std::string> names;
  DIR* dir = opendir(Path(directory).c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Host::LinkTarget(std::string_view path) const {
  char buffer[4096];
  const ssize_t n = readlink(Path(path).c_str(), buffer, sizeof(buffer));
  if (n <= 0 || static_cast<size_t>(n) >= sizeof(buffer)) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string Host::LinkName(std::string_view path) const {
  std::string target = LinkTarget(path);
  while (!target.empty() && target.back() == '/') target.pop_back();
  const size_t slash = target.rfind('/');
  return slash == std::string::npos ? target : target.substr(slash + 1);
}

bool Host::Exists(std::string_view path) const {
  struct stat info {};
  return lstat(Path(path).c_str(), &info) == 0;
}

bool Host::ModifiedTime(std::string_view path, int64_t* seconds) const {
  struct stat info {};
  if (stat(Path(path).c_str(), &info) != 0) return false;
  *seconds = info.st_mtim.tv_sec;
  return true;
}

bool Host::StatFs(std::string_view mountPoint, FsStats* stats) const {
  const std::string path = Path(mountPoint);
  if (statFs) return statFs(path, stats);
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return false;
  stats->blockSize = info.f_frsize ? info.f_frsize : info.f_bsize;
  stats->blocks = info.f_blocks;
  stats->freeBlocks = info.f_bfree;
  stats->availBlocks = info.f_bavail;
  return true;
}

}  // namespace wl::host
