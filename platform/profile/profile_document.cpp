#include "profile_document.h"

namespace wl {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  return c;
}

}  // namespace

std::u16string TrimBlanks(const std::u16string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

ProfileDocument::Line ProfileDocument::ParseLine(std::u16string text) {
  Line line;
  std::u16string trimmed = TrimBlanks(text);
  line.text = std::move(text);
  if (trimmed.empty() || trimmed[0] == u';') return line;
  if (trimmed[0] == u'[') {
    size_t close = trimmed.find(u']');
    line.kind = Line::kSection;
    line.name = TrimBlanks(
        trimmed.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1));
    return line;
  }
  line.kind = Line::kEntry;
  size_t equals = trimmed.find(u'=');
  if (equals == std::u16string::npos) {
    line.name = trimmed;
    return line;
  }
  line.name = TrimBlanks(trimmed.substr(0, equals));
  std::u16string value = TrimBlanks(trimmed.substr(equals + 1));
  if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  line.value = std::move(value);
  return line;
}

ProfileDocument::ProfileDocument(const std::u16string& text) {
  size_t start = 0;
  bool sawCrLf = false;
  bool sawLf = false;
  while (start < text.size()) {
    size_t end = text.find(u'\n', start);
    size_t next = end == std::u16string::npos ? text.size() : end + 1;
    size_t stop = end == std::u16string::npos ? text.size() : end;
    // Carriage returns end the line (stray ones too, and at the end of the file).
    bool carriageReturn = false;
    while (stop > start && text[stop - 1] == u'\r') {
      --stop;
      carriageReturn = true;
    }
    if (end != std::u16string::npos) (carriageReturn ? sawCrLf : sawLf) = true;
    lines_.push_back(ParseLine(text.substr(start, stop - start)));
    start = next;
  }
  newline_ = (sawLf && !sawCrLf) ? u"\n" : u"\r\n";
}

std::u16string ProfileDocument::Text() const {
  std::u16string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += newline_;
  }
  return text;
}

size_t ProfileDocument::FindSection(const std::u16string& section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Line::kSection && SameName(lines_[i].name, section)) return i;
  }
  return kNone;
}

size_t ProfileDocument::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Line::kSection) ++i;
  return i;
}

std::vector<std::u16string> ProfileDocument::SectionNames() const {
  std::vector<std::u16string> names;
  for (const Line& line : lines_) {
    if (line.kind == Line::kSection) names.push_back(line.name);
  }
  return names;
}

bool ProfileDocument::KeyNames(const std::u16string& section,
                               std::vector<std::u16string>* keys) const {
  size_t header = FindSection(section);
  if (header == kNone) return false;
  size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Line::kEntry) keys->push_back(lines_[i].name);
  }
  return true;
}

bool ProfileDocument::Value(const std::u16string& section, const std::u16string& key,
                            std::u16string* value) const {
  size_t header = FindSection(section);
  if (header == kNone) return false;
  size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Line::kEntry && SameName(lines_[i].name, key)) {
      *value = lines_[i].value;
      return true;
    }
  }
  return false;
}

void ProfileDocument::SetValue(const std::u16string& section, const std::u16string& key,
                               const std::u16string& value) {
  size_t header = FindSection(section);
  if (header == kNone) {
    lines_.push_back(ParseLine(u"[" + section + u"]"));
    lines_.push_back(ParseLine(key + u"=" + value));
    return;
  }
  size_t end = SectionEnd(header);
  size_t lastContent = header;
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Line::kEntry && SameName(lines_[i].name, key)) {
      lines_[i] = ParseLine(lines_[i].name + u"=" + value);
      return;
    }
    if (!TrimBlanks(lines_[i].text).empty()) lastContent = i;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent + 1),
                ParseLine(key + u"=" + value));
}

void ProfileDocument::DeleteKey(const std::u16string& section, const std::u16string& key) {
  size_t header = FindSection(section);
  if (header == kNone) return;
  size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Line::kEntry && SameName(lines_[i].name, key)) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void ProfileDocument::DeleteSection(const std::u16string& section) {
  for (size_t header = FindSection(section); header != kNone; header = FindSection(section)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
  }
}

}  // namespace wl
