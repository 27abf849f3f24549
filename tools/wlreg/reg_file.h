// Registration (.reg) files: the parser and the pieces of their syntax shared
// with the writer. Pure functions over text; no registry access, no state.
//
// Accepted: a first line "REGEDIT4" or "Windows Registry Editor Version 5.00";
// "[key]" and "[-key]" (delete with everything below); "name"=... and @=...
// with "text", dword:XXXXXXXX, hex:.., hex(N):.. and - (delete the value);
// hex data continued over lines with a trailing backslash; \\ and \" escapes
// in quoted names and texts; blank lines and ';' comments. The file may be
// UTF-8 (with or without a byte-order mark) or UTF-16LE with a byte-order mark.
// In a "5.00" file hex(1), hex(2) and hex(7) data is UTF-16LE; in a REGEDIT4
// file it is 8-bit text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wl::regfile {

enum class Format { kRegedit4, kVersion5 };

constexpr const char* kRegedit4Header = "REGEDIT4";
constexpr const char* kVersion5Header = "Windows Registry Editor Version 5.00";

struct Operation {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kCreateKey;
  std::string root;    // canonical root name, e.g. "HKEY_LOCAL_MACHINE"
  std::string subKey;  // path below the root, may be empty
  std::string name;    // value name (UTF-8); "" is the default value
  uint32_t type = 0;   // registry value type
  std::string data;    // bytes as RegSetValueEx takes them
  bool wide = false;   // data is UTF-16LE (for the W function), else 8-bit
  int line = 0;        // 1-based line where the operation starts
};

struct ParseResult {
  bool ok = false;
  Format format = Format::kVersion5;
  std::vector<Operation> operations;
  int errorLine = 0;  // when !ok
  std::string error;  // when !ok: the reason
};

// Parses a whole file. Never throws; bad input gives ok == false with the line
// and the reason, and no operations.
ParseResult Parse(const std::string& fileBytes);

// Splits "HKEY_LOCAL_MACHINE\a\b" or "HKLM\a\b" into the canonical root name
// and the rest. False for an unknown root.
bool SplitKeyName(const std::string& key, std::string* root, std::string* subKey);

// Quotes and escapes a name or text as the files write it.
std::string Quote(const std::string& text);

}  // namespace wl::regfile
