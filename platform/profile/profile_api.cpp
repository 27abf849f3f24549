// GetPrivateProfileStringA/W, GetPrivateProfileIntA/W and
// WritePrivateProfileStringA/W on top of ProfileDocument.
//
// The A forms take 8-bit Windows-1252 text and give it back the same way
// (characters of a UTF-16 file without a 1252 form read as "?"); file names
// in A form are used byte for byte, in W form as UTF-8.
#include <string.h>

#include <string>
#include <vector>

#include "core/trace.h"
#include "files/host_path.h"
#include "memory/code_pages.h"
#include "profile_document.h"
#include "profile_storage.h"
#include "win32/profile.h"

namespace {

// An argument that may be null.
struct OptionalText {
  bool present = false;
  std::u16string text;
};

OptionalText FromAnsi(const char* text) {
  OptionalText result;
  if (text != nullptr) {
    result.present = true;
    result.text = wl::DecodeCodePage(wl::CodePage::kWindows1252, text, strlen(text));
  }
  return result;
}

OptionalText FromWide(const WCHAR* text) {
  OptionalText result;
  if (text != nullptr) {
    result.present = true;
    result.text = text;
  }
  return result;
}

// What a read produced: one value, or a list of names.
struct ProfileAnswer {
  bool isList = false;
  std::u16string value;
  std::vector<std::u16string> names;
  bool found = false;
};

DWORD HostPathOf(const char* fileName, std::string* hostPath) {
  return wl::ResolveWindowsPath(fileName, hostPath);
}

ProfileAnswer ReadProfile(const OptionalText& section, const OptionalText& key,
                          const OptionalText& fallback, const char* fileName) {
  ProfileAnswer answer;
  wl::ProfileText profile;
  std::string path;
  const DWORD pathError =
      fileName != nullptr ? HostPathOf(fileName, &path) : ERROR_INVALID_PARAMETER;
  const DWORD readError =
      pathError == ERROR_SUCCESS ? wl::ReadProfileText(path, &profile) : pathError;
  const bool readable = readError == ERROR_SUCCESS;
  WL_TRACE(kProfile, "read \"%s\" (%s): %lu", fileName != nullptr ? fileName : "(null)",
           path.c_str(), static_cast<unsigned long>(readError));
  wl::ProfileDocument document(readable ? profile.text : std::u16string());
  if (!section.present) {
    answer.isList = true;
    answer.names = document.SectionNames();
    answer.found = true;
    return answer;
  }
  std::u16string sectionName = wl::TrimBlanks(section.text);
  if (!key.present) {
    answer.isList = true;
    answer.found = document.KeyNames(sectionName, &answer.names);
    return answer;
  }
  answer.found = document.Value(sectionName, wl::TrimBlanks(key.text), &answer.value);
  if (!answer.found) {
    // The default loses its trailing blanks, as on Windows.
    std::u16string text = fallback.present ? fallback.text : std::u16string();
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == u' ' || text[end - 1] == u'\t')) --end;
    answer.value = text.substr(0, end);
  }
  return answer;
}

// Copies the answer into a buffer of `size` units with the Win32 truncation
// rules and returns the Win32 count. Unit is char (1252) or WCHAR.
template <class Unit>
DWORD CopyAnswer(const ProfileAnswer& answer, Unit* buffer, DWORD size,
                 std::basic_string<Unit> (*convert)(const std::u16string&)) {
  if (buffer == nullptr || size == 0) return 0;
  if (!answer.isList) {
    std::basic_string<Unit> value = convert(answer.value);
    DWORD length = static_cast<DWORD>(value.size());
    if (length > size - 1) length = size - 1;
    memcpy(buffer, value.data(), length * sizeof(Unit));
    buffer[length] = 0;
    SetLastError(answer.found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    return length;
  }
  std::u16string joined;
  for (const std::u16string& name : answer.names) {
    joined += name;
    joined.push_back(u'\0');
  }
  std::basic_string<Unit> list = convert(joined);
  SetLastError(answer.found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  if (list.size() + 1 <= size) {
    memcpy(buffer, list.data(), list.size() * sizeof(Unit));
    buffer[list.size()] = 0;
    if (list.empty() && size >= 2) buffer[1] = 0;
    return static_cast<DWORD>(list.empty() ? 0 : list.size());
  }
  if (size < 2) {
    buffer[0] = 0;
    return 0;
  }
  // Truncated: the last name is cut and the list ends with two NULs.
  memcpy(buffer, list.data(), (size - 2) * sizeof(Unit));
  buffer[size - 2] = 0;
  buffer[size - 1] = 0;
  SetLastError(ERROR_MORE_DATA);
  return size - 2;
}

std::string ToAnsi(const std::u16string& text) {
  return wl::EncodeCodePage(wl::CodePage::kWindows1252, text.data(), text.size(), '?');
}

std::u16string ToWide(const std::u16string& text) { return text; }

// Win32 reading of a profile integer: leading blanks, an optional sign, then
// decimal digits or "0x" and hexadecimal digits, up to the first other
// character. Absent or empty values give the default; no digits give 0.
UINT ProfileInteger(const ProfileAnswer& answer, INT fallback) {
  if (!answer.found || answer.value.empty()) return static_cast<UINT>(fallback);
  const std::u16string& text = answer.value;
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  UINT base = 10;
  if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  UINT value = 0;
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    UINT digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (base == 16 && c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (base == 16 && c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      break;
    }
    value = value * base + digit;  // wraps modulo 2^32 as a DWORD does
  }
  return negative ? 0u - value : value;
}

BOOL WriteProfile(const OptionalText& section, const OptionalText& key, const OptionalText& value,
                  const char* fileName) {
  if (!section.present) {
    // All null: Windows flushes its cache; here every write is already on disk.
    if (!key.present && !value.present) return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path;
  DWORD error = fileName == nullptr ? ERROR_INVALID_PARAMETER : HostPathOf(fileName, &path);
  if (error == ERROR_SUCCESS) {
    error = wl::WithProfileLock(path, [&]() -> DWORD {
      wl::ProfileText profile;
      DWORD status = wl::ReadProfileText(path, &profile);
      if (status != ERROR_SUCCESS) return status;
      wl::ProfileDocument document(profile.text);
      std::u16string sectionName = wl::TrimBlanks(section.text);
      if (!key.present) {
        document.DeleteSection(sectionName);
      } else if (!value.present) {
        document.DeleteKey(sectionName, wl::TrimBlanks(key.text));
      } else {
        document.SetValue(sectionName, wl::TrimBlanks(key.text), value.text);
      }
      std::u16string text = document.Text();
      if (text == profile.text && profile.exists) return ERROR_SUCCESS;  // nothing changed
      return wl::WriteProfileText(path, profile.encoding, text);
    });
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

std::string WideFileName(LPCWSTR fileName, bool* ok) { return wl::NarrowPath(fileName, ok); }

}  // namespace

extern "C" {

WLAPI DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                     LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  ProfileAnswer answer =
      ReadProfile(FromAnsi(lpAppName), FromAnsi(lpKeyName), FromAnsi(lpDefault), lpFileName);
  return CopyAnswer<char>(answer, lpReturnedString, nSize, ToAnsi);
}

WLAPI DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                     LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
  bool ok = false;
  std::string file = WideFileName(lpFileName, &ok);
  ProfileAnswer answer = ReadProfile(FromWide(lpAppName), FromWide(lpKeyName), FromWide(lpDefault),
                                     ok ? file.c_str() : nullptr);
  return CopyAnswer<char16_t>(answer, lpReturnedString, nSize, ToWide);
}

WLAPI UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                 LPCSTR lpFileName) {
  if (lpAppName == nullptr || lpKeyName == nullptr) return static_cast<UINT>(nDefault);
  ProfileAnswer answer =
      ReadProfile(FromAnsi(lpAppName), FromAnsi(lpKeyName), OptionalText(), lpFileName);
  return ProfileInteger(answer, nDefault);
}

WLAPI UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                 LPCWSTR lpFileName) {
  if (lpAppName == nullptr || lpKeyName == nullptr) return static_cast<UINT>(nDefault);
  bool ok = false;
  std::string file = WideFileName(lpFileName, &ok);
  ProfileAnswer answer = ReadProfile(FromWide(lpAppName), FromWide(lpKeyName), OptionalText(),
                                     ok ? file.c_str() : nullptr);
  return ProfileInteger(answer, nDefault);
}

WLAPI BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                      LPCSTR lpFileName) {
  return WriteProfile(FromAnsi(lpAppName), FromAnsi(lpKeyName), FromAnsi(lpString), lpFileName);
}

WLAPI BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                      LPCWSTR lpFileName) {
  bool ok = false;
  std::string file = WideFileName(lpFileName, &ok);
  return WriteProfile(FromWide(lpAppName), FromWide(lpKeyName), FromWide(lpString),
                      ok ? file.c_str() : nullptr);
}

}  // extern "C"
