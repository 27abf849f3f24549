#include "trap_key.h"

#include <string>
#include <vector>

#include "win32/registry.h"

namespace mgrseek {
namespace {

// A value changed size under us this often in a row: give up the pass.
constexpr int kMaxRetries = 16;

struct ValueSizes {
  DWORD nameChars = 0;  // without the terminator
  DWORD dataBytes = 0;
};

LONG querySizes(HKEY key, ValueSizes* sizes) {
  return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          &sizes->nameChars, &sizes->dataBytes, nullptr, nullptr);
}

// Value `index` whole; ERROR_NO_MORE_ITEMS past the last.
LONG enumWhole(HKEY key, DWORD index, std::string* name, DWORD* type, std::string* data) {
  for (int attempt = 0; attempt < kMaxRetries; ++attempt) {
    ValueSizes sizes;
    LONG rc = querySizes(key, &sizes);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<char> nameBuffer(sizes.nameChars + 1);
    std::vector<BYTE> dataBuffer(sizes.dataBytes + 1);
    DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
    DWORD dataLength = static_cast<DWORD>(dataBuffer.size());
    rc = RegEnumValueA(key, index, nameBuffer.data(), &nameLength, nullptr, type, dataBuffer.data(),
                       &dataLength);
    if (rc == ERROR_MORE_DATA) continue;  // grew since the sizes were read
    if (rc != ERROR_SUCCESS) return rc;
    name->assign(nameBuffer.data(), nameLength);
    data->assign(reinterpret_cast<const char*>(dataBuffer.data()), dataLength);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

}  // namespace

LONG readTrapKey(ManagerEntry** list) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, KEY_READ, &key);
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  for (DWORD index = 0;; ++index) {
    std::string name, data;
    DWORD type = 0;
    rc = enumWhole(key, index, &name, &type, &data);
    if (rc == ERROR_NO_MORE_ITEMS) {
      rc = ERROR_SUCCESS;
      break;
    }
    if (rc != ERROR_SUCCESS) break;
    auto* entry = new ManagerEntry;
    entry->valueName = name;
    // REG_SZ data comes with its terminator.
    const size_t textLength =
        type == REG_SZ && !data.empty() && data.back() == '\0' ? data.size() - 1 : data.size();
    if (type == REG_SZ && isStrictIpxText(data.data(), textLength)) {
      entry->kind = kIpxAddress;
      data.copy(entry->network, 8, 0);
      data.copy(entry->node, 12, 9);
    } else {
      entry->kind = kOtherDestination;
      entry->valueType = type;
      entry->destination = data;
    }
    insertFront(list, entry);
  }
  RegCloseKey(key);
  return rc;
}

LONG writeTrapKey(const ManagerEntry* list) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, KEY_ALL_ACCESS, &key);
  if (rc == ERROR_SUCCESS) {
    std::vector<std::string> names;
    for (DWORD index = 0; rc == ERROR_SUCCESS; ++index) {
      std::string name, data;
      DWORD type = 0;
      rc = enumWhole(key, index, &name, &type, &data);
      if (rc == ERROR_SUCCESS) names.push_back(name);
    }
    if (rc == ERROR_NO_MORE_ITEMS) rc = ERROR_SUCCESS;
    for (size_t i = 0; i < names.size() && rc == ERROR_SUCCESS; ++i) {
      rc = RegDeleteValueA(key, names[i].c_str());
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return rc;
  } else if (rc != ERROR_FILE_NOT_FOUND) {
    return rc;
  }
  char keyClass[] = "public";
  DWORD disposition = 0;
  rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTrapKeyPath, 0, keyClass, REG_OPTION_NON_VOLATILE,
                       KEY_ALL_ACCESS, nullptr, &key, &disposition);
  if (rc != ERROR_SUCCESS) return rc;
  int number = 1;
  for (const ManagerEntry* e = list; e != nullptr && rc == ERROR_SUCCESS; e = e->next, ++number) {
    const std::string name = std::to_string(number);
    if (e->kind == kIpxAddress) {
      const std::string text = ipxText(*e);
      rc = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
    } else {
      rc = RegSetValueExA(key, name.c_str(), 0, e->valueType,
                          reinterpret_cast<const BYTE*>(e->destination.data()),
                          static_cast<DWORD>(e->destination.size()));
    }
  }
  if (rc == ERROR_SUCCESS) rc = RegFlushKey(key);
  RegCloseKey(key);
  return rc;
}

}  // namespace mgrseek
