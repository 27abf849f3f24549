// Small helpers for the kernel's text files: read a file whole, and take
// numbers and words off a line without allocating.
// Thread safety: pure functions over the caller's buffers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wl::perf {

// Reads the whole file at `path` into *text; false when it cannot be opened or read.
bool ReadTextFile(const std::string& path, std::string* text);

// Reads `name` relative to the open directory `dirFd` into `buffer` (at most
// `capacity` - 1 bytes, NUL-terminated); returns the length, or -1. A read that
// does not fill the buffer is taken as the end of the file, which saves a
// system call per file on /proc's generated files.
long ReadSmallFileAt(int dirFd, const char* name, char* buffer, size_t capacity);

// A cursor over one line or field list.
class TextCursor {
 public:
  explicit TextCursor(std::string_view text) : text_(text) {}
  // The next run of non-blank characters (blanks: space, tab, newline), or empty.
  std::string_view Word();
  // The next word as an unsigned number; 0 when it is missing or not a number.
  uint64_t Unsigned();
  // The next word as a signed number; 0 when it is missing or not a number.
  int64_t Signed();
  // Skips `count` words.
  void Skip(int count);
  bool AtEnd();

 private:
  void SkipBlanks();
  std::string_view text_;
  size_t at_ = 0;
};

// The line of `text` that starts with `prefix` (without the prefix), or empty.
std::string_view LineStartingWith(std::string_view text, std::string_view prefix);

// Splits `text` into lines, calling `visit(line)` for each.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    visit(text.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace wl::perf
