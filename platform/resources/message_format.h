// The message template language of FormatMessage, as a parser and a renderer
// over UTF-8 text. Internal to the platform library; no state, any thread.
//
// Escapes: "%1".."%99" inserts, optionally with a printf-style format between
// exclamation marks ("%1!d!", default "s"); "%0" ends the message (no line
// break follows); "%n" a hard line break (CR LF); "%r" a CR; "%t" a tab; "%%",
// "%.", "%!" and "% " the character itself (any other "%c" gives c). Line
// breaks written in the text itself are regular ones: kept as they are, or,
// with a maximum width, turned into spaces (width 0xFF: no wrapping at all;
// 1..254: lines are wrapped at blanks to that width).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "insert_format.h"
#include "win32/types.h"

namespace wl::msg {

struct MessageToken {
  enum Kind { kText, kInsert, kHardBreak, kRegularBreak } kind = kText;
  std::string text;  // kText: the text; kInsert: the insert as written; kRegularBreak: as written
  int number = 0;    // kInsert: 1..99
  InsertSpec spec;   // kInsert
};

// Splits a template into tokens (up to "%0" when present). ERROR_SUCCESS, or
// ERROR_INVALID_PARAMETER for an insert whose format is not closed or not
// understood (with `ignoreInserts` such an insert is kept as text).
DWORD ParseMessage(const std::string& source, bool wideForm, bool ignoreInserts,
                   std::vector<MessageToken>* tokens);

// The highest insert number the tokens use (0 when none).
int HighestInsert(const std::vector<MessageToken>& tokens);

struct RenderOptions {
  bool ignoreInserts = false;  // inserts are copied as written
  unsigned maxWidth = 0;       // FORMAT_MESSAGE_MAX_WIDTH_MASK part of the flags
  bool wideForm = false;
};

// Fetches the argument slot of insert n (1-based); false when there is none.
using ArgumentSlot = std::function<bool(int number, uint64_t* slot)>;

// Renders the tokens. ERROR_SUCCESS, or ERROR_INVALID_PARAMETER when an
// insert has no argument.
DWORD RenderMessage(const std::vector<MessageToken>& tokens, const RenderOptions& options,
                    const ArgumentSlot& argument, std::string* out);

}  // namespace wl::msg
