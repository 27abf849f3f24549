#include "unit_file.h"

#include "text.h"

namespace wl::host {

UnitInfo ParseUnitFile(std::string_view text) {
  UnitInfo info;
  std::string section;
  std::string logical;
  bool haveExec = false;
  const auto handle = [&](std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') return;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      section = std::string(line.substr(1, close == std::string_view::npos ? 0 : close - 1));
      return;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = Trim(line.substr(0, equals));
    std::string_view value = Trim(line.substr(equals + 1));
    if (section == "Unit" && key == "Description") {
      info.description = value;
    } else if (section == "Service" && key == "ExecStart") {
      if (value.empty()) {
        info.execStart.clear();
        haveExec = false;
        return;
      }
      if (haveExec) return;
      while (!value.empty() &&
             (value.front() == '@' || value.front() == '-' || value.front() == ':' ||
              value.front() == '+' || value.front() == '!')) {
        value.remove_prefix(1);
      }
      info.execStart = Trim(value);
      haveExec = true;
    }
  };
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.back() == '\\' && trimmed.front() != '#' &&
        trimmed.front() != ';') {
      logical.append(Trim(trimmed.substr(0, trimmed.size() - 1)));
      logical.push_back(' ');
      continue;
    }
    if (!logical.empty() && !trimmed.empty() &&
        (trimmed.front() == '#' || trimmed.front() == ';')) {
      continue;  // comments inside a continued line are dropped
    }
    if (logical.empty()) {
      logical.append(line);
    } else {
      logical.append(trimmed);
    }
    handle(logical);
    logical.clear();
  }
  if (!logical.empty()) handle(logical);
  return info;
}

std::string CommandProgram(std::string_view command) {
  command = Trim(command);
  if (!command.empty() && (command.front() == '"' || command.front() == '\'')) {
    const char quote = command.front();
    const size_t close = command.find(quote, 1);
    return std::string(
        command.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  }
  const std::vector<std::string_view> words = Words(command);
  return words.empty() ? std::string() : std::string(words.front());
}

}  // namespace wl::host
