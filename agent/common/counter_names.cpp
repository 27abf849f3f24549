#include "agent/common/counter_names.h"

#include <cstdlib>
#include <cstring>

#include "win32/registry.h"
#include "win32/timeapi.h"

namespace perfwalk {
namespace {

constexpr const char* kPerflibKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib";
// A "Last Counter" above this is not a plausible name table; it is refused as
// an allocation failure rather than reserving gigabytes.
constexpr DWORD kMaxLastCounter = 1u << 24;

// Reads a decimal title index at the start of `text` (leading spaces and a
// sign allowed, trailing characters ignored). False when there is no digit.
bool parseTitleIndex(const char* text, long long* value) {
  while (*text == ' ') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = *text == '-';
    ++text;
  }
  if (*text < '0' || *text > '9') return false;
  long long result = 0;
  while (*text >= '0' && *text <= '9') {
    if (result < (1LL << 40)) result = result * 10 + (*text - '0');
    ++text;
  }
  *value = negative ? -result : result;
  return true;
}

void logMessage(const WalkProfile& profile, const char* message) {
  if (profile.log) profile.log("%s", message);
}

}  // namespace

const char* CounterNameTable::name(DWORD titleIndex) const {
  if (!names_ || titleIndex >= count_) return nullptr;
  const char* entry = names_[titleIndex];
  return entry && entry[0] ? entry : nullptr;
}

void CounterNameTable::clear() {
  std::free(names_);
  std::free(text_);
  names_ = nullptr;
  text_ = nullptr;
  count_ = 0;
}

int parseCounterNames(CounterNameTable* table, DWORD lastCounter, char* text, DWORD textBytes) {
  table->clear();
  if (lastCounter > kMaxLastCounter) {
    std::free(text);
    return ERROR_OUTOFMEMORY;
  }
  DWORD count = lastCounter + 1;
  auto names = static_cast<const char**>(std::calloc(count, sizeof(const char*)));
  if (!names) {
    std::free(text);
    return ERROR_OUTOFMEMORY;
  }
  text[textBytes] = '\0';  // the last string is terminated even if the data was not
  const char* end = text + textBytes;
  const char* cursor = text;
  while (cursor < end && *cursor) {
    const char* indexText = cursor;
    cursor += std::strlen(cursor) + 1;
    long long index = 0;
    if (!parseTitleIndex(indexText, &index)) {
      std::free(names);
      std::free(text);
      return -1;
    }
    if (cursor >= end || !*cursor) break;  // an index without a name ends the text
    const char* name = cursor;
    cursor += std::strlen(cursor) + 1;
    if (index >= 0 && index < static_cast<long long>(count)) names[index] = name;
  }
  table->names_ = names;
  table->count_ = count;
  table->text_ = text;
  return 0;
}

int loadCounterNames(CounterNameTable* table, const WalkProfile& profile) {
  time_t now = wl_time(nullptr);
  if (now - table->lastNameLoad < profile.nameReloadSeconds) return 0;
  table->lastNameLoad = now;
  table->clear();

  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPerflibKey, 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) {
    logMessage(profile, "RegOpenKeyEx() failed.\n");
    return rc;
  }
  DWORD lastCounter = 0;
  DWORD size = sizeof(lastCounter);
  DWORD type = 0;
  rc = RegQueryValueExA(key, "Last Counter", nullptr, &type, reinterpret_cast<BYTE*>(&lastCounter),
                        &size);
  if (rc != ERROR_SUCCESS) {
    logMessage(profile, "RegQueryValueEx() failed.\n");
    RegCloseKey(key);
    return rc;
  }
  // The index array is allocated by parseCounterNames; check its size here so
  // that the failure is reported in the order of the load.
  unsigned long long arrayBytes = 4ull * (static_cast<unsigned long long>(lastCounter) + 1);
  if (lastCounter > kMaxLastCounter) {
    if (profile.log) profile.log("malloc failed 1002, size %d\n", static_cast<int>(arrayBytes));
    RegCloseKey(key);
    return ERROR_OUTOFMEMORY;
  }

  DWORD textBytes = 0;
  rc = RegQueryValueExA(HKEY_PERFORMANCE_DATA, "Counter 009", nullptr, &type, nullptr, &textBytes);
  if (rc != ERROR_SUCCESS) {
    logMessage(profile, "RegQueryValueEx() failed.\n");
    RegCloseKey(key);
    return rc;
  }
  auto text = static_cast<char*>(std::malloc(static_cast<size_t>(textBytes) + 1));
  if (!text) {
    if (profile.log) profile.log("malloc failed 1003, size %d\n", static_cast<int>(textBytes));
    RegCloseKey(key);
    return ERROR_OUTOFMEMORY;
  }
  DWORD readBytes = textBytes;
  rc = RegQueryValueExA(HKEY_PERFORMANCE_DATA, "Counter 009", nullptr, &type,
                        reinterpret_cast<BYTE*>(text), &readBytes);
  if (rc != ERROR_SUCCESS) {
    logMessage(profile, "RegQueryValueEx() failed.\n");
    std::free(text);
    RegCloseKey(key);
    return rc;
  }
  if (readBytes > textBytes) readBytes = textBytes;
  rc = parseCounterNames(table, lastCounter, text, readBytes);
  if (rc == ERROR_OUTOFMEMORY && profile.log) {
    profile.log("malloc failed 1002, size %d\n", static_cast<int>(arrayBytes));
  }
  RegCloseKey(key);
  return rc;
}

}  // namespace perfwalk
