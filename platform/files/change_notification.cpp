// FindFirstChangeNotificationW / FindNextChangeNotification /
// FindCloseChangeNotification on inotify.
//
// One inotify descriptor watches the one directory (a subtree request watches
// the directory itself only). The handle is signalled once an event has
// arrived since the last FindNextChangeNotification and stays signalled until
// that call, as on Windows. Events that arrive after the wait was satisfied
// and before FindNextChangeNotification signal the handle again at once, so no
// change is lost. Waits test the handle by polling (its state changes outside
// this process).
#include <errno.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>

#include "core/kernel_object.h"
#include "core/trace.h"
#include "file_errors.h"
#include "host_path.h"
#include "win32/files.h"

namespace {

uint32_t InotifyMask(DWORD filter) {
  uint32_t mask = 0;
  if (filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME)) {
    mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  }
  if (filter & FILE_NOTIFY_CHANGE_ATTRIBUTES) mask |= IN_ATTRIB;
  // A file replaced by rename (as profile files are written) or newly created
  // changes the size and last-write time seen in the directory as well.
  if (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) {
    mask |= IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE;
  }
  if (filter & FILE_NOTIFY_CHANGE_LAST_WRITE) mask |= IN_ATTRIB;
  return mask;
}

class ChangeNotification : public wl::KernelObject {
 public:
  explicit ChangeNotification(int descriptor) : descriptor_(descriptor) {}
  ~ChangeNotification() override { close(descriptor_); }
  ChangeNotification(const ChangeNotification&) = delete;
  ChangeNotification& operator=(const ChangeNotification&) = delete;

  bool TryAcquire() override {
    std::lock_guard<std::mutex> lock(mutex_);
    Drain();
    return pending_;
  }
  bool SignalledInProcess() const override { return false; }

  void Rearm() {
    // Events still queued arrived after the last test of the handle, while
    // the caller worked: they are left to signal the handle again.
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = false;
  }

 private:
  // Reads what inotify has queued without blocking.
  void Drain() {
    alignas(struct inotify_event) char buffer[4096];
    for (;;) {
      ssize_t got = read(descriptor_, buffer, sizeof(buffer));
      if (got <= 0) break;
      pending_ = true;
    }
  }

  std::mutex mutex_;
  int descriptor_;
  bool pending_ = false;
};

}  // namespace

extern "C" {

WLAPI HANDLE FindFirstChangeNotificationW(LPCWSTR lpPathName, BOOL bWatchSubtree,
                                          DWORD dwNotifyFilter) {
  if (bWatchSubtree) {
    wl::trace::Unsupported("FindFirstChangeNotificationW", "bWatchSubtree (one directory only)");
  }
  bool ok = false;
  std::string narrow = wl::NarrowPath(lpPathName, &ok);
  uint32_t mask = InotifyMask(dwNotifyFilter);
  if (!ok || mask == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path;
  DWORD error = wl::ResolveWindowsPath(narrow.c_str(), &path);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    wl::SetLastErrorForPath(errno, path);
    return INVALID_HANDLE_VALUE;
  }
  if (!S_ISDIR(info.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return INVALID_HANDLE_VALUE;
  }
  int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (descriptor < 0) {
    SetLastError(wl::Win32ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (inotify_add_watch(descriptor, path.c_str(), mask | IN_ONLYDIR) < 0) {
    int failure = errno;
    close(descriptor);
    wl::SetLastErrorForPath(failure, path);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return wl::RegisterHandle(std::make_shared<ChangeNotification>(descriptor));
}

WLAPI BOOL FindNextChangeNotification(HANDLE hChangeHandle) {
  auto notification = wl::LookupHandleAs<ChangeNotification>(hChangeHandle);
  if (!notification) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  notification->Rearm();
  return TRUE;
}

WLAPI BOOL FindCloseChangeNotification(HANDLE hChangeHandle) {
  if (!wl::LookupHandleAs<ChangeNotification>(hChangeHandle) ||
      !wl::UnregisterHandle(hChangeHandle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
