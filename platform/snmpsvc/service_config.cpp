#include "service_config.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "win32/files.h"
#include "win32/registry.h"

namespace snmpsvc {

const char kParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";

namespace {

struct RegistryValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

// The first registry error met while reading, with the key it concerned.
struct ReadErrors {
  LONG error = ERROR_SUCCESS;
  std::string where;
  void Note(LONG result, const std::string& key) {
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ||
        result == ERROR_NO_MORE_ITEMS || error != ERROR_SUCCESS) {
      return;
    }
    error = result;
    where = key;
  }
};
thread_local ReadErrors* currentErrors = nullptr;

void NoteError(LONG result, const std::string& key) {
  if (currentErrors != nullptr) currentErrors->Note(result, key);
}

class Key {
 public:
  Key(HKEY parent, const std::string& path) : path_(path) {
    const LONG result = RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key_);
    if (result != ERROR_SUCCESS) key_ = nullptr;
    NoteError(result, path);
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }
  const std::string& path() const { return path_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
  std::string path_;
};

std::vector<RegistryValue> EnumerateValues(const Key& key) {
  std::vector<RegistryValue> values;
  if (!key) return values;
  for (DWORD index = 0;; ++index) {
    std::vector<char> name(512);
    std::vector<BYTE> data(1024);
    LONG result;
    DWORD nameLength, dataLength, type;
    for (;;) {
      nameLength = static_cast<DWORD>(name.size());
      dataLength = static_cast<DWORD>(data.size());
      result = RegEnumValueA(key.get(), index, name.data(), &nameLength, nullptr, &type,
                             data.data(), &dataLength);
      if (result != ERROR_MORE_DATA || data.size() >= (1u << 20)) break;
      data.resize(std::max<size_t>(data.size() * 2, dataLength));
      name.resize(name.size() * 2);
    }
    if (result != ERROR_SUCCESS) {
      NoteError(result, key.path());
      break;
    }
    RegistryValue value;
    value.name.assign(name.data(), std::min<size_t>(nameLength, name.size()));
    value.type = type;
    value.data.assign(reinterpret_cast<const char*>(data.data()),
                      std::min<size_t>(dataLength, data.size()));
    values.push_back(std::move(value));
  }
  return values;
}

std::vector<std::string> EnumerateSubkeys(const Key& key) {
  std::vector<std::string> names;
  if (!key) return names;
  for (DWORD index = 0;; ++index) {
    char name[512];
    DWORD length = sizeof name;
    const LONG result =
        RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
      NoteError(result, key.path());
      break;
    }
    names.emplace_back(name, std::min<size_t>(length, sizeof name - 1));
  }
  return names;
}

// The text of a string value, without its terminator(s).
std::string TextOf(const RegistryValue& value) {
  std::string text = value.data;
  size_t end = text.find('\0');
  if (end != std::string::npos) text.resize(end);
  if (value.type == REG_EXPAND_SZ) text = ExpandEnvironment(text);
  return text;
}

// A DWORD value, or a decimal string; false for anything else.
bool NumberOf(const RegistryValue& value, uint32_t* number) {
  if (value.type == REG_DWORD && value.data.size() >= 4) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(value.data.data());
    *number = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
              static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return true;
  }
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
    std::string text = TextOf(value);
    if (text.empty() || text.size() > 10) return false;
    char* end = nullptr;
    unsigned long parsed = std::strtoul(text.c_str(), &end, 10);
    if (*end != '\0' || parsed > 0xFFFFFFFFul) return false;
    *number = static_cast<uint32_t>(parsed);
    return true;
  }
  return false;
}

const RegistryValue* Find(const std::vector<RegistryValue>& values, const char* name) {
  for (const RegistryValue& value : values) {
    if (strcasecmp(value.name.c_str(), name) == 0) return &value;
  }
  return nullptr;
}

std::string HostPathOf(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char buffer[4096];
  DWORD length = wl_host_path(path.c_str(), buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return path;
  return std::string(buffer, length);
}

// Orders "1" < "2" < "10" < any non-number name.
bool ExtensionOrder(const ExtensionEntry& a, const ExtensionEntry& b) {
  auto numeric = [](const std::string& s) {
    return !s.empty() && s.size() <= 9 && std::all_of(s.begin(), s.end(), ::isdigit);
  };
  bool na = numeric(a.valueName), nb = numeric(b.valueName);
  if (na != nb) return na;
  if (na) return std::stoul(a.valueName) < std::stoul(b.valueName);
  return a.valueName < b.valueName;
}

std::string Under(const char* child) { return std::string(kParametersKey) + "\\" + child; }

}  // namespace

std::string ExpandEnvironment(const std::string& text) {
  std::string result;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
    if (close == std::string::npos) {
      result.append(text, pos, std::string::npos);
      break;
    }
    result.append(text, pos, open - pos);
    std::string name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value != nullptr) {
      result += value;
    } else {
      result.append(text, open, close - open + 1);
    }
    pos = close + 1;
  }
  return result;
}

ServiceConfig ReadServiceConfig() {
  ServiceConfig config;
  std::string where;
  ReadServiceConfig(&config, &where);
  return config;
}

long ReadServiceConfig(ServiceConfig* result, std::string* where) {
  ReadErrors errors;
  currentErrors = &errors;
  ServiceConfig config;
  Key parameters(HKEY_LOCAL_MACHINE, kParametersKey);
  std::vector<RegistryValue> parameterValues = EnumerateValues(parameters);

  for (const RegistryValue& value :
       EnumerateValues(Key(HKEY_LOCAL_MACHINE, Under("ExtensionAgents")))) {
    ExtensionEntry entry;
    entry.valueName = value.name;
    entry.keyPath = TextOf(value);
    Key agentKey(HKEY_LOCAL_MACHINE, entry.keyPath);
    std::vector<RegistryValue> agentValues = EnumerateValues(agentKey);
    if (const RegistryValue* path = Find(agentValues, "Pathname")) {
      entry.library = HostPathOf(TextOf(*path));
    }
    config.extensions.push_back(std::move(entry));
  }
  std::sort(config.extensions.begin(), config.extensions.end(), ExtensionOrder);

  for (const RegistryValue& value :
       EnumerateValues(Key(HKEY_LOCAL_MACHINE, Under("ValidCommunities")))) {
    uint32_t grant = rights::kReadOnly;
    if (!NumberOf(value, &grant)) grant = rights::kReadOnly;
    config.communities[value.name] = grant;
  }

  for (const RegistryValue& value :
       EnumerateValues(Key(HKEY_LOCAL_MACHINE, Under("PermittedManagers")))) {
    // An empty entry stays: it admits nobody rather than everybody.
    config.permittedManagers.push_back(TextOf(value));
  }

  uint32_t enabled = 0;
  const RegistryValue* authTraps = Find(parameterValues, "EnableAuthenticationTraps");
  if (authTraps != nullptr && NumberOf(*authTraps, &enabled))
    config.authenticationTraps = enabled != 0;

  std::vector<RegistryValue> agent =
      EnumerateValues(Key(HKEY_LOCAL_MACHINE, Under("RFC1156Agent")));
  if (const RegistryValue* contact = Find(agent, "sysContact"))
    config.sysContact = TextOf(*contact);
  if (const RegistryValue* location = Find(agent, "sysLocation"))
    config.sysLocation = TextOf(*location);
  if (const RegistryValue* services = Find(agent, "sysServices")) {
    uint32_t number = 0;
    if (NumberOf(*services, &number)) config.sysServices = number & 0x7F;
  }
  currentErrors = nullptr;
  *result = std::move(config);
  *where = errors.where;
  return errors.error;
}

std::vector<TrapCommunity> ReadTrapConfiguration() {
  std::vector<TrapCommunity> communities;
  Key trapKey(HKEY_LOCAL_MACHINE, Under("TrapConfiguration"));
  for (const std::string& name : EnumerateSubkeys(trapKey)) {
    TrapCommunity community;
    community.community = name;
    Key destinations(trapKey.get(), name);
    for (const RegistryValue& value : EnumerateValues(destinations)) {
      std::string text = TextOf(value);
      if (!text.empty()) community.destinations.push_back(text);
    }
    communities.push_back(std::move(community));
  }
  return communities;
}

}  // namespace snmpsvc
