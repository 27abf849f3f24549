// A small machine laid out in a temporary directory: files of /proc, /sys,
// /var and /etc as the providers read them, removed at the end of the test.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class HostTree {
 public:
  HostTree() {
    char pattern[] = "/tmp/wlhost_tree_XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~HostTree() { std::filesystem::remove_all(root_); }
  const std::string& root() const { return root_; }

  void Write(const std::string& path, const std::string& content) const {
    const std::filesystem::path full = root_ + path;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << content;
  }
  void Link(const std::string& path, const std::string& target) const {
    const std::filesystem::path full = root_ + path;
    std::filesystem::create_directories(full.parent_path());
    std::filesystem::create_directory_symlink(target, full);
  }
  void Dir(const std::string& path) const { std::filesystem::create_directories(root_ + path); }
  void SetTime(const std::string& path, time_t seconds) const {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    utimensat(AT_FDCWD, (root_ + path).c_str(), times, 0);
  }

 private:
  std::string root_;
};
