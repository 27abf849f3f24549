#include "agent/common/log_file.h"

#include <cstdio>
#include <cstring>

#include "win32/files.h"

namespace wlcommon {

namespace {
constexpr char kLogDirectory[] = "\\LOGFILES\\";
}  // namespace

bool LogFile::open(const char* installRoot, const char* fileName, bool empty) {
  close();
  if (installRoot == nullptr || fileName == nullptr || *installRoot == '\0' || *fileName == '\0') {
    return false;
  }
  const size_t rootLength = std::strlen(installRoot);
  const size_t nameLength = std::strlen(fileName);
  const size_t directoryLength = sizeof kLogDirectory - 1;
  if (rootLength >= sizeof path_ || sizeof path_ - 1 - rootLength < directoryLength ||
      sizeof path_ - 1 - rootLength - directoryLength < nameLength) {
    return false;
  }
  char* end = path_;
  std::memcpy(end, installRoot, rootLength);
  end += rootLength;
  std::memcpy(end, kLogDirectory, directoryLength);
  end += directoryLength;
  std::memcpy(end, fileName, nameLength);
  end[nameLength] = '\0';
  if (FILE* file = wl_fopen(path_, empty ? "w" : "a")) std::fclose(file);
  return true;
}

void LogFile::write(const char* text, size_t length) const {
  if (text == nullptr || length == 0) return;
  std::fwrite(text, 1, length, stdout);
  std::fflush(stdout);
  if (!hasFile()) return;
  if (FILE* file = wl_fopen(path_, "a+")) {
    std::fwrite(text, 1, length, file);
    std::fclose(file);
  }
}

}  // namespace wlcommon
