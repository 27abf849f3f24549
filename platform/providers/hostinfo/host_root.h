// The directory tree that the providers read: the machine itself ("/") or,
// for tests and for reproducing a machine, a directory named by the
// environment variable WARDENLINE_HOST_ROOT that holds its own proc, sys,
// run, var and etc. Every read is bounded; a file that cannot be read (it
// vanished between listing and reading, or was never there) reads as absent.
// Thread safety: a Host is immutable after construction; any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace wl::host {

// Files larger than this are not read (the package database is the largest
// file the providers read, a few MiB).
inline constexpr size_t kMaxFileBytes = 64u << 20;

struct FsStats {
  uint64_t blockSize = 0;  // fragment size: the unit of the counts
  uint64_t blocks = 0;
  uint64_t freeBlocks = 0;  // free for the superuser
  uint64_t availBlocks = 0;
};

class Host {
 public:
  explicit Host(std::string root = "/");
  // Root from WARDENLINE_HOST_ROOT ("/" when unset or empty).
  static Host FromEnvironment();

  const std::string& root() const { return root_; }
  // The host path of an absolute path of the machine.
  std::string Path(std::string_view absolute) const;

  // The whole file (at most `limit` bytes); false when it cannot be read.
  bool Read(std::string_view path, std::string* text, size_t limit = kMaxFileBytes) const;
  // `size` bytes from `offset`; false unless all of them were read.
  bool ReadAt(std::string_view path, uint64_t offset, size_t size, std::string* bytes) const;
  // The trimmed first line of a small file (sysfs attributes); empty when absent.
  std::string Attribute(std::string_view path) const;
  // Names in a directory (no "." or ".."), sorted; empty when absent.
  std::vector<std::string> List(std::string_view directory) const;
  // The target of a symbolic link; empty when `path` is not one.
  std::string LinkTarget(std::string_view path) const;
  // The last path component of a link's target ("../../bus/pci" -> "pci").
  std::string LinkName(std::string_view path) const;
  bool Exists(std::string_view path) const;
  // Modification time in seconds since 1970; false when absent.
  bool ModifiedTime(std::string_view path, int64_t* seconds) const;
  // File-system sizes of the file system mounted at `mountPoint`.
  bool StatFs(std::string_view mountPoint, FsStats* stats) const;

  // Replaces StatFs (tests lay out file systems of any size).
  std::function<bool(const std::string& hostPath, FsStats*)> statFs;

 private:
  std::string root_;
};

}  // namespace wl::host
