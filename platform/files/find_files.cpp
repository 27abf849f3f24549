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

class FindObject : public wl::KernelObject {
 public:
  explicit FindObject(std::vector<WIN32_FIND_DATAA> found) : found_(std::move(found)) {}

  bool TryAcquire() override { return false; }
  bool Waitable() const override { return false; }

  // Copies the next entry; false when the list is exhausted.
  bool Next(WIN32_FIND_DATAA* data) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ >= found_.size()) return false;
    *data = found_[next_++];
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<WIN32_FIND_DATAA> found_;
  size_t next_ = 0;
};

void FillFindData(const std::string& name, const struct stat& info, WIN32_FIND_DATAA* data) {
  memset(data, 0, sizeof(*data));
  data->dwFileAttributes = wl::AttributesFromStat(info);
  data->ftCreationTime = wl::FileTimeFromTimespec(info.st_ctim);
  data->ftLastAccessTime = wl::FileTimeFromTimespec(info.st_atim);
  data->ftLastWriteTime = wl::FileTimeFromTimespec(info.st_mtim);
  if (!S_ISDIR(info.st_mode)) {
    unsigned long long size = static_cast<unsigned long long>(info.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
  }
  size_t length = std::min(name.size(), sizeof(data->cFileName) - 1);
  memcpy(data->cFileName, name.data(), length);
  data->cFileName[length] = '\0';
}

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
  std::vector<std::string> names;
  while (struct dirent* entry = readdir(listing.get())) {
    std::string name = entry->d_name;
    bool dotEntry = name == "." || name == "..";
    if (dotEntry && driveRoot) continue;
    if (name.size() >= MAX_PATH) continue;  // cannot be named through this interface
    if (wl::MatchesWildcard(name, pattern)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), LessIgnoringCase);

  // Each entry is measured relative to the open directory: the kernel looks
  // up one name instead of walking the whole path again for every entry.
  const int directoryFd = dirfd(listing.get());
  std::vector<WIN32_FIND_DATAA> found;
  found.reserve(names.size());
  for (const std::string& name : names) {
    struct stat info;
    if (fstatat(directoryFd, name.c_str(), &info, 0) != 0 &&
        fstatat(directoryFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    WIN32_FIND_DATAA data;
    FillFindData(name, info, &data);
    found.push_back(data);
  }
  listing.reset();
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
