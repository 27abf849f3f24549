#include "reg_file.h"

#include <cctype>

#include "registry/name_case.h"

namespace wl::regfile {
namespace {

constexpr uint32_t kRegSz = 1, kRegExpandSz = 2, kRegDword = 4, kRegMultiSz = 7;

struct ParseError {
  int line;
  std::string reason;
};

std::string Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && (s[begin] == ' ' || s[begin] == '\t')) ++begin;
  while (end > begin && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
  return s.substr(begin, end - begin);
}

bool StartsWithNoCase(const std::string& s, size_t pos, const char* prefix) {
  for (size_t i = 0; prefix[i] != '\0'; ++i) {
    if (pos + i >= s.size() || std::tolower(static_cast<unsigned char>(s[pos + i])) != prefix[i]) {
      return false;
    }
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes the file to UTF-8 lines (without line ends).
std::vector<std::string> SplitLines(const std::string& bytes) {
  std::string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = text::Utf16LeBytesToUtf8(bytes.substr(2));
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = bytes.substr(3);
  } else {
    text = bytes;
  }
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// Reads a quoted string starting at s[*pos] == '"'; leaves *pos after the
// closing quote.
std::string ReadQuoted(const std::string& s, size_t* pos, int line) {
  std::string out;
  size_t i = *pos + 1;
  while (true) {
    if (i >= s.size()) throw ParseError{line, "missing closing quote"};
    const char c = s[i];
    if (c == '"') break;
    if (c == '\\') {
      if (i + 1 >= s.size()) throw ParseError{line, "missing closing quote"};
      const char next = s[i + 1];
      if (next != '\\' && next != '"') {
        throw ParseError{line, std::string("unknown escape \\") + next};
      }
      out.push_back(next);
      i += 2;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  *pos = i + 1;
  return out;
}

void ExpectEnd(const std::string& s, size_t pos, int line) {
  const std::string rest = Trim(s.substr(std::min(pos, s.size())));
  if (!rest.empty() && rest[0] != ';') throw ParseError{line, "unexpected text after the value"};
}

std::string ParseHexBytes(const std::string& list, int line) {
  std::string bytes;
  size_t pos = 0;
  while (pos < list.size()) {
    size_t comma = list.find(',', pos);
    if (comma == std::string::npos) comma = list.size();
    const std::string item = Trim(list.substr(pos, comma - pos));
    const bool last = comma == list.size();
    if (item.empty()) {
      // Only a trailing comma may leave an empty item.
      if (!last || bytes.empty()) throw ParseError{line, "missing hex byte"};
    } else {
      if (item.size() > 2) throw ParseError{line, "bad hex byte \"" + item + "\""};
      int value = 0;
      for (char c : item) {
        const int digit = HexDigit(c);
        if (digit < 0) throw ParseError{line, "bad hex byte \"" + item + "\""};
        value = value * 16 + digit;
      }
      bytes.push_back(static_cast<char>(value));
    }
    pos = comma + 1;
  }
  return bytes;
}

}  // namespace

bool SplitKeyName(const std::string& key, std::string* root, std::string* subKey) {
  static const struct {
    const char* full;
    const char* shortName;
  } kRoots[] = {{"HKEY_LOCAL_MACHINE", "HKLM"},
                {"HKEY_CURRENT_USER", "HKCU"},
                {"HKEY_CLASSES_ROOT", "HKCR"},
                {"HKEY_USERS", "HKU"}};
  const size_t slash = key.find('\\');
  const std::string first = key.substr(0, slash);
  for (const auto& candidate : kRoots) {
    if (text::FoldCase(first) == candidate.full || text::FoldCase(first) == candidate.shortName) {
      *root = candidate.full;
      *subKey = slash == std::string::npos ? std::string() : key.substr(slash + 1);
      return true;
    }
  }
  return false;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

ParseResult Parse(const std::string& fileBytes) {
  ParseResult result;
  const std::vector<std::string> lines = SplitLines(fileBytes);
  try {
    size_t index = 0;
    while (index < lines.size() && Trim(lines[index]).empty()) ++index;
    if (index == lines.size()) throw ParseError{1, "empty file"};
    const std::string header = Trim(lines[index]);
    if (header == kRegedit4Header) {
      result.format = Format::kRegedit4;
    } else if (header == kVersion5Header) {
      result.format = Format::kVersion5;
    } else {
      throw ParseError{static_cast<int>(index + 1),
                       "not a registration file (first line must be \"" +
                           std::string(kVersion5Header) + "\" or \"REGEDIT4\")"};
    }
    const bool wideStrings = result.format == Format::kVersion5;

    bool haveKey = false, keyDeleted = false;
    std::string root, subKey;
    for (++index; index < lines.size(); ++index) {
      const int lineNumber = static_cast<int>(index + 1);
      const std::string line = Trim(lines[index]);
      if (line.empty() || line[0] == ';') continue;

      if (line[0] == '[') {
        const size_t close = line.rfind(']');
        if (close == std::string::npos) throw ParseError{lineNumber, "missing ] after key name"};
        ExpectEnd(line, close + 1, lineNumber);
        std::string key = line.substr(1, close - 1);
        keyDeleted = !key.empty() && key[0] == '-';
        if (keyDeleted) key.erase(0, 1);
        if (!SplitKeyName(key, &root, &subKey)) {
          throw ParseError{lineNumber, "unknown root key in \"" + key + "\""};
        }
        haveKey = true;
        Operation op;
        op.kind = keyDeleted ? Operation::kDeleteKey : Operation::kCreateKey;
        op.root = root;
        op.subKey = subKey;
        op.line = lineNumber;
        result.operations.push_back(std::move(op));
        continue;
      }

      if (line[0] != '"' && line[0] != '@') {
        throw ParseError{lineNumber, "expected [key], \"name\"=value or @=value"};
      }
      if (!haveKey) throw ParseError{lineNumber, "value outside a key"};
      if (keyDeleted) throw ParseError{lineNumber, "value under a key being deleted"};

      Operation op;
      op.root = root;
      op.subKey = subKey;
      op.line = lineNumber;
      size_t pos = 0;
      if (line[0] == '@') {
        pos = 1;
      } else {
        op.name = ReadQuoted(line, &pos, lineNumber);
      }
      while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
      if (pos >= line.size() || line[pos] != '=') throw ParseError{lineNumber, "missing ="};
      ++pos;
      while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;

      if (pos < line.size() && line[pos] == '-') {
        op.kind = Operation::kDeleteValue;
        ExpectEnd(line, pos + 1, lineNumber);
      } else if (pos < line.size() && line[pos] == '"') {
        op.kind = Operation::kSetValue;
        op.type = kRegSz;
        op.data = ReadQuoted(line, &pos, lineNumber);
        op.data.push_back('\0');
        ExpectEnd(line, pos, lineNumber);
      } else if (StartsWithNoCase(line, pos, "dword:")) {
        op.kind = Operation::kSetValue;
        op.type = kRegDword;
        const std::string digits = Trim(line.substr(pos + 6));
        const size_t comment = digits.find(';');
        const std::string number = Trim(digits.substr(0, comment));
        if (number.empty() || number.size() > 8) {
          throw ParseError{lineNumber, "dword: needs 1 to 8 hex digits"};
        }
        uint32_t value = 0;
        for (char c : number) {
          const int digit = HexDigit(c);
          if (digit < 0) throw ParseError{lineNumber, "bad hex digit in dword"};
          value = value * 16 + static_cast<uint32_t>(digit);
        }
        for (int i = 0; i < 4; ++i) op.data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
      } else if (StartsWithNoCase(line, pos, "hex")) {
        op.kind = Operation::kSetValue;
        pos += 3;
        uint32_t type = 3;  // REG_BINARY
        if (pos < line.size() && line[pos] == '(') {
          const size_t close = line.find(')', pos);
          if (close == std::string::npos || close == pos + 1 || close - pos - 1 > 8) {
            throw ParseError{lineNumber, "bad hex(type)"};
          }
          type = 0;
          for (size_t i = pos + 1; i < close; ++i) {
            const int digit = HexDigit(line[i]);
            if (digit < 0) throw ParseError{lineNumber, "bad hex(type)"};
            type = type * 16 + static_cast<uint32_t>(digit);
          }
          pos = close + 1;
        }
        if (pos >= line.size() || line[pos] != ':')
          throw ParseError{lineNumber, "missing : after hex"};
        // The byte list, continued over lines that end in a backslash.
        std::string segment = Trim(line.substr(pos + 1));
        int segmentLine = lineNumber;
        while (true) {
          const bool continued = !segment.empty() && segment.back() == '\\';
          if (continued) segment.pop_back();
          op.data += ParseHexBytes(segment, segmentLine);
          if (!continued) break;
          if (++index >= lines.size()) {
            throw ParseError{segmentLine, "file ends inside a continued line"};
          }
          segment = Trim(lines[index]);
          segmentLine = static_cast<int>(index + 1);
        }
        op.type = type;
        op.wide = wideStrings && (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz);
      } else {
        throw ParseError{lineNumber, "unknown value data"};
      }
      result.operations.push_back(std::move(op));
    }
    result.ok = true;
  } catch (const ParseError& e) {
    result.ok = false;
    result.operations.clear();
    result.errorLine = e.line;
    result.error = e.reason;
  }
  return result;
}

}  // namespace wl::regfile
