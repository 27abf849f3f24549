// FindFirstChangeNotificationW / FindNextChangeNotification /
// FindCloseChangeNotification on inotify.
//
// One inotify descriptor watches the one directory (a subtree request watches
// the directory itself only). The handle is signalled once an event has
// arrived since the last FindNextChangeNotification and stays signalled until
// that call, as on Windows. Events that arrive after the wait was satisfied
// and before FindNextChangeNotification signal the handle again at once, so no
// change is lost. The platform's descriptor watcher reads the events as they
// come and wakes the waiters, so a wait sleeps until a change; where the
// watcher is unavailable, waits re-test the handle at a short period.
#include <errno.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>

#include "core/descriptor_watch.h"
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
  ~ChangeNotification() override {
    watch_.reset();  // the callback is done with this object from here on
    close(descriptor_);
  }
  ChangeNotification(const ChangeNotification&) = delete;
  ChangeNotification& operator=(const ChangeNotification&) = delete;

  // Hands the descriptor to the watcher; before this (or if it fails) waits
  // re-test the handle themselves.
  void StartWatching() {
    watch_ = wl::DescriptorWatch::Start(descriptor_, [this] {
      bool arrived;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        arrived = Drain();
      }
      if (arrived) wl::NotifyStateChange();
    });
  }

  bool TryAcquire() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!watch_) Drain();
    if (signalled_) fresh_ = false;
    return signalled_;
  }
  bool SignalledInProcess() const override { return watch_ != nullptr; }

  void Rearm() {
    // Events that arrived after the last satisfied test of the handle, while
    // the caller worked, signal it again.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!watch_) Drain();
    signalled_ = fresh_;
    fresh_ = false;
  }

 private:
  // Reads what inotify has queued without blocking; true when anything came.
  bool Drain() {
    alignas(struct inotify_event) char buffer[4096];
    bool arrived = false;
    for (;;) {
      ssize_t got = read(descriptor_, buffer, sizeof(buffer));
      if (got <= 0) break;
      arrived = true;
    }
    if (arrived) signalled_ = fresh_ = true;
    return arrived;
  }

  std::mutex mutex_;
  int descriptor_;
  bool signalled_ = false;
  bool fresh_ = false;  // events since the last test that found the handle signalled
  std::unique_ptr<wl::DescriptorWatch> watch_;
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
  auto notification = std::make_shared<ChangeNotification>(descriptor);
  notification->StartWatching();
  SetLastError(ERROR_SUCCESS);
  return wl::RegisterHandle(std::move(notification));
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
