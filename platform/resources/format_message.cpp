// FormatMessageA/W: message text from a module's message table, from a short
// table of system messages, or from the caller's string; inserts from an
// argument array (DWORD_PTR values) or a va_list. Text is handled as UTF-8
// inside; the A form reads and writes 8-bit text (UTF-8 here), the W form
// UTF-16. The language identifier is not used: every table has one language.
#include <cstring>
#include <string>
#include <vector>

#include "loaded_modules.h"
#include "message_format.h"
#include "win32/memory.h"
#include "win32/resources.h"
#include "wltext/utf.h"

namespace {

using wl::msg::MessageToken;

// System messages for the error codes the system is likely to report.
const WlMessageEntry kSystemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, "Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough storage is available to process this command.\r\n"},
    {ERROR_INVALID_DATA, "The data is invalid.\r\n"},
    {ERROR_OUTOFMEMORY, "Not enough storage is available to complete this operation.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found.\r\n"},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found.\r\n"},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists.\r\n"},
    {ERROR_MORE_DATA, "More data is available.\r\n"},
    {ERROR_NO_MORE_ITEMS, "No more data is available.\r\n"},
    {ERROR_MR_MID_NOT_FOUND,
     "The system cannot find message text for message number 0x%1 in the message file for "
     "%2.\r\n"},
    {ERROR_BADDB, "The configuration registry database is corrupt.\r\n"},
    {ERROR_REGISTRY_IO_FAILED,
     "An I/O operation initiated by the registry failed unrecoverably.\r\n"},
    {ERROR_KEY_DELETED,
     "Illegal operation attempted on a registry key that has been marked for "
     "deletion.\r\n"},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired.\r\n"},
};

const char* SystemMessage(DWORD id) {
  for (const WlMessageEntry& entry : kSystemMessages) {
    if (entry.id == id) return entry.text;
  }
  return nullptr;
}

// Finds the message source; ERROR_SUCCESS or the error to report.
DWORD MessageSource(DWORD flags, LPCVOID source, DWORD id, bool wideForm, std::string* text) {
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    if (source == nullptr) return ERROR_INVALID_PARAMETER;
    if (wideForm) {
      const char16_t* s = static_cast<const char16_t*>(source);
      *text = wl::text::Utf16ToUtf8(s, wl::text::Utf16Length(s));
    } else {
      *text = static_cast<const char*>(source);
    }
    return ERROR_SUCCESS;
  }
  if (!(flags & (FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM))) {
    return ERROR_INVALID_PARAMETER;
  }
  DWORD error = ERROR_MR_MID_NOT_FOUND;
  if (flags & FORMAT_MESSAGE_FROM_HMODULE) {
    HMODULE module = const_cast<void*>(source);
    if (wl::modules::FindLoaded(module) == nullptr) {
      error = ERROR_INVALID_HANDLE;
    } else if (const char* found = wl::modules::FindMessage(wl::modules::ResourcesOf(module), id)) {
      *text = found;
      return ERROR_SUCCESS;
    }
  }
  if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
    if (const char* found = SystemMessage(id)) {
      *text = found;
      return ERROR_SUCCESS;
    }
    error = ERROR_MR_MID_NOT_FOUND;
  }
  return error;
}

// Reads the arguments of a va_list into slots 1..highest, in order, with the
// type each insert's format gives (numbers without a 64-bit size are 32-bit,
// strings and unused numbers pointer-sized), as the caller pushed them.
std::vector<uint64_t> ReadVaList(const std::vector<MessageToken>& tokens, va_list* args) {
  const int highest = wl::msg::HighestInsert(tokens);
  std::vector<const wl::msg::InsertSpec*> specs(static_cast<size_t>(highest) + 1, nullptr);
  for (const MessageToken& token : tokens) {
    if (token.kind == MessageToken::kInsert && specs[token.number] == nullptr) {
      specs[token.number] = &token.spec;
    }
  }
  std::vector<uint64_t> slots(static_cast<size_t>(highest) + 1, 0);
  for (int n = 1; n <= highest; ++n) {
    const wl::msg::InsertSpec* spec = specs[n];
    if (spec == nullptr || strchr("sSp", spec->conversion) != nullptr) {
      slots[n] = reinterpret_cast<uintptr_t>(va_arg(*args, void*));
    } else if (spec->size == wl::msg::InsertSpec::kLong64) {
      slots[n] = va_arg(*args, unsigned long long);
    } else {
      slots[n] = va_arg(*args, unsigned int);
    }
  }
  return slots;
}

// Delivers the text: into the caller's buffer of nSize characters, or a
// LocalAlloc'd one. Returns the characters stored without the terminator.
template <class Ch>
DWORD Deliver(DWORD flags, const std::basic_string<Ch>& text, Ch* buffer, DWORD size) {
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    Ch** out = reinterpret_cast<Ch**>(buffer);
    if (out == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    *out = nullptr;
    const size_t count = std::max<size_t>(text.size() + 1, size);
    Ch* memory = static_cast<Ch*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, count * sizeof(Ch)));
    if (memory == nullptr) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    memcpy(memory, text.c_str(), (text.size() + 1) * sizeof(Ch));
    *out = memory;
    return static_cast<DWORD>(text.size());
  }
  if (buffer == nullptr || text.size() + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Ch));
  return static_cast<DWORD>(text.size());
}

template <class Ch>
DWORD FormatMessageImpl(DWORD flags, LPCVOID source, DWORD id, Ch* buffer, DWORD size,
                        va_list* arguments) {
  constexpr bool wideForm = sizeof(Ch) == 2;
  std::string templateText;
  DWORD error = MessageSource(flags, source, id, wideForm, &templateText);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  std::vector<MessageToken> tokens;
  if ((error = wl::msg::ParseMessage(templateText, wideForm, ignoreInserts, &tokens)) !=
      ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  wl::msg::ArgumentSlot slot;
  std::vector<uint64_t> slots;
  if (!ignoreInserts && arguments != nullptr) {
    if (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) {
      const DWORD_PTR* array = reinterpret_cast<const DWORD_PTR*>(arguments);
      slot = [array](int n, uint64_t* value) {
        *value = array[n - 1];
        return true;
      };
    } else {
      slots = ReadVaList(tokens, arguments);
      slot = [&slots](int n, uint64_t* value) {
        *value = slots[static_cast<size_t>(n)];
        return true;
      };
    }
  }
  wl::msg::RenderOptions options;
  options.ignoreInserts = ignoreInserts;
  options.maxWidth = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  options.wideForm = wideForm;
  std::string text;
  if ((error = wl::msg::RenderMessage(tokens, options, slot, &text)) != ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  if constexpr (wideForm) {
    return Deliver<Ch>(flags, wl::text::Utf8ToUtf16(text, wl::text::Malformed::kWindows1252),
                       buffer, size);
  } else {
    return Deliver<Ch>(flags, text, buffer, size);
  }
}

}  // namespace

extern "C" {

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments) {
  return FormatMessageImpl<char>(dwFlags, lpSource, dwMessageId, lpBuffer, nSize, Arguments);
}

DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD, LPWSTR lpBuffer,
                     DWORD nSize, va_list* Arguments) {
  return FormatMessageImpl<char16_t>(dwFlags, lpSource, dwMessageId, lpBuffer, nSize, Arguments);
}

}  // extern "C"
