// A profile (INI) file in memory, and the lookups and edits made on it.
// Internal to the platform library.
//
// Layout rules, as on Windows: a line whose first non-blank character is "["
// starts a section named by the text up to "]" (or the end of the line); a
// line starting with ";" is a comment; any other non-blank line in a section
// is an entry "key=value" (a line without "=" is a key with an empty value).
// Names and values are trimmed of blanks (space, tab); one pair of matching
// surrounding quotes (" or ') is removed from a value. Names are compared
// without regard to case (ASCII and Latin-1 letters). Lines before the first
// section belong to none. When a section or key appears twice, the first
// occurrence answers and is the one changed. Edits keep every other line of
// the file as it was.
// Thread safety: a document is a plain value; callers serialise access.
#pragma once

#include <string>
#include <vector>

namespace wl {

class ProfileDocument {
 public:
  // The text of the file without its byte-order mark, split into lines.
  explicit ProfileDocument(const std::u16string& text);

  // The file text again, lines ended by the file's own line ending ("\r\n"
  // when the file had none).
  std::u16string Text() const;

  std::vector<std::u16string> SectionNames() const;
  // False when the section does not exist.
  bool KeyNames(const std::u16string& section, std::vector<std::u16string>* keys) const;
  bool Value(const std::u16string& section, const std::u16string& key, std::u16string* value) const;

  // Sets key=value, creating the section and the key as needed.
  void SetValue(const std::u16string& section, const std::u16string& key,
                const std::u16string& value);
  void DeleteKey(const std::u16string& section, const std::u16string& key);
  // Deletes every section of that name with its entries.
  void DeleteSection(const std::u16string& section);

 private:
  struct Line {
    enum Kind { kOther, kSection, kEntry } kind = kOther;
    std::u16string name;   // section or key, trimmed
    std::u16string value;  // entries: trimmed and unquoted
    std::u16string text;   // the line as in the file, without its ending
  };

  static Line ParseLine(std::u16string text);
  // Index of the first header of the section, or npos.
  size_t FindSection(const std::u16string& section) const;
  // One past the last line of the section that starts at `header`.
  size_t SectionEnd(size_t header) const;

  std::vector<Line> lines_;
  std::u16string newline_;
};

// Trims blanks (space, tab) on both sides.
std::u16string TrimBlanks(const std::u16string& text);

// Compares names without regard to case.
bool SameName(const std::u16string& a, const std::u16string& b);

}  // namespace wl
