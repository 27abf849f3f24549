#include "host_path.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "memory/code_pages.h"
#include "win32/registry.h"

namespace wl {
namespace {

constexpr char kDosDevicesKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\DOS Devices";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::vector<std::string> SplitComponents(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (IsSeparator(c)) {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

// Appends `parts` to `root` (an absolute path), dropping "." and resolving
// ".." without climbing above `root`.
std::string JoinNormalised(const std::string& root, const std::vector<std::string>& parts,
                           bool* atRoot) {
  std::vector<std::string> kept;
  for (const std::string& part : parts) {
    if (part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  std::string result = root;
  for (const std::string& part : kept) {
    if (result.empty() || result.back() != '/') result.push_back('/');
    result += part;
  }
  if (atRoot) *atRoot = kept.empty();
  return result;
}

// A host directory, absolute (relative to the current directory when it is
// not), normalised, without a trailing "/" (except for "/" itself).
std::string NormaliseRoot(const std::string& directory) {
  std::vector<std::string> parts;
  if (directory.empty() || directory[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd)) != nullptr) parts = SplitComponents(cwd);
  }
  std::vector<std::string> more = SplitComponents(directory);
  parts.insert(parts.end(), more.begin(), more.end());
  return JoinNormalised("/", parts, nullptr);
}

bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

DWORD DriveDirectory(char letter, std::string* directory) {
  if (!IsDriveLetter(letter)) return ERROR_PATH_NOT_FOUND;
  char upper = static_cast<char>(letter & ~0x20);
  HKEY key = nullptr;
  std::string configured;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDosDevicesKey, 0, KEY_QUERY_VALUE, &key) ==
      ERROR_SUCCESS) {
    const char valueName[3] = {upper, ':', '\0'};
    char buffer[4096];
    DWORD type = 0;
    DWORD size = sizeof(buffer) - 1;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size <= sizeof(buffer) - 1) {
      buffer[size] = '\0';
      configured.assign(buffer, strnlen(buffer, size));
    }
    RegCloseKey(key);
  }
  if (configured.empty()) {
    if (upper != 'C') return ERROR_PATH_NOT_FOUND;
    configured = "/";
  }
  *directory = NormaliseRoot(configured);
  return ERROR_SUCCESS;
}

DWORD MapWindowsPath(const char* windowsPath, std::string* hostPath, bool* isDriveRoot) {
  if (windowsPath == nullptr || hostPath == nullptr) return ERROR_INVALID_PARAMETER;
  std::string text(windowsPath);
  if (text.empty()) return ERROR_PATH_NOT_FOUND;
  std::string root;
  std::string rest;
  bool hostSyntax = false;  // an absolute host path: ":" is an ordinary character
  bool relative = false;
  if (text.size() >= 2 && IsDriveLetter(text[0]) && text[1] == ':') {
    DWORD error = DriveDirectory(text[0], &root);
    if (error != ERROR_SUCCESS) return error;
    rest = text.substr(2);
  } else if (text[0] == '/') {
    root = "/";
    rest = text;
    hostSyntax = true;
  } else if (text[0] == '\\') {
    if (text.size() >= 2 && IsSeparator(text[1])) return ERROR_BAD_PATHNAME;
    DWORD error = DriveDirectory('C', &root);
    if (error != ERROR_SUCCESS) return error;
    rest = text;
  } else {
    root = "/";  // joined to the current directory below; ".." may leave it
    rest = text;
    relative = true;
  }
  std::vector<std::string> parts = SplitComponents(rest);
  for (const std::string& part : parts) {
    // A drive designator or a stream name inside a Windows path names nothing.
    if (!hostSyntax && part.find(':') != std::string::npos) return ERROR_INVALID_NAME;
  }
  if (relative) {
    std::vector<std::string> current = SplitComponents(NormaliseRoot("."));
    parts.insert(parts.begin(), current.begin(), current.end());
  }
  bool atRoot = false;
  *hostPath = JoinNormalised(root, parts, &atRoot);
  if (isDriveRoot) *isDriveRoot = atRoot;
  return ERROR_SUCCESS;
}

std::string ResolveNameCase(const std::string& absoluteHostPath) {
  if (absoluteHostPath.empty() || PathExists(absoluteHostPath)) return absoluteHostPath;
  std::vector<std::string> parts = SplitComponents(absoluteHostPath);
  std::string current = "/";
  size_t index = 0;
  for (; index < parts.size(); ++index) {
    std::string candidate = current == "/" ? "/" + parts[index] : current + "/" + parts[index];
    if (PathExists(candidate)) {
      current = std::move(candidate);
      continue;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(current.c_str()), closedir);
    if (!directory) break;
    std::string best;
    while (struct dirent* entry = readdir(directory.get())) {
      if (strcasecmp(entry->d_name, parts[index].c_str()) != 0) continue;
      if (best.empty() || strcmp(entry->d_name, best.c_str()) < 0) best = entry->d_name;
    }
    if (best.empty()) break;
    current = current == "/" ? "/" + best : current + "/" + best;
  }
  for (; index < parts.size(); ++index) {
    if (current.back() != '/') current.push_back('/');
    current += parts[index];
  }
  return current;
}

DWORD ResolveWindowsPath(const char* windowsPath, std::string* hostPath, bool* isDriveRoot) {
  std::string mapped;
  DWORD error = MapWindowsPath(windowsPath, &mapped, isDriveRoot);
  if (error != ERROR_SUCCESS) return error;
  *hostPath = ResolveNameCase(mapped);
  return ERROR_SUCCESS;
}

std::string NarrowPath(const WCHAR* widePath, bool* ok) {
  if (widePath == nullptr) {
    *ok = false;
    return std::string();
  }
  *ok = true;
  size_t length = 0;
  while (widePath[length] != 0) ++length;
  return EncodeCodePage(CodePage::kUtf8, widePath, length, '?');
}

std::string ParentDirectory(const std::string& hostPath) {
  size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

std::string LastComponent(const std::string& hostPath) {
  size_t slash = hostPath.find_last_of('/');
  return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

}  // namespace wl
