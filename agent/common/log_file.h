// A component's log file: install root + "\LOGFILES\" + the file's name
// ("CURVEMIB.LOG", "PERFPEEK.LOG", ...). Every message goes to standard
// output first, then is appended to the file, which is opened and closed for
// that one message; a file that cannot be opened is skipped silently.
//
// A LogFile is plain storage (no allocation, nothing to destroy), so a
// library may keep one as a global and still log from its exit handlers.
// Thread safety: none of its own. open and close must not race with write;
// callers that log from several threads serialise the calls themselves.
#pragma once

#include <cstddef>
#include <string_view>

namespace wlcommon {

// Room for the whole path, terminator included (MAX_PATH).
constexpr size_t kLogPathBytes = 260;

class LogFile {
 public:
  constexpr LogFile() = default;

  // Uses installRoot + "\LOGFILES\" + fileName from now on and empties the
  // file (creating it when it can), or with `empty` false leaves what it holds
  // and appends after it. True when the log now has a file; false,
  // and no file, when the root or the name is empty or null, or the path
  // would not fit in kLogPathBytes - 1 characters. A file that cannot be
  // emptied is still used.
  bool open(const char* installRoot, const char* fileName, bool empty = true);
  // No file from now on; messages go to standard output only.
  void close() { path_[0] = '\0'; }
  bool hasFile() const { return path_[0] != '\0'; }
  // The file's path, empty when there is none.
  std::string_view path() const { return path_; }

  // Writes `length` bytes of `text` to standard output (flushed) and appends
  // them to the file.
  void write(const char* text, size_t length) const;

 private:
  char path_[kLogPathBytes] = {};
};

}  // namespace wlcommon
