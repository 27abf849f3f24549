#include "progman.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/system_prefix.h"

namespace wl::dde {
namespace {

constexpr size_t kMaxArgument = 255;
constexpr size_t kMaxArguments = 16;

std::string FirstDir(const char* variable, const std::string& fallback) {
  const char* value = std::getenv(variable);
  if (value == nullptr || value[0] == '\0') return core::SystemPath(fallback);
  std::string list(value);
  return list.substr(0, list.find(':'));
}

std::string MenusDir() {
  return FirstDir("XDG_CONFIG_DIRS", "etc/xdg") + "/menus/applications-merged";
}
std::string DataDir() { return FirstDir("XDG_DATA_DIRS", "usr/share"); }
std::string ActiveFile() { return MenusDir() + "/.wardenline-progman-active"; }
std::string MenuFile(const std::string& id) { return MenusDir() + "/wardenline-" + id + ".menu"; }
std::string DirectoryFile(const std::string& id) {
  return DataDir() + "/desktop-directories/wardenline-" + id + ".directory";
}
std::string ItemFile(const std::string& groupId, const std::string& itemId) {
  return DataDir() + "/applications/wardenline-" + groupId + "-" + itemId + ".desktop";
}

bool MakeDirs(const std::string& path) {
  for (size_t p = 1; p <= path.size(); ++p) {
    if (p == path.size() || path[p] == '/') {
      const std::string part = path.substr(0, p);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The whole file or nothing: a temporary beside it, renamed over it.
bool WriteWhole(const std::string& path, const std::string& text) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || !MakeDirs(path.substr(0, slash))) return false;
  const std::string temporary = path + ".tmp";
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == text.size() && fsync(fd) == 0;
  close(fd);
  if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool ReadSmall(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char buffer[1024];
  in.read(buffer, sizeof buffer);
  text->assign(buffer, static_cast<size_t>(in.gcount()));
  return true;
}

std::string Xml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A desktop entry string value: backslash escaped (control characters were
// refused by the parser).
std::string EntryValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

// The Exec key: "%" doubled, then escaped as a string value.
std::string ExecValue(const std::string& command) {
  std::string out;
  for (char c : command) {
    if (c == '%')
      out += "%%";
    else
      out += c;
  }
  return EntryValue(out);
}

// Active group as stored: its exact name.
bool ActiveGroup(std::string* name) {
  if (!ReadSmall(ActiveFile(), name) || name->empty()) return false;
  return Exists(MenuFile(NameId(*name)));
}

bool SetActive(const std::string& name) { return WriteWhole(ActiveFile(), name); }

bool CreateGroup(const std::string& name) {
  const std::string id = NameId(name);
  if (!Exists(MenuFile(id))) {
    const std::string directory =
        "[Desktop Entry]\nType=Directory\nName=" + EntryValue(name) + "\n";
    const std::string menu =
        "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/menu-spec/menu-1.0.dtd\">\n"
        "<Menu>\n  <Name>Applications</Name>\n  <Menu>\n    <Name>" +
        Xml(name) + "</Name>\n    <Directory>wardenline-" + id +
        ".directory</Directory>\n    <Include><Category>X-Wardenline-" + id +
        "</Category></Include>\n  </Menu>\n</Menu>\n";
    // The directory entry first: a menu file never names a missing one.
    if (!WriteWhole(DirectoryFile(id), directory) || !WriteWhole(MenuFile(id), menu)) return false;
  }
  return SetActive(name);
}

bool ShowGroup(const std::string& name) {
  if (!Exists(MenuFile(NameId(name)))) return false;
  return SetActive(name);
}

bool AddItem(const std::vector<std::string>& arguments) {
  std::string group;
  if (!ActiveGroup(&group)) return false;
  const std::string& command = arguments[0];
  std::string name = arguments.size() > 1 && !arguments[1].empty() ? arguments[1] : "";
  if (name.empty()) {
    std::string program = command.substr(0, command.find(' '));
    const size_t slash = program.find_last_of("/\\");
    name = slash == std::string::npos ? program : program.substr(slash + 1);
  }
  if (name.empty()) return false;
  const std::string groupId = NameId(group);
  const std::string entry = "[Desktop Entry]\nType=Application\nName=" + EntryValue(name) +
                            "\nExec=" + ExecValue(command) + "\nCategories=X-Wardenline-" +
                            groupId + ";\nTerminal=false\n";
  return WriteWhole(ItemFile(groupId, NameId(name)), entry);
}

bool DeleteItem(const std::string& name) {
  std::string group;
  if (!ActiveGroup(&group)) return false;
  return unlink(ItemFile(NameId(group), NameId(name)).c_str()) == 0;
}

bool DeleteGroup(const std::string& name) {
  const std::string id = NameId(name);
  if (!Exists(MenuFile(id))) return false;
  // Items left in the group go with it, as Program Manager deletes a group
  // with its contents.
  const std::string prefix = "wardenline-" + id + "-";
  const std::string applications = DataDir() + "/applications";
  if (DIR* dir = opendir(applications.c_str())) {
    std::vector<std::string> doomed;
    while (dirent* e = readdir(dir)) {
      const std::string file = e->d_name;
      if (file.compare(0, prefix.size(), prefix) == 0 && file.size() > 8 &&
          file.compare(file.size() - 8, 8, ".desktop") == 0) {
        doomed.push_back(applications + "/" + file);
      }
    }
    closedir(dir);
    for (const auto& path : doomed) unlink(path.c_str());
  }
  if (unlink(MenuFile(id).c_str()) != 0) return false;
  unlink(DirectoryFile(id).c_str());
  std::string active;
  if (ReadSmall(ActiveFile(), &active) && active == name) unlink(ActiveFile().c_str());
  return true;
}

bool Named(const ProgmanCommand& c, const char* name) {
  return strcasecmp(c.name.c_str(), name) == 0;
}

}  // namespace

std::string NameId(const std::string& name) {
  std::string slug;
  for (unsigned char c : name) {
    if (slug.size() >= 32) break;
    if (isalnum(c))
      slug += static_cast<char>(tolower(c));
    else if (!slug.empty() && slug.back() != '-')
      slug += '-';
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  char hex[9];
  snprintf(hex, sizeof hex, "%08x", hash);
  return (slug.empty() ? "x" : slug) + "-" + hex;
}

bool ParseCommands(const std::string& text, std::vector<ProgmanCommand>* commands) {
  commands->clear();
  std::vector<ProgmanCommand> parsed;
  size_t p = 0;
  auto blanks = [&] {
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
  };
  for (unsigned char c : text) {
    if (c < 0x20 && c != '\t') return false;
  }
  blanks();
  if (p == text.size()) return false;
  while (p < text.size()) {
    if (text[p] != '[') return false;
    ++p;
    ProgmanCommand command;
    while (p < text.size() && isalpha(static_cast<unsigned char>(text[p])))
      command.name += text[p++];
    if (command.name.empty()) return false;
    blanks();
    if (p < text.size() && text[p] == '(') {
      ++p;
      while (true) {
        blanks();
        std::string argument;
        if (p < text.size() && text[p] == '"') {
          const size_t end = text.find('"', p + 1);
          if (end == std::string::npos) return false;
          argument = text.substr(p + 1, end - p - 1);
          p = end + 1;
          blanks();
        } else {
          while (p < text.size() && text[p] != ',' && text[p] != ')') argument += text[p++];
          while (!argument.empty() && (argument.back() == ' ' || argument.back() == '\t'))
            argument.pop_back();
        }
        if (argument.size() > kMaxArgument || command.arguments.size() >= kMaxArguments)
          return false;
        command.arguments.push_back(argument);
        if (p >= text.size()) return false;
        if (text[p] == ')') {
          ++p;
          break;
        }
        if (text[p] != ',') return false;
        ++p;
      }
    }
    blanks();
    if (p >= text.size() || text[p] != ']') return false;
    ++p;
    blanks();
    const size_t n = command.arguments.size();
    const bool firstGiven = n >= 1 && !command.arguments[0].empty();
    bool ok = false;
    if (Named(command, "CreateGroup") || Named(command, "DeleteGroup"))
      ok = firstGiven && n <= 2;
    else if (Named(command, "ShowGroup"))
      ok = firstGiven && n <= 2;
    else if (Named(command, "AddItem"))
      ok = firstGiven;
    else if (Named(command, "DeleteItem"))
      ok = firstGiven && n == 1;
    if (!ok) return false;
    parsed.push_back(std::move(command));
  }
  *commands = std::move(parsed);
  return true;
}

bool RunCommands(const std::vector<ProgmanCommand>& commands) {
  for (const auto& c : commands) {
    bool ok = false;
    if (Named(c, "CreateGroup"))
      ok = CreateGroup(c.arguments[0]);
    else if (Named(c, "ShowGroup"))
      ok = ShowGroup(c.arguments[0]);
    else if (Named(c, "AddItem"))
      ok = AddItem(c.arguments);
    else if (Named(c, "DeleteItem"))
      ok = DeleteItem(c.arguments[0]);
    else if (Named(c, "DeleteGroup"))
      ok = DeleteGroup(c.arguments[0]);
    if (!ok) return false;
  }
  return true;
}

}  // namespace wl::dde
