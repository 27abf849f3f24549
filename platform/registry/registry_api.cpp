// The Win32 registry functions over the store. The A and W forms share one
// body each (templates over the character type): names and string data are
// converted to the store's UTF-8 on the way in and back on the way out, so A
// and W readers see the same text. Sizes are those of the form asked: a REG_SZ
// read with the A form counts its UTF-8 bytes and one terminator byte, with the
// W form its UTF-16 units and one terminator unit, in bytes.
#include <algorithm>
#include <cstring>

#include "core/perf_seam.h"
#include "core/trace.h"
#include "key_handles.h"
#include "registry/name_case.h"
#include "registry_store.h"
#include "win32/registry.h"

namespace wl::reg {
namespace {

constexpr size_t kMaxValueNameLength = 16383;

constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericAll = 0x10000000u;
constexpr REGSAM kMaximumAllowed = 0x02000000u;

REGSAM MapAccess(REGSAM sam) {
  REGSAM access = sam & KEY_ALL_ACCESS;
  if (sam & kGenericRead) access |= KEY_READ;
  if (sam & kGenericWrite) access |= KEY_WRITE;
  if (sam & (kGenericAll | kMaximumAllowed)) access |= KEY_ALL_ACCESS;
  return access;
}

// --- text of the two forms -------------------------------------------------

std::string ToUtf8(const char* s) {
  return s == nullptr ? std::string() : text::NormalizeUtf8(s, text::kRegistryText);
}
std::string ToUtf8(const char16_t* s) {
  return s == nullptr ? std::string() : text::Utf16ToUtf8(s, text::Utf16Length(s));
}

template <class Ch>
std::basic_string<Ch> FromUtf8(const std::string& s);
template <>
std::string FromUtf8<char>(const std::string& s) {
  return s;
}
template <>
std::u16string FromUtf8<char16_t>(const std::string& s) {
  return text::Utf8ToUtf16(s, text::kRegistryText);
}

// Code units of the form from raw bytes (little-endian for UTF-16; an odd last
// byte is dropped).
template <class Ch>
std::basic_string<Ch> UnitsFromBytes(const BYTE* data, DWORD size) {
  std::basic_string<Ch> units(size / sizeof(Ch), Ch(0));
  for (size_t i = 0; i < units.size(); ++i) {
    if constexpr (sizeof(Ch) == 1) {
      units[i] = static_cast<Ch>(data[i]);
    } else {
      units[i] = static_cast<Ch>(data[2 * i] | (data[2 * i + 1] << 8));
    }
  }
  return units;
}

template <class Ch>
std::string UnitsToUtf8(const std::basic_string<Ch>& units) {
  if constexpr (sizeof(Ch) == 1) {
    return text::NormalizeUtf8(units, text::kRegistryText);
  } else {
    return text::Utf16ToUtf8(units);
  }
}

template <class Ch>
std::string BytesOfUnits(const std::basic_string<Ch>& units) {
  std::string bytes;
  bytes.reserve(units.size() * sizeof(Ch));
  for (Ch unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    if constexpr (sizeof(Ch) == 2) bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Caller's data to the stored form. REG_SZ/REG_EXPAND_SZ keep the text up to
// the first terminator (or all of it when the caller left the terminator out);
// REG_MULTI_SZ keeps each string and its terminator up to the empty string.
template <class Ch>
std::string DataToStore(DWORD type, const BYTE* data, DWORD size) {
  if (!IsStringType(type)) {
    return std::string(reinterpret_cast<const char*>(data), size);
  }
  const std::basic_string<Ch> units = UnitsFromBytes<Ch>(data, size);
  if (type != REG_MULTI_SZ) {
    return UnitsToUtf8(units.substr(0, units.find(Ch(0))));
  }
  std::string stored;
  size_t start = 0;
  while (start < units.size()) {
    size_t end = units.find(Ch(0), start);
    if (end == std::basic_string<Ch>::npos) end = units.size();
    if (end == start) break;  // the empty string ends the list
    stored += UnitsToUtf8(units.substr(start, end - start));
    stored.push_back('\0');
    start = end + 1;
  }
  return stored;
}

// Stored form to the caller's bytes, with the terminators Win32 counts.
template <class Ch>
std::string DataFromStore(const StoredValue& value) {
  if (!IsStringType(value.type)) return value.data;
  // Stored REG_MULTI_SZ strings carry their own terminators; the list gets its
  // closing one (an empty list is two terminators, as Windows writes it).
  std::basic_string<Ch> units = FromUtf8<Ch>(value.data);
  units.push_back(Ch(0));
  if (value.type == REG_MULTI_SZ && units.size() == 1) units.push_back(Ch(0));
  return BytesOfUnits(units);
}

// Copies data out with Win32's size protocol.
LONG CopyData(const std::string& bytes, LPBYTE data, LPDWORD size) {
  if (size == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  const DWORD needed = static_cast<DWORD>(bytes.size());
  if (data == nullptr) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed != 0) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

// Copies a name into a buffer of *count characters (terminator included); on
// success *count is the length without the terminator. Too small: MORE_DATA,
// *count unchanged, as Win32 does for enumerated names.
template <class Ch>
LONG CopyName(const std::string& utf8, Ch* buffer, LPDWORD count) {
  if (count == nullptr) return ERROR_INVALID_PARAMETER;
  const std::basic_string<Ch> name = FromUtf8<Ch>(utf8);
  if (buffer == nullptr || *count < name.size() + 1) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(Ch));
  *count = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

template <class Ch>
DWORD NameLength(const std::string& utf8) {
  return static_cast<DWORD>(FromUtf8<Ch>(utf8).size());
}

// --- keys ------------------------------------------------------------------

// HKLM "SOFTWARE\Microsoft\Windows NT\CurrentVersion\Perflib" exists even when
// the store lacks it; "Last Counter" and "Last Help" come from the performance
// data provider unless the key holds values of those names.
constexpr size_t kPerflibPathLength = 5;

bool IsPerflibKey(const OpenKey& key) {
  static const char* const kPath[] = {"SOFTWARE", "MICROSOFT", "WINDOWS NT", "CURRENTVERSION",
                                      "PERFLIB"};
  if (key.root != kLocalMachineId || !key.pathKnown || key.path.size() != 5) return false;
  for (size_t i = 0; i < 5; ++i) {
    if (text::FoldCase(key.path[i]) != kPath[i]) return false;
  }
  return true;
}

bool PerflibValue(const std::string& name, StoredValue* value) {
  const std::string folded = text::FoldCase(name);
  if (folded != "LAST COUNTER" && folded != "LAST HELP") return false;
  DWORD lastCounter = 0, lastHelp = 0;
  PerflibLastIndexes(&lastCounter, &lastHelp);
  const DWORD number = folded == "LAST COUNTER" ? lastCounter : lastHelp;
  value->name = name;
  value->type = REG_DWORD;
  value->data.assign(reinterpret_cast<const char*>(&number), sizeof number);
  return true;
}

// A key with a row, deeper than the Perflib key, needs its path no more: the
// row names it, and neither it nor its subkeys can be the Perflib key.
OpenKey& ForgetLongPath(OpenKey& key) {
  if (key.id != 0 && key.path.size() > kPerflibPathLength) {
    key.path.clear();
    key.path.shrink_to_fit();
    key.pathKnown = false;
  }
  return key;
}

LONG Resolve(HKEY handle, REGSAM needed, OpenKey* key) {
  if (handle == HKEY_PERFORMANCE_DATA || !LookupKeyHandle(handle, key)) {
    return ERROR_INVALID_HANDLE;
  }
  if ((key->access & needed) != needed) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// The row to read from: the key's own, or for a key without a row the one made
// since under its path, or 0 when there is none.
LONG RowForRead(const OpenKey& key, KeyId* row) {
  if (key.id != 0) {
    *row = key.id;
    return ERROR_SUCCESS;
  }
  LONG error = FindKey(key.root, key.path, row);
  if (error == ERROR_FILE_NOT_FOUND) {
    *row = 0;
    return ERROR_SUCCESS;
  }
  return error;
}

LONG RowForWrite(const OpenKey& key, KeyId* row) {
  if (key.id != 0) {
    *row = key.id;
    return ERROR_SUCCESS;
  }
  bool created = false;
  return CreateKey(key.root, key.path, std::string(), row, &created);
}

LONG OpenKeyUntraced(HKEY handle, const std::string& subKey, REGSAM sam, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (handle == HKEY_PERFORMANCE_DATA) {
    if (!subKey.empty()) return ERROR_FILE_NOT_FOUND;
    *result = HKEY_PERFORMANCE_DATA;
    return ERROR_SUCCESS;
  }
  OpenKey base;
  LONG error = Resolve(handle, 0, &base);
  if (error != ERROR_SUCCESS) return error;
  const std::vector<std::string> parts = SplitKeyPath(subKey);
  if (parts.empty() && RootIdOf(handle) != 0) {
    *result = handle;
    return ERROR_SUCCESS;
  }
  OpenKey opened = base;
  if (opened.pathKnown) opened.path.insert(opened.path.end(), parts.begin(), parts.end());
  opened.access = MapAccess(sam);
  if (base.id != 0) {
    error = FindKey(base.id, parts, &opened.id);
  } else {
    error = FindKey(base.root, opened.path, &opened.id);
  }
  if (error == ERROR_FILE_NOT_FOUND && IsPerflibKey(opened)) {
    opened.id = 0;
    error = ERROR_SUCCESS;
  }
  if (error != ERROR_SUCCESS) return error;
  *result = AddKeyHandle(ForgetLongPath(opened));
  return ERROR_SUCCESS;
}

LONG CreateKeyUntraced(HKEY handle, const std::string& subKey, const std::string& keyClass,
                       REGSAM sam, PHKEY result, LPDWORD disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  const std::vector<std::string> parts = SplitKeyPath(subKey);
  OpenKey base;
  LONG error = Resolve(handle, parts.empty() ? 0 : KEY_CREATE_SUB_KEY, &base);
  if (error != ERROR_SUCCESS) return error;
  if (parts.empty() && RootIdOf(handle) != 0) {
    *result = handle;
    if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  OpenKey opened = base;
  if (opened.pathKnown) opened.path.insert(opened.path.end(), parts.begin(), parts.end());
  opened.access = MapAccess(sam);
  bool created = false;
  if (base.id != 0) {
    error = CreateKey(base.id, parts, keyClass, &opened.id, &created);
  } else {
    error = CreateKey(base.root, opened.path, keyClass, &opened.id, &created);
  }
  if (error != ERROR_SUCCESS) return error;
  if (disposition != nullptr)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = AddKeyHandle(ForgetLongPath(opened));
  return ERROR_SUCCESS;
}

LONG OpenKeyImpl(HKEY handle, const std::string& subKey, REGSAM sam, PHKEY result) {
  const LONG error = OpenKeyUntraced(handle, subKey, sam, result);
  WL_TRACE(kReg, "open key %p \"%s\" access 0x%x: %ld", static_cast<void*>(handle), subKey.c_str(),
           sam, static_cast<long>(error));
  return error;
}

LONG CreateKeyImpl(HKEY handle, const std::string& subKey, const std::string& keyClass, REGSAM sam,
                   PHKEY result, LPDWORD disposition) {
  const LONG error = CreateKeyUntraced(handle, subKey, keyClass, sam, result, disposition);
  WL_TRACE(kReg, "create key %p \"%s\": %ld", static_cast<void*>(handle), subKey.c_str(),
           static_cast<long>(error));
  return error;
}

// --- values ----------------------------------------------------------------

// HKEY_PERFORMANCE_DATA. The provider answers in the A form; the W form gets
// the name tables ("Counter 009", "Help 009") as UTF-16, the data blocks as
// they are.
template <class Ch>
LONG QueryPerformanceDataAs(const std::string& name, LPDWORD type, LPBYTE data, LPDWORD size) {
  const std::string folded = text::FoldCase(name);
  const bool nameTable = folded.rfind("COUNTER", 0) == 0 || folded.rfind("HELP", 0) == 0;
  if (sizeof(Ch) == 1 || !nameTable) return QueryPerformanceData(name.c_str(), type, data, size);
  StoredValue value;
  DWORD needed = 0;
  LONG error = QueryPerformanceData(name.c_str(), &value.type, nullptr, &needed);
  if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return error;
  std::string narrow(needed, '\0');
  if ((error = QueryPerformanceData(name.c_str(), &value.type,
                                    reinterpret_cast<BYTE*>(narrow.data()), &needed)) !=
      ERROR_SUCCESS) {
    return error;
  }
  narrow.resize(std::min<size_t>(needed, narrow.size()));
  value.data = DataToStore<char>(value.type, reinterpret_cast<const BYTE*>(narrow.data()),
                                 static_cast<DWORD>(narrow.size()));
  if (type != nullptr) *type = value.type;
  return CopyData(DataFromStore<Ch>(value), data, size);
}

template <class Ch>
LONG QueryValueImpl(HKEY handle, const Ch* valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                    LPDWORD size) {
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  const std::string name = ToUtf8(valueName);
  if (handle == HKEY_PERFORMANCE_DATA) {
    if (size == nullptr) return ERROR_INVALID_PARAMETER;
    return QueryPerformanceDataAs<Ch>(name, type, data, size);
  }
  OpenKey key;
  LONG error = Resolve(handle, KEY_QUERY_VALUE, &key);
  if (error != ERROR_SUCCESS) return error;
  KeyId row = 0;
  if ((error = RowForRead(key, &row)) != ERROR_SUCCESS) return error;
  StoredValue value;
  error = row != 0 ? GetValue(row, name, &value) : ERROR_FILE_NOT_FOUND;
  if (error == ERROR_FILE_NOT_FOUND && IsPerflibKey(key) && PerflibValue(name, &value)) {
    error = ERROR_SUCCESS;
  }
  if (error != ERROR_SUCCESS) return error;
  if (type != nullptr) *type = value.type;
  return CopyData(DataFromStore<Ch>(value), data, size);
}

template <class Ch>
LONG SetValueImpl(HKEY handle, const Ch* valueName, DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  const std::string name = ToUtf8(valueName);
  if (text::Utf8ToUtf16(name, text::kRegistryText).size() > kMaxValueNameLength)
    return ERROR_INVALID_PARAMETER;
  OpenKey key;
  LONG error = Resolve(handle, KEY_SET_VALUE, &key);
  if (error != ERROR_SUCCESS) return error;
  KeyId row = 0;
  if ((error = RowForWrite(key, &row)) != ERROR_SUCCESS) return error;
  static const BYTE kNothing = 0;
  error = SetValue(row, name, type, DataToStore<Ch>(type, data ? data : &kNothing, size));
  WL_TRACE(kReg, "set value \"%s\" type %u, %u byte(s): %ld", name.c_str(), type, size,
           static_cast<long>(error));
  return error;
}

template <class Ch>
LONG DeleteValueImpl(HKEY handle, const Ch* valueName) {
  OpenKey key;
  LONG error = Resolve(handle, KEY_SET_VALUE, &key);
  if (error != ERROR_SUCCESS) return error;
  KeyId row = 0;
  if ((error = RowForRead(key, &row)) != ERROR_SUCCESS) return error;
  if (row == 0) return ERROR_FILE_NOT_FOUND;
  return DeleteValue(row, ToUtf8(valueName));
}

template <class Ch>
LONG EnumValueImpl(HKEY handle, DWORD index, Ch* name, LPDWORD nameCount, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD size) {
  if (reserved != nullptr || nameCount == nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  LONG error = Resolve(handle, KEY_QUERY_VALUE, &key);
  if (error != ERROR_SUCCESS) return error;
  KeyId row = 0;
  if ((error = RowForRead(key, &row)) != ERROR_SUCCESS) return error;
  if (row == 0) return ERROR_NO_MORE_ITEMS;
  StoredValue value;
  if ((error = ValueAt(row, index, &value)) != ERROR_SUCCESS) return error;
  if ((error = CopyName<Ch>(value.name, name, nameCount)) != ERROR_SUCCESS) return error;
  if (type != nullptr) *type = value.type;
  return CopyData(DataFromStore<Ch>(value), data, size);
}

template <class Ch>
LONG EnumKeyImpl(HKEY handle, DWORD index, Ch* name, LPDWORD nameCount, LPDWORD reserved,
                 Ch* keyClass, LPDWORD classCount, PFILETIME lastWrite) {
  if (reserved != nullptr || nameCount == nullptr) return ERROR_INVALID_PARAMETER;
  if (keyClass != nullptr && classCount == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  LONG error = Resolve(handle, KEY_ENUMERATE_SUB_KEYS, &key);
  if (error != ERROR_SUCCESS) return error;
  KeyId row = 0;
  if ((error = RowForRead(key, &row)) != ERROR_SUCCESS) return error;
  if (row == 0) return ERROR_NO_MORE_ITEMS;
  StoredKey subkey;
  if ((error = SubkeyAt(row, index, &subkey)) != ERROR_SUCCESS) return error;
  if ((error = CopyName<Ch>(subkey.name, name, nameCount)) != ERROR_SUCCESS) return error;
  if (keyClass != nullptr &&
      (error = CopyName<Ch>(subkey.keyClass, keyClass, classCount)) != ERROR_SUCCESS) {
    return error;
  }
  if (lastWrite != nullptr) {
    lastWrite->dwLowDateTime = static_cast<DWORD>(subkey.lastWrite);
    lastWrite->dwHighDateTime = static_cast<DWORD>(subkey.lastWrite >> 32);
  }
  return ERROR_SUCCESS;
}

template <class Ch>
LONG QueryInfoKeyImpl(HKEY handle, Ch* keyClass, LPDWORD classCount, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                      LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptor,
                      PFILETIME lastWrite) {
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  LONG error = Resolve(handle, KEY_QUERY_VALUE, &key);
  if (error != ERROR_SUCCESS) return error;
  KeyId row = 0;
  if ((error = RowForRead(key, &row)) != ERROR_SUCCESS) return error;
  StoredKey self;
  std::vector<StoredKey> subkeyList;
  std::vector<StoredValue> valueList;
  if (row != 0) {
    if ((error = GetKey(row, &self)) != ERROR_SUCCESS) return error;
    if ((error = ListSubkeys(row, &subkeyList)) != ERROR_SUCCESS) return error;
    if ((error = ListValues(row, &valueList)) != ERROR_SUCCESS) return error;
  }
  if (keyClass != nullptr || classCount != nullptr) {
    if (classCount == nullptr) return ERROR_INVALID_PARAMETER;
    if (keyClass == nullptr) {
      *classCount = NameLength<Ch>(self.keyClass);
    } else if ((error = CopyName<Ch>(self.keyClass, keyClass, classCount)) != ERROR_SUCCESS) {
      *classCount = NameLength<Ch>(self.keyClass);
      return error;
    }
  }
  DWORD longestSubkey = 0, longestClass = 0, longestName = 0, largestData = 0;
  for (const StoredKey& subkey : subkeyList) {
    longestSubkey = std::max(longestSubkey, NameLength<Ch>(subkey.name));
    longestClass = std::max(longestClass, NameLength<Ch>(subkey.keyClass));
  }
  for (const StoredValue& value : valueList) {
    longestName = std::max(longestName, NameLength<Ch>(value.name));
    largestData = std::max(largestData, static_cast<DWORD>(DataFromStore<Ch>(value).size()));
  }
  if (subKeys != nullptr) *subKeys = static_cast<DWORD>(subkeyList.size());
  if (maxSubKeyLen != nullptr) *maxSubKeyLen = longestSubkey;
  if (maxClassLen != nullptr) *maxClassLen = longestClass;
  if (values != nullptr) *values = static_cast<DWORD>(valueList.size());
  if (maxValueNameLen != nullptr) *maxValueNameLen = longestName;
  if (maxValueLen != nullptr) *maxValueLen = largestData;
  if (securityDescriptor != nullptr) *securityDescriptor = 0;
  if (lastWrite != nullptr) {
    lastWrite->dwLowDateTime = static_cast<DWORD>(self.lastWrite);
    lastWrite->dwHighDateTime = static_cast<DWORD>(self.lastWrite >> 32);
  }
  return ERROR_SUCCESS;
}

LONG DeleteKeyUntraced(HKEY handle, const std::string& subKey);

LONG DeleteKeyImpl(HKEY handle, const std::string& subKey) {
  const LONG error = DeleteKeyUntraced(handle, subKey);
  WL_TRACE(kReg, "delete key %p \"%s\": %ld", static_cast<void*>(handle), subKey.c_str(),
           static_cast<long>(error));
  return error;
}

LONG DeleteKeyUntraced(HKEY handle, const std::string& subKey) {
  OpenKey base;
  LONG error = Resolve(handle, 0, &base);
  if (error != ERROR_SUCCESS) return error;
  const std::vector<std::string> parts = SplitKeyPath(subKey);
  KeyId target = 0;
  if (base.id != 0) {
    error = FindKey(base.id, parts, &target);
  } else {
    std::vector<std::string> path = base.path;
    path.insert(path.end(), parts.begin(), parts.end());
    error = FindKey(base.root, path, &target);
  }
  if (error != ERROR_SUCCESS) return error;
  return DeleteKey(target);
}

LONG CloseKeyImpl(HKEY handle) {
  if (handle == HKEY_PERFORMANCE_DATA || RootIdOf(handle) != 0) return ERROR_SUCCESS;
  return RemoveKeyHandle(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG FlushKeyImpl(HKEY handle) {
  // Every completed write is already durable.
  OpenKey key;
  return Resolve(handle, 0, &key);
}

}  // namespace
}  // namespace wl::reg

namespace wl {

void ResetRegistryForTesting() {
  reg::CloseStoreForTesting();
  reg::ForgetAllKeyHandles();
}

}  // namespace wl

using namespace wl::reg;

extern "C" {

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult) {
  if (ulOptions != 0) wl::trace::Unsupported("RegOpenKeyExA", "ulOptions");
  return OpenKeyImpl(hKey, ToUtf8(lpSubKey), samDesired, phkResult);
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult) {
  if (ulOptions != 0) wl::trace::Unsupported("RegOpenKeyExW", "ulOptions");
  return OpenKeyImpl(hKey, ToUtf8(lpSubKey), samDesired, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  if (dwOptions != REG_OPTION_NON_VOLATILE) {
    wl::trace::Unsupported("RegCreateKeyExA", "dwOptions (every key is non-volatile)");
  }
  if (lpSecurityAttributes != nullptr) {
    wl::trace::Unsupported("RegCreateKeyExA", "lpSecurityAttributes");
  }
  return CreateKeyImpl(hKey, ToUtf8(lpSubKey), ToUtf8(lpClass), samDesired, phkResult,
                       lpdwDisposition);
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  if (dwOptions != REG_OPTION_NON_VOLATILE) {
    wl::trace::Unsupported("RegCreateKeyExW", "dwOptions (every key is non-volatile)");
  }
  if (lpSecurityAttributes != nullptr) {
    wl::trace::Unsupported("RegCreateKeyExW", "lpSecurityAttributes");
  }
  return CreateKeyImpl(hKey, ToUtf8(lpSubKey), ToUtf8(lpClass), samDesired, phkResult,
                       lpdwDisposition);
}

LONG RegCloseKey(HKEY hKey) { return CloseKeyImpl(hKey); }

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  return QueryValueImpl<char>(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  return QueryValueImpl<char16_t>(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
  return SetValueImpl<char>(hKey, lpValueName, dwType, lpData, cbData);
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
  return SetValueImpl<char16_t>(hKey, lpValueName, dwType, lpData, cbData);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return EnumValueImpl<char>(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                             lpcbData);
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return EnumValueImpl<char16_t>(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType,
                                 lpData, lpcbData);
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  return EnumKeyImpl<char>(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                           lpftLastWriteTime);
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  return EnumKeyImpl<char16_t>(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                               lpftLastWriteTime);
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return DeleteKeyImpl(hKey, ToUtf8(lpSubKey));
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return DeleteKeyImpl(hKey, ToUtf8(lpSubKey));
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return DeleteValueImpl<char>(hKey, lpValueName);
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return DeleteValueImpl<char16_t>(hKey, lpValueName);
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  return QueryInfoKeyImpl<char>(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen,
                                lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen,
                                lpcbSecurityDescriptor, lpftLastWriteTime);
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  return QueryInfoKeyImpl<char16_t>(
      hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
      lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

LONG RegFlushKey(HKEY hKey) { return FlushKeyImpl(hKey); }

LONG wl_RegTransaction(LONG (*body)(void* context), void* context) {
  if (body == nullptr) return ERROR_INVALID_PARAMETER;
  return wl::RunInRegistryTransaction([&] { return body(context); });
}

}  // extern "C"
