#include "message_format.h"

namespace wl::msg {
namespace {

void AppendText(std::vector<MessageToken>* tokens, const std::string& text) {
  if (!tokens->empty() && tokens->back().kind == MessageToken::kText) {
    tokens->back().text += text;
  } else {
    MessageToken token;
    token.text = text;
    tokens->push_back(std::move(token));
  }
}

// Wraps each line (lines end at hard breaks, "\r\n") at blanks to `width`.
std::string Wrap(const std::string& text, size_t width) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    const bool last = end == std::string::npos;
    if (last) end = text.size();
    std::string line = text.substr(start, end - start);
    while (line.size() > width) {
      size_t cut = line.rfind(' ', width);
      if (cut == std::string::npos || cut == 0) {
        out += line.substr(0, width) + "\r\n";
        line.erase(0, width);
      } else {
        out += line.substr(0, cut) + "\r\n";
        line.erase(0, cut + 1);
      }
    }
    out += line;
    if (last) break;
    out += "\r\n";
    start = end + 2;
  }
  return out;
}

}  // namespace

DWORD ParseMessage(const std::string& source, bool wideForm, bool ignoreInserts,
                   std::vector<MessageToken>* tokens) {
  tokens->clear();
  size_t pos = 0;
  while (pos < source.size()) {
    const char c = source[pos];
    if (c == '\r' || c == '\n') {
      MessageToken token;
      token.kind = MessageToken::kRegularBreak;
      const size_t length =
          (c == '\r' && pos + 1 < source.size() && source[pos + 1] == '\n') ? 2 : 1;
      token.text = source.substr(pos, length);
      tokens->push_back(std::move(token));
      pos += length;
      continue;
    }
    if (c != '%') {
      const size_t next = source.find_first_of("%\r\n", pos);
      const size_t end = next == std::string::npos ? source.size() : next;
      AppendText(tokens, source.substr(pos, end - pos));
      pos = end;
      continue;
    }
    // An escape.
    if (pos + 1 >= source.size()) break;  // a lone % at the end gives nothing
    const char e = source[pos + 1];
    if (e == '0') break;  // %0: the message ends here
    if (e >= '1' && e <= '9') {
      const size_t start = pos;
      int number = e - '0';
      pos += 2;
      if (pos < source.size() && source[pos] >= '0' && source[pos] <= '9') {
        number = number * 10 + (source[pos] - '0');
        ++pos;
      }
      MessageToken token;
      token.kind = MessageToken::kInsert;
      token.number = number;
      std::string spec = "s";
      const size_t afterNumber = pos;
      bool understood = true;
      if (pos < source.size() && source[pos] == '!') {
        const size_t close = source.find('!', pos + 1);
        if (close == std::string::npos) {
          understood = false;
        } else {
          spec = source.substr(pos + 1, close - pos - 1);
          pos = close + 1;
        }
      }
      if (!understood || !ParseInsertSpec(spec, wideForm, &token.spec)) {
        if (!ignoreInserts) return ERROR_INVALID_PARAMETER;
        // Copied as written; the text after the number is read as text again.
        pos = afterNumber;
        AppendText(tokens, source.substr(start, pos - start));
        continue;
      }
      token.text = source.substr(start, pos - start);
      tokens->push_back(std::move(token));
      continue;
    }
    pos += 2;
    switch (e) {
      case 'n': {
        MessageToken token;
        token.kind = MessageToken::kHardBreak;
        token.text = "\r\n";
        tokens->push_back(std::move(token));
        break;
      }
      case 'r':
        AppendText(tokens, "\r");
        break;
      case 't':
        AppendText(tokens, "\t");
        break;
      default:
        AppendText(tokens, std::string(1, e));  // %%, %., %!, "% " and the rest
        break;
    }
  }
  return ERROR_SUCCESS;
}

int HighestInsert(const std::vector<MessageToken>& tokens) {
  int highest = 0;
  for (const MessageToken& token : tokens) {
    if (token.kind == MessageToken::kInsert && token.number > highest) highest = token.number;
  }
  return highest;
}

DWORD RenderMessage(const std::vector<MessageToken>& tokens, const RenderOptions& options,
                    const ArgumentSlot& argument, std::string* out) {
  out->clear();
  const unsigned width = options.maxWidth & 0xFFu;
  for (const MessageToken& token : tokens) {
    switch (token.kind) {
      case MessageToken::kText:
      case MessageToken::kHardBreak:
        *out += token.text;
        break;
      case MessageToken::kRegularBreak:
        *out += width == 0 ? token.text : std::string(" ");
        break;
      case MessageToken::kInsert: {
        if (options.ignoreInserts) {
          *out += token.text;
          break;
        }
        uint64_t slot = 0;
        if (!argument || !argument(token.number, &slot)) return ERROR_INVALID_PARAMETER;
        AppendInsert(token.spec, options.wideForm, slot, out);
        break;
      }
    }
  }
  if (width != 0 && width != 0xFF) *out = Wrap(*out, width);
  return ERROR_SUCCESS;
}

}  // namespace wl::msg
