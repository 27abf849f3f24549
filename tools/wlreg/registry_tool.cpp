#include "registry_tool.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "reg_writer.h"
#include "registry/name_case.h"
#include "registry/registry_store.h"
#include "win32/registry.h"

namespace wl::regtool {
namespace {

// Names of keys are at most 255 UTF-16 units, so at most 765 UTF-8 bytes.
constexpr DWORD kKeyNameBuffer = 1024;

// An open key closed on scope exit (predefined keys are left alone by
// RegCloseKey anyway).
class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

HKEY RootHandle(const std::string& root) {
  if (root == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  if (root == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (root == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
  return HKEY_USERS;
}

// Splits a key name from the command line; prints the reason on failure.
bool ParseKey(const std::string& key, HKEY* root, std::string* rootName, std::string* subKey,
              std::ostream& err) {
  if (!regfile::SplitKeyName(key, rootName, subKey)) {
    err << "wlreg: " << key << ": unknown root key (use HKEY_LOCAL_MACHINE\\..., HKLM\\...)\n";
    return false;
  }
  *root = RootHandle(*rootName);
  return true;
}

bool NamesOnlyTheRoot(const std::string& subKey) {
  return subKey.find_first_not_of('\\') == std::string::npos;
}

std::string FullName(const std::string& rootName, const std::string& subKey) {
  return subKey.empty() ? rootName : rootName + "\\" + subKey;
}

// Deletes `subKey` of `parent` with everything below it, deepest keys first.
// The walk keeps its own stack of open keys (one per level), so a tree of any
// depth, even one stored beyond the registry's limit, is deleted.
LONG DeleteTree(HKEY parent, const std::string& subKey) {
  struct Level {
    KeyHandle key;
    std::string name;  // relative to the level above (or to `parent`)
  };
  std::vector<std::unique_ptr<Level>> levels;
  auto open = [&](HKEY above, const std::string& name) {
    auto level = std::make_unique<Level>();
    level->name = name;
    const LONG rc = RegOpenKeyExA(above, name.c_str(), 0, KEY_ALL_ACCESS, level->key.Out());
    if (rc == ERROR_SUCCESS) levels.push_back(std::move(level));
    return rc;
  };
  LONG rc = open(parent, subKey);
  while (rc == ERROR_SUCCESS && !levels.empty()) {
    char name[kKeyNameBuffer];
    DWORD count = sizeof name;
    rc = RegEnumKeyExA(levels.back()->key.Get(), 0, name, &count, nullptr, nullptr, nullptr,
                       nullptr);
    if (rc == ERROR_SUCCESS) {
      rc = open(levels.back()->key.Get(), std::string(name, count));
    } else if (rc == ERROR_NO_MORE_ITEMS) {
      const std::string leaf = levels.back()->name;
      levels.pop_back();  // closes the key
      rc = RegDeleteKeyA(levels.empty() ? parent : levels.back()->key.Get(), leaf.c_str());
    }
  }
  return rc;
}

LONG ApplyOperation(const regfile::Operation& op) {
  const HKEY root = RootHandle(op.root);
  switch (op.kind) {
    case regfile::Operation::kCreateKey: {
      KeyHandle key;
      return RegCreateKeyExA(root, op.subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             key.Out(), nullptr);
    }
    case regfile::Operation::kDeleteKey: {
      if (NamesOnlyTheRoot(op.subKey)) return ERROR_ACCESS_DENIED;
      const LONG rc = DeleteTree(root, op.subKey);
      return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
    }
    case regfile::Operation::kSetValue: {
      KeyHandle key;
      LONG rc = RegCreateKeyExA(root, op.subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                key.Out(), nullptr);
      if (rc != ERROR_SUCCESS) return rc;
      const BYTE* data = reinterpret_cast<const BYTE*>(op.data.data());
      const DWORD size = static_cast<DWORD>(op.data.size());
      if (op.wide) {
        const std::u16string name = text::Utf8ToUtf16(op.name, text::kRegistryText);
        return RegSetValueExW(key.Get(), name.c_str(), 0, op.type, data, size);
      }
      return RegSetValueExA(key.Get(), op.name.c_str(), 0, op.type, data, size);
    }
    case regfile::Operation::kDeleteValue: {
      KeyHandle key;
      LONG rc = RegOpenKeyExA(root, op.subKey.c_str(), 0, KEY_ALL_ACCESS, key.Out());
      if (rc == ERROR_SUCCESS) rc = RegDeleteValueA(key.Get(), op.name.c_str());
      return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
    }
  }
  return ERROR_INVALID_PARAMETER;
}

struct ValueEntry {
  std::string name;  // UTF-8
  DWORD type = 0;
  std::string data;  // as the form asked returns it
};

// Every value of a key, read with the W functions (wide) or the A functions.
LONG ReadValues(HKEY key, bool wide, std::vector<ValueEntry>* values) {
  DWORD count = 0, longestName = 0, largestData = 0;
  LONG rc = wide ? RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &count, &longestName, &largestData, nullptr, nullptr)
                 : RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &count, &longestName, &largestData, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  for (DWORD i = 0; i < count; ++i) {
    ValueEntry entry;
    std::string data(largestData, '\0');
    DWORD size = largestData;
    DWORD nameCount = longestName + 1;
    if (wide) {
      std::u16string name(nameCount, u'\0');
      rc = RegEnumValueW(key, i, name.data(), &nameCount, nullptr, &entry.type,
                         reinterpret_cast<BYTE*>(data.data()), &size);
      entry.name = text::Utf16ToUtf8(name.data(), nameCount);
    } else {
      std::string name(nameCount, '\0');
      rc = RegEnumValueA(key, i, name.data(), &nameCount, nullptr, &entry.type,
                         reinterpret_cast<BYTE*>(data.data()), &size);
      entry.name = name.substr(0, nameCount);
    }
    if (rc != ERROR_SUCCESS) return rc;
    entry.data = data.substr(0, size);
    values->push_back(std::move(entry));
  }
  return ERROR_SUCCESS;
}

LONG SubkeyNames(HKEY key, std::vector<std::string>* names) {
  for (DWORD i = 0;; ++i) {
    char name[kKeyNameBuffer];
    DWORD count = sizeof name;
    const LONG rc = RegEnumKeyExA(key, i, name, &count, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    names->push_back(std::string(name, count));
  }
}

LONG ExportOne(HKEY key, const std::string& fullName, bool isRoot, regfile::Format format,
               std::ostream& out) {
  std::vector<ValueEntry> values;
  LONG rc = ReadValues(key, format == regfile::Format::kVersion5, &values);
  if (rc != ERROR_SUCCESS) return rc;
  if (!isRoot || !values.empty()) {
    out << "[" << fullName << "]\n";
    for (const ValueEntry& value : values) {
      out << regfile::FormatValue(value.name, value.type, value.data, format);
    }
    out << "\n";
  }
  return ERROR_SUCCESS;
}

// Writes `key` and its subtree, parents before children, in enumeration order.
// The walk keeps its own stack (one open key per level) and refuses a tree
// deeper than the registry allows (ERROR_BADDB), whose text could not be read
// back.
LONG ExportKey(HKEY key, const std::string& fullName, bool isRoot, regfile::Format format,
               std::ostream& out) {
  struct Level {
    KeyHandle owned;  // closed when the level is left; empty for `key` itself
    HKEY key = nullptr;
    std::string fullName;
    std::vector<std::string> subkeys;
    size_t next = 0;
  };
  std::vector<std::unique_ptr<Level>> levels;
  auto enter = [&](std::unique_ptr<Level> level, bool root) {
    LONG rc = ExportOne(level->key, level->fullName, root, format, out);
    if (rc == ERROR_SUCCESS) rc = SubkeyNames(level->key, &level->subkeys);
    if (rc == ERROR_SUCCESS) levels.push_back(std::move(level));
    return rc;
  };
  auto first = std::make_unique<Level>();
  first->key = key;
  first->fullName = fullName;
  LONG rc = enter(std::move(first), isRoot);
  while (rc == ERROR_SUCCESS && !levels.empty()) {
    Level& top = *levels.back();
    if (top.next == top.subkeys.size()) {
      levels.pop_back();
      continue;
    }
    if (levels.size() > reg::kMaxKeyDepth) return ERROR_BADDB;
    const std::string& name = top.subkeys[top.next++];
    auto child = std::make_unique<Level>();
    rc = RegOpenKeyExA(top.key, name.c_str(), 0, KEY_READ, child->owned.Out());
    if (rc != ERROR_SUCCESS) break;
    child->key = child->owned.Get();
    child->fullName = top.fullName + "\\" + name;
    rc = enter(std::move(child), false);
  }
  return rc;
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    default:
      return "REG_0x" + [&] {
        char text[16];
        snprintf(text, sizeof text, "%X", type);
        return std::string(text);
      }();
  }
}

// A value as `query` shows it (8-bit data of the A functions).
std::string ShowValue(const ValueEntry& value) {
  std::string shown;
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = 0;
    memcpy(&number, value.data.data(), 4);
    char text[16];
    snprintf(text, sizeof text, "0x%x", number);
    shown = text;
  } else if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
    shown = value.data.substr(0, value.data.find('\0'));
  } else if (value.type == REG_MULTI_SZ) {
    std::string data = value.data;
    while (!data.empty() && data.back() == '\0') data.pop_back();
    for (char c : data) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
  } else {
    for (unsigned char c : value.data) {
      char text[4];
      snprintf(text, sizeof text, "%02X", c);
      shown += text;
    }
  }
  return "    " + (value.name.empty() ? std::string("(Default)") : value.name) + "    " +
         TypeName(value.type) + "    " + shown + "\n";
}

bool ParseType(const std::string& text, DWORD* type) {
  std::string upper;
  for (char c : text) upper.push_back(static_cast<char>(toupper(static_cast<unsigned char>(c))));
  static const struct {
    const char* name;
    DWORD type;
  } kTypes[] = {
      {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_MULTI_SZ", REG_MULTI_SZ},
      {"REG_DWORD", REG_DWORD}, {"REG_BINARY", REG_BINARY},       {"REG_NONE", REG_NONE}};
  for (const auto& candidate : kTypes) {
    if (upper == candidate.name) {
      *type = candidate.type;
      return true;
    }
  }
  return false;
}

bool ParseData(DWORD type, const std::string& text, std::string* data, std::string* reason) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      *data = text + '\0';
      return true;
    case REG_MULTI_SZ: {
      size_t start = 0;
      data->clear();
      while (true) {
        const size_t mark = text.find("\\0", start);
        const std::string item = text.substr(start, mark - start);
        if (!item.empty()) *data += item + '\0';
        if (mark == std::string::npos) break;
        start = mark + 2;
      }
      *data += '\0';
      return true;
    }
    case REG_DWORD: {
      errno = 0;
      char* end = nullptr;
      const unsigned long long number = strtoull(text.c_str(), &end, 0);
      if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || number > 0xFFFFFFFFull) {
        *reason = "not a 32-bit number: " + text;
        return false;
      }
      const DWORD value = static_cast<DWORD>(number);
      data->assign(reinterpret_cast<const char*>(&value), 4);
      return true;
    }
    default: {
      std::string digits;
      for (char c : text) {
        if (c == ',' || c == ' ') continue;
        if (!isxdigit(static_cast<unsigned char>(c))) {
          *reason = "not hex data: " + text;
          return false;
        }
        digits.push_back(c);
      }
      if (digits.size() % 2 != 0) {
        *reason = "odd number of hex digits: " + text;
        return false;
      }
      data->clear();
      for (size_t i = 0; i < digits.size(); i += 2) {
        data->push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
      }
      return true;
    }
  }
}

}  // namespace

std::string ErrorText(long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return "not found";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_INVALID_PARAMETER:
      return "invalid parameter";
    case ERROR_KEY_DELETED:
      return "the key was deleted";
    case ERROR_BADDB:
      return "the registry database is damaged or not a registry database (or holds keys deeper "
             "than 512 levels)";
    case ERROR_REGISTRY_IO_FAILED:
      return "the registry database cannot be opened or written";
    case ERROR_DISK_FULL:
      return "disk full";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "not enough memory";
    default:
      return "error " + std::to_string(code);
  }
}

int Import(const std::string& fileName, std::ostream& err) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) {
    err << "wlreg: " << fileName << ": cannot read: " << strerror(errno) << "\n";
    return 1;
  }
  std::stringstream bytes;
  bytes << file.rdbuf();
  const regfile::ParseResult parsed = regfile::Parse(bytes.str());
  if (!parsed.ok) {
    err << fileName << ":" << parsed.errorLine << ": " << parsed.error << "\n";
    return 1;
  }
  int failedLine = 0;
  const LONG rc = RunInRegistryTransaction([&]() -> LONG {
    for (const regfile::Operation& op : parsed.operations) {
      const LONG result = ApplyOperation(op);
      if (result != ERROR_SUCCESS) {
        failedLine = op.line;
        return result;
      }
    }
    return ERROR_SUCCESS;
  });
  if (rc != ERROR_SUCCESS) {
    err << fileName << ":" << failedLine << ": " << ErrorText(rc) << "; nothing imported\n";
    return 1;
  }
  return 0;
}

LONG ExportTree(const std::string& key, HKEY root, const std::string& rootName,
                const std::string& subKey, regfile::Format format, std::ostream& text);

int Export(const std::string& key, regfile::Format format, std::ostream& out, std::ostream& err) {
  std::ostringstream text;
  text << regfile::Header(format) << "\n";
  LONG rc = ERROR_SUCCESS;
  HKEY root = nullptr;
  std::string rootName, subKey;
  if (!key.empty() && !ParseKey(key, &root, &rootName, &subKey, err)) return 2;
  rc = RunInRegistrySnapshot(
      [&]() -> LONG { return ExportTree(key, root, rootName, subKey, format, text); });
  if (rc != ERROR_SUCCESS) {
    err << "wlreg: export " << key << ": " << ErrorText(rc) << "\n";
    return 1;
  }
  out << text.str();
  return 0;
}

LONG ExportTree(const std::string& key, HKEY root, const std::string& rootName,
                const std::string& subKey, regfile::Format format, std::ostream& text) {
  LONG rc = ERROR_SUCCESS;
  if (key.empty()) {
    for (const char* name :
         {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS"}) {
      if ((rc = ExportKey(RootHandle(name), name, true, format, text)) != ERROR_SUCCESS) {
        break;
      }
    }
  } else {
    KeyHandle handle;
    rc = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, handle.Out());
    if (rc == ERROR_SUCCESS) {
      rc = ExportKey(handle.Get(), FullName(rootName, subKey), false, format, text);
    }
  }
  return rc;
}

int Query(const std::string& key, const std::string* valueName, std::ostream& out,
          std::ostream& err) {
  HKEY root = nullptr;
  std::string rootName, subKey;
  if (!ParseKey(key, &root, &rootName, &subKey, err)) return 2;
  KeyHandle handle;
  LONG rc = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, handle.Out());
  std::vector<ValueEntry> values;
  std::vector<std::string> subkeys;
  if (rc == ERROR_SUCCESS) rc = ReadValues(handle.Get(), false, &values);
  if (rc == ERROR_SUCCESS && valueName == nullptr) rc = SubkeyNames(handle.Get(), &subkeys);
  if (rc != ERROR_SUCCESS) {
    err << "wlreg: " << key << ": " << ErrorText(rc) << "\n";
    return 1;
  }
  if (valueName != nullptr) {
    const std::string wanted = text::FoldCase(*valueName);
    for (const ValueEntry& value : values) {
      if (text::FoldCase(value.name) == wanted) {
        out << ShowValue(value);
        return 0;
      }
    }
    err << "wlreg: " << key << ": no value \"" << *valueName << "\"\n";
    return 1;
  }
  const std::string fullName = FullName(rootName, subKey);
  out << fullName << "\n";
  for (const ValueEntry& value : values) out << ShowValue(value);
  if (!subkeys.empty()) out << "\n";
  for (const std::string& name : subkeys) out << fullName << "\\" << name << "\n";
  return 0;
}

int Set(const std::string& key, const std::string& valueName, const std::string& typeText,
        const std::string& dataText, std::ostream& err) {
  HKEY root = nullptr;
  std::string rootName, subKey, data, reason;
  if (!ParseKey(key, &root, &rootName, &subKey, err)) return 2;
  DWORD type = 0;
  if (!ParseType(typeText, &type)) {
    err << "wlreg: unknown type " << typeText
        << " (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY, REG_NONE)\n";
    return 2;
  }
  if (!ParseData(type, dataText, &data, &reason)) {
    err << "wlreg: " << reason << "\n";
    return 2;
  }
  KeyHandle handle;
  LONG rc = RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            handle.Out(), nullptr);
  if (rc == ERROR_SUCCESS) {
    rc =
        RegSetValueExA(handle.Get(), valueName.c_str(), 0, type,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
  }
  if (rc != ERROR_SUCCESS) {
    err << "wlreg: " << key << ": " << ErrorText(rc) << "\n";
    return 1;
  }
  return 0;
}

int Delete(const std::string& key, const std::string* valueName, std::ostream& err) {
  HKEY root = nullptr;
  std::string rootName, subKey;
  if (!ParseKey(key, &root, &rootName, &subKey, err)) return 2;
  LONG rc = ERROR_SUCCESS;
  if (valueName != nullptr) {
    KeyHandle handle;
    rc = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_ALL_ACCESS, handle.Out());
    if (rc == ERROR_SUCCESS) rc = RegDeleteValueA(handle.Get(), valueName->c_str());
  } else if (NamesOnlyTheRoot(subKey)) {
    err << "wlreg: " << key << ": a root key cannot be deleted\n";
    return 2;
  } else {
    rc = RunInRegistryTransaction([&] { return DeleteTree(root, subKey); });
  }
  if (rc != ERROR_SUCCESS) {
    err << "wlreg: " << key << (valueName ? "\\" + *valueName : std::string()) << ": "
        << ErrorText(rc) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace wl::regtool
