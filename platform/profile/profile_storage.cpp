#include "profile_storage.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "files/file_errors.h"
#include "files/host_path.h"
#include "memory/code_pages.h"

namespace wl {
namespace {

constexpr size_t kLargestProfile = 16u << 20;

std::u16string DecodeUtf16(const std::string& bytes, size_t start, bool bigEndian) {
  std::u16string text;
  text.reserve((bytes.size() - start) / 2);
  for (size_t i = start; i + 1 < bytes.size(); i += 2) {
    unsigned char first = static_cast<unsigned char>(bytes[i]);
    unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(bigEndian ? static_cast<char16_t>((first << 8) | second)
                             : static_cast<char16_t>((second << 8) | first));
  }
  return text;
}

std::string Encode(ProfileEncoding encoding, const std::u16string& text) {
  std::string bytes;
  switch (encoding) {
    case ProfileEncoding::kAnsi:
      return EncodeCodePage(CodePage::kWindows1252, text.data(), text.size(), '?');
    case ProfileEncoding::kUtf8:
      return "\xEF\xBB\xBF" + EncodeCodePage(CodePage::kUtf8, text.data(), text.size(), '?');
    case ProfileEncoding::kUtf16Le:
    case ProfileEncoding::kUtf16Be: {
      bool big = encoding == ProfileEncoding::kUtf16Be;
      bytes.reserve(2 + text.size() * 2);
      bytes += big ? "\xFE\xFF" : "\xFF\xFE";
      for (char16_t unit : text) {
        char high = static_cast<char>(unit >> 8);
        char low = static_cast<char>(unit & 0xFF);
        bytes.push_back(big ? high : low);
        bytes.push_back(big ? low : high);
      }
      return bytes;
    }
  }
  return bytes;
}

// The process's file creation mask, read without changing it (umask() would
// race with other threads creating files).
mode_t CurrentUmask() {
  mode_t mask = 022;
  FILE* status = fopen("/proc/self/status", "re");
  if (status == nullptr) return mask;
  char line[256];
  while (fgets(line, sizeof(line), status) != nullptr) {
    unsigned int value = 0;
    if (sscanf(line, "Umask: %o", &value) == 1) {
      mask = static_cast<mode_t>(value & 0777);
      break;
    }
  }
  fclose(status);
  return mask;
}

bool WriteAll(int descriptor, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t wrote = write(descriptor, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(wrote);
  }
  return true;
}

}  // namespace

DWORD ReadProfileText(const std::string& hostPath, ProfileText* profile) {
  *profile = ProfileText();
  int descriptor = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    int error = errno;
    if (error == ENOENT || error == ENOTDIR) return ERROR_SUCCESS;  // reads as empty
    return Win32ErrorFromErrno(error);
  }
  struct stat info;
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(descriptor);
    return ERROR_ACCESS_DENIED;
  }
  if (static_cast<unsigned long long>(info.st_size) > kLargestProfile) {
    close(descriptor);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t got = read(descriptor, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      int error = errno;
      close(descriptor);
      return Win32ErrorFromErrno(error);
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
    if (bytes.size() > kLargestProfile) {
      close(descriptor);
      return ERROR_NOT_ENOUGH_MEMORY;
    }
  }
  close(descriptor);
  profile->exists = true;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    profile->encoding = ProfileEncoding::kUtf16Le;
    profile->text = DecodeUtf16(bytes, 2, false);
  } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    profile->encoding = ProfileEncoding::kUtf16Be;
    profile->text = DecodeUtf16(bytes, 2, true);
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    profile->encoding = ProfileEncoding::kUtf8;
    profile->text = DecodeCodePage(CodePage::kUtf8, bytes.data() + 3, bytes.size() - 3);
  } else {
    profile->text = DecodeCodePage(CodePage::kWindows1252, bytes.data(), bytes.size());
  }
  return ERROR_SUCCESS;
}

DWORD WriteProfileText(const std::string& hostPath, ProfileEncoding encoding,
                       const std::u16string& text) {
  // A file the caller may not write stays as it is, although replacing it
  // would only need write access to the directory.
  if (access(hostPath.c_str(), F_OK) == 0 && access(hostPath.c_str(), W_OK) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  std::string bytes = Encode(encoding, text);
  std::string temporary = ParentDirectory(hostPath) + "/." + LastComponent(hostPath) + ".XXXXXX";
  int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) return Win32ErrorForPath(errno, hostPath);
  // Keep the permissions of the file replaced; a new file gets the usual ones.
  struct stat existing;
  mode_t mode;
  if (stat(hostPath.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    mode = 0666 & ~CurrentUmask();
  }
  bool ok = fchmod(descriptor, mode) == 0 && WriteAll(descriptor, bytes) && fsync(descriptor) == 0;
  int error = ok ? 0 : errno;
  if (close(descriptor) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temporary.c_str(), hostPath.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    return Win32ErrorFromErrno(error);
  }
  return ERROR_SUCCESS;
}

DWORD WithProfileLock(const std::string& hostPath, const std::function<DWORD()>& update) {
  static std::mutex* processLock = new std::mutex;  // used until exit
  std::lock_guard<std::mutex> guard(*processLock);
  std::string directory = ParentDirectory(hostPath);
  int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) {
    int error = errno;
    return error == ENOENT || error == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(error);
  }
  while (flock(descriptor, LOCK_EX) != 0 && errno == EINTR) {
  }
  DWORD result = update();
  flock(descriptor, LOCK_UN);
  close(descriptor);
  return result;
}

}  // namespace wl
