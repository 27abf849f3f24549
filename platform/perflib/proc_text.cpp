#include "proc_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace wl::perf {

bool ReadTextFile(const std::string& path, std::string* text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text->clear();
  char buffer[16384];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    text->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return ok;
}

long ReadSmallFileAt(int dirFd, const char* name, char* buffer, size_t capacity) {
  if (capacity == 0) return -1;
  const int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  size_t length = 0;
  while (length + 1 < capacity) {
    const ssize_t n = read(fd, buffer + length, capacity - 1 - length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return -1;
    }
    if (n == 0) break;
    length += static_cast<size_t>(n);
    // The kernel hands out a generated file whole when the buffer can hold it,
    // and a regular file reads whole too: a read that leaves room is the last.
    if (length + 1 < capacity) break;
  }
  close(fd);
  buffer[length] = '\0';
  return static_cast<long>(length);
}

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
}  // namespace

void TextCursor::SkipBlanks() {
  while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
}

std::string_view TextCursor::Word() {
  SkipBlanks();
  const size_t start = at_;
  while (at_ < text_.size() && !IsBlank(text_[at_])) ++at_;
  return text_.substr(start, at_ - start);
}

uint64_t TextCursor::Unsigned() {
  const std::string_view word = Word();
  uint64_t value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

int64_t TextCursor::Signed() {
  std::string_view word = Word();
  const bool negative = !word.empty() && word[0] == '-';
  if (negative) word.remove_prefix(1);
  uint64_t value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

void TextCursor::Skip(int count) {
  for (int k = 0; k < count; ++k) Word();
}

bool TextCursor::AtEnd() {
  SkipBlanks();
  return at_ >= text_.size();
}

std::string_view LineStartingWith(std::string_view text, std::string_view prefix) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    if (line.substr(0, prefix.size()) == prefix) return line.substr(prefix.size());
    at = end + 1;
  }
  return {};
}

}  // namespace wl::perf
