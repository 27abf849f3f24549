// The kernel object behind a file handle from CreateFileA/W or OpenFile.
// Internal to the platform library.
//
// Ownership: the object owns its descriptor and closes it when the last
// reference goes (CloseHandle drops the table's reference). A file handle is
// always signalled, as a Windows file handle with no I/O pending is.
// Thread safety: the descriptor is fixed for the object's life.
#pragma once

#include <unistd.h>

#include "core/kernel_object.h"

namespace wl {

class FileObject : public KernelObject {
 public:
  explicit FileObject(int descriptor) : descriptor_(descriptor) {}
  ~FileObject() override {
    if (descriptor_ >= 0) close(descriptor_);
  }
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;

  bool TryAcquire() override { return true; }
  int descriptor() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace wl
