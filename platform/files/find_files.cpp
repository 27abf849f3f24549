// FindFirstFileA / FindNextFileA / FindClose.
//
// The directory is read whole when the search starts, so that deleting or
// renaming the files found while walking the list is safe (the trend agent
// deletes files during its enumeration). Entries are returned sorted by name
// without regard to case, as NTFS lists them. "." and ".." are listed, first,
// when the pattern matches them, except at the root of a drive, as Windows
// does. Find handles live in the kernel handle table and cannot be waited on.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/kernel_object.h"
#include "file_attributes.h"
#include "file_errors.h"
#include "file_time.h"
#include "host_path.h"
#include "wildcard.h"
#include "win32/files.h"

namespace {

// One entry found, as compact as the find data it gives: a directory of
// thousands of files is held in a fraction of the memory (and page faults)
// that as many WIN32_FIND_DATAA would take.
struct FoundEntry {
  std::string name;
  DWORD attributes = 0;
  FILETIME creation{}, lastAccess{}, lastWrite{};
  unsigned long long size = 0;  // 0 for a directory
  bool measured = false;
};

void Measure(int directoryFd, FoundEntry* entry) {
  struct stat info;
  const char* name = entry->name.c_str();
  entry->measured = fstatat(directoryFd, name, &info, 0) == 0 ||
                    fstatat(directoryFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
  if (!entry->measured) return;
  entry->attributes = wl::AttributesFromStat(info);
  entry->creation = wl::FileTimeFromTimespec(info.st_ctim);
  entry->lastAccess = wl::FileTimeFromTimespec(info.st_atim);
  entry->lastWrite = wl::FileTimeFromTimespec(info.st_mtim);
  entry->size = S_ISDIR(info.st_mode) ? 0 : static_cast<unsigned long long>(info.st_size);
}

void FillFindData(const FoundEntry& entry, WIN32_FIND_DATAA* data) {
  memset(data, 0, sizeof(*data));
  data->dwFileAttributes = entry.attributes;
  data->ftCreationTime = entry.creation;
  data->ftLastAccessTime = entry.lastAccess;
  data->ftLastWriteTime = entry.lastWrite;
  data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(entry.size);
  size_t length = std::min(entry.name.size(), sizeof(data->cFileName) - 1);
  memcpy(data->cFileName, entry.name.data(), length);
  data->cFileName[length] = '\0';
}

class FindObject : public wl::KernelObject {
 public:
  explicit FindObject(std::vector<FoundEntry> found) : found_(std::move(found)) {}

  bool TryAcquire() override { return false; }
  bool Waitable() const override { return false; }

  // Copies the next entry; false when the list is exhausted.
  bool Next(WIN32_FIND_DATAA* data) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ >= found_.size()) return false;
    FillFindData(found_[next_++], data);
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<FoundEntry> found_;
  size_t next_ = 0;
};

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  int order = strcasecmp(a.c_str(), b.c_str());
  return order != 0 ? order < 0 : a < b;
}

}  // namespace

extern "C" {

WLAPI HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (lpFileName == nullptr || lpFindFileData == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // The pattern is the last component as written; the rest is the directory.
  std::string text(lpFileName);
  size_t separator = text.find_last_of("\\/");
  std::string pattern = separator == std::string::npos ? text : text.substr(separator + 1);
  std::string directoryText;
  if (separator == std::string::npos) {
    if (text.size() >= 2 && text[1] == ':') {  // "C:*.NT"
      directoryText = text.substr(0, 2);
      pattern = text.substr(2);
    } else {
      directoryText = ".";
    }
  } else {
    directoryText = text.substr(0, separator + 1);
  }
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string directory;
  bool driveRoot = false;
  DWORD error = wl::ResolveWindowsPath(directoryText.c_str(), &directory, &driveRoot);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(directory.c_str()), closedir);
  if (!listing) {
    int failure = errno;
    SetLastError(failure == ENOENT || failure == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : wl::Win32ErrorFromErrno(failure));
    return INVALID_HANDLE_VALUE;
  }
  std::vector<FoundEntry> found;
  while (struct dirent* entry = readdir(listing.get())) {
    std::string name = entry->d_name;
    bool dotEntry = name == "." || name == "..";
    if (dotEntry && driveRoot) continue;
    if (name.size() >= MAX_PATH) continue;  // cannot be named through this interface
    if (wl::MatchesWildcard(name, pattern)) found.emplace_back().name = std::move(name);
  }
  std::sort(found.begin(), found.end(), [](const FoundEntry& a, const FoundEntry& b) {
    return LessIgnoringCase(a.name, b.name);
  });

  // Each entry is measured relative to the open directory: the kernel looks
  // up one name instead of walking the whole path again for every entry.
  const int directoryFd = dirfd(listing.get());
  for (FoundEntry& entry : found) Measure(directoryFd, &entry);
  listing.reset();
  // An entry that went away before it was measured is not listed.
  found.erase(std::remove_if(found.begin(), found.end(),
                             [](const FoundEntry& entry) { return !entry.measured; }),
              found.end());
  if (found.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto search = std::make_shared<FindObject>(std::move(found));
  search->Next(lpFindFileData);
  SetLastError(ERROR_SUCCESS);
  return wl::RegisterHandle(search);
}

WLAPI BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  auto search = wl::LookupHandleAs<FindObject>(hFindFile);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpFindFileData == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!search->Next(lpFindFileData)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

WLAPI BOOL FindClose(HANDLE hFindFile) {
  if (!wl::LookupHandleAs<FindObject>(hFindFile) || !wl::UnregisterHandle(hFindFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
