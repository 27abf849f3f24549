// Message boxes and the modal dialog: newt in a terminal, lines on standard
// error otherwise.
#include <newt.h>
#include <poll.h>
#include <stdio.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "win32/ui.h"

// Exported by libnewt, though its header does not declare it.
extern "C" int newtGetKey(void);

namespace {

constexpr size_t kMaxBoxText = 4096;
constexpr size_t kMaxItemText = 255;

struct Posted {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct Dialog {
  WL_DIALOG_TEMPLATE layout{};
  std::string caption;
  DLGPROC procedure = nullptr;
  std::deque<Posted> queue;
  bool ended = false;
  INT_PTR result = 0;
  std::string text;  // of the static control
  newtComponent textbox = nullptr;
  int textWidth = 0, textHeight = 0;
};

Dialog* running = nullptr;
bool screenOpen = false;

HWND Handle(Dialog* d) { return reinterpret_cast<HWND>(d); }

bool UseTerminal() {
  static const bool terminal = [] {
    const char* term = getenv("TERM");
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) && term != nullptr && term[0] != '\0' &&
           strcmp(term, "dumb") != 0;
  }();
  return terminal;
}

std::string Cut(LPCSTR text, size_t limit) {
  if (text == nullptr) return {};
  return std::string(text, strnlen(text, limit));
}

// Control characters other than newline become blanks: the text may come from
// a file and must not drive the terminal.
std::string Printable(std::string text) {
  for (char& c : text) {
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7f) c = ' ';
  }
  return text;
}

// Words of the text in lines of at most width cells (a longer word is split).
std::vector<std::string> Wrap(const std::string& text, size_t width) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string paragraph = text.substr(start, end - start);
    std::string line;
    size_t p = 0;
    while (p < paragraph.size()) {
      size_t q = paragraph.find(' ', p);
      if (q == std::string::npos) q = paragraph.size();
      std::string word = paragraph.substr(p, q - p);
      p = q + 1;
      while (word.size() > width) {
        if (!line.empty()) lines.push_back(line), line.clear();
        lines.push_back(word.substr(0, width));
        word.erase(0, width);
      }
      if (line.empty()) {
        line = word;
      } else if (line.size() + 1 + word.size() <= width) {
        line += ' ' + word;
      } else {
        lines.push_back(line);
        line = word;
      }
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void OpenScreen() {
  if (screenOpen) return;
  newtInit();
  newtCls();
  newtCursorOff();
  screenOpen = true;
}

void CloseScreen() {
  if (!screenOpen) return;
  newtFinished();
  screenOpen = false;
}

const char* IconMark(UINT type) {
  switch (type & 0xF0u) {
    case MB_ICONHAND:
      return "(x) ";
    case MB_ICONQUESTION:
      return "(?) ";
    case MB_ICONEXCLAMATION:
      return "(!) ";
    case MB_ICONINFORMATION:
      return "(i) ";
    default:
      return "";
  }
}

int TerminalBox(const std::string& caption, const std::string& text, bool yesNo) {
  const bool opened = !screenOpen;
  OpenScreen();
  int cols = 80, rows = 24;
  newtGetScreenSize(&cols, &rows);
  const size_t width = static_cast<size_t>(std::clamp(cols - 10, 20, 60));
  std::vector<std::string> lines = Wrap(text, width);
  const size_t maxLines = static_cast<size_t>(std::max(1, rows - 10));
  if (lines.size() > maxLines) lines.resize(maxLines);
  size_t used = 16;
  for (const auto& l : lines) used = std::max(used, l.size());
  std::string joined;
  for (const auto& l : lines) joined += l + "\n";
  if (!joined.empty()) joined.pop_back();
  const int w = static_cast<int>(used) + 4;
  const int h = static_cast<int>(lines.size()) + 5;
  newtCenteredWindow(w, h, caption.c_str());
  newtComponent form = newtForm(nullptr, nullptr, 0);
  newtComponent box = newtTextbox(2, 1, static_cast<int>(used), static_cast<int>(lines.size()), 0);
  newtTextboxSetText(box, joined.c_str());
  newtComponent first = nullptr, second = nullptr;
  if (yesNo) {
    first = newtCompactButton(w / 2 - 9, h - 2, "Yes");
    second = newtCompactButton(w / 2 + 2, h - 2, "No");
    newtFormAddComponents(form, box, first, second, nullptr);
  } else {
    first = newtCompactButton(w / 2 - 3, h - 2, "OK");
    newtFormAddComponents(form, box, first, nullptr);
  }
  newtFormAddHotKey(form, NEWT_KEY_ESCAPE);
  newtExitStruct exit{};
  newtFormRun(form, &exit);
  int answer = yesNo ? IDNO : IDOK;
  if (exit.reason == newtExitStruct::NEWT_EXIT_COMPONENT && yesNo && exit.u.co == first) {
    answer = IDYES;
  }
  newtFormDestroy(form);
  newtPopWindow();
  newtRefresh();
  if (opened && running == nullptr) CloseScreen();
  return answer;
}

int LineBox(const std::string& caption, const std::string& text, UINT type, bool yesNo) {
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  fprintf(stderr, "%s: %s%s%s", caption.c_str(), IconMark(type), line.c_str(),
          yesNo ? " [yes/no] " : "\n");
  fflush(stderr);
  if (!yesNo) return IDOK;
  char answer[64];
  if (fgets(answer, sizeof answer, stdin) == nullptr) {
    fputc('\n', stderr);
    return IDNO;
  }
  std::string a(answer);
  if (!isatty(STDIN_FILENO)) {
    // The answer came from a pipe: show it, so the log reads as a dialogue.
    fprintf(stderr, "%s", a.c_str());
    if (a.empty() || a.back() != '\n') fputc('\n', stderr);
  }
  if (a.find('\n') == std::string::npos && !feof(stdin)) {
    // An overlong line is no answer; drop the rest of it.
    int c;
    while ((c = fgetc(stdin)) != EOF && c != '\n') {
    }
    return IDNO;
  }
  while (!a.empty() && (a.back() == '\n' || a.back() == '\r' || a.back() == ' ')) a.pop_back();
  size_t s = a.find_first_not_of(' ');
  a = s == std::string::npos ? "" : a.substr(s);
  return strcasecmp(a.c_str(), "yes") == 0 || strcasecmp(a.c_str(), "y") == 0 ? IDYES : IDNO;
}

void DrawText(Dialog& d) {
  if (d.textbox == nullptr) return;
  std::vector<std::string> lines = Wrap(d.text, static_cast<size_t>(d.textWidth));
  if (lines.size() > static_cast<size_t>(d.textHeight))
    lines.resize(static_cast<size_t>(d.textHeight));
  std::string joined;
  // Vertically and horizontally centred, every line padded to the full width.
  const size_t top = (static_cast<size_t>(d.textHeight) - lines.size()) / 2;
  for (size_t row = 0; row < static_cast<size_t>(d.textHeight); ++row) {
    std::string line;
    if (row >= top && row - top < lines.size()) line = lines[row - top];
    const size_t pad = (static_cast<size_t>(d.textWidth) - line.size()) / 2;
    line = std::string(pad, ' ') + line;
    line.resize(static_cast<size_t>(d.textWidth), ' ');
    joined += line;
    if (row + 1 < static_cast<size_t>(d.textHeight)) joined += '\n';
  }
  newtTextboxSetText(d.textbox, joined.c_str());
  newtRefresh();
}

void Dispatch(Dialog& d, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR handled = d.procedure(Handle(&d), message, wParam, lParam);
  if (handled || d.ended) return;
  if ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) ||
      (message == WM_SYSCOMMAND && (wParam & 0xFFF0u) == SC_CLOSE)) {
    d.ended = true;
    d.result = IDCANCEL;
  }
}

void HandleKey(Dialog& d, int key) {
  if (key == NEWT_KEY_ESCAPE) {
    Dispatch(d, WM_COMMAND, IDCANCEL, 0);
  } else if (key == NEWT_KEY_F4) {
    Dispatch(d, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
}

bool KeyWaiting() {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

}  // namespace

extern "C" {

int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  const UINT buttons = uType & 0x0Fu;
  if (buttons != MB_OK && buttons != MB_YESNO) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string text = Printable(Cut(lpText, kMaxBoxText));
  const std::string caption = Printable(Cut(lpCaption == nullptr ? "Error" : lpCaption, 255));
  if (UseTerminal()) {
    return TerminalBox(caption, IconMark(uType) + text, buttons == MB_YESNO);
  }
  return LineBox(caption, text, uType, buttons == MB_YESNO);
}

INT_PTR wl_DialogBoxTemplate(const WL_DIALOG_TEMPLATE* lpTemplate, HWND, DLGPROC lpDialogFunc,
                             LPARAM dwInitParam) {
  if (running != nullptr || lpTemplate == nullptr || lpDialogFunc == nullptr ||
      lpTemplate->cx <= 0 || lpTemplate->cy <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  Dialog d;
  d.layout = *lpTemplate;
  d.caption = Printable(Cut(lpTemplate->caption, 255));
  d.procedure = lpDialogFunc;
  running = &d;
  const bool terminal = UseTerminal();
  newtComponent form = nullptr;
  if (terminal) {
    OpenScreen();
    const int cols = std::max(20, d.layout.cx / 4);
    const int rows = std::max(4, d.layout.cy / 8);
    newtCenteredWindow(cols, rows, d.caption.c_str());
    d.textWidth = std::clamp(d.layout.width / 4, 1, cols - 2);
    d.textHeight = std::clamp(d.layout.height / 8, 2, rows - 1);
    const int left = std::clamp(d.layout.x / 4, 0, cols - d.textWidth);
    const int top = std::clamp(d.layout.y / 8, 0, rows - d.textHeight);
    d.textbox = newtTextbox(left, top, d.textWidth, d.textHeight, 0);
    form = newtForm(nullptr, nullptr, 0);
    newtFormAddComponent(form, d.textbox);
    newtDrawForm(form);
    DrawText(d);
  }
  Dispatch(d, WM_INITDIALOG, 0, dwInitParam);
  while (!d.ended) {
    if (terminal && (d.queue.empty() || KeyWaiting())) {
      if (d.queue.empty()) newtRefresh();
      HandleKey(d, newtGetKey());
      continue;
    }
    if (d.queue.empty()) {
      // Nothing can happen any more without a keyboard: as if closed.
      d.ended = true;
      d.result = IDCANCEL;
      break;
    }
    const Posted next = d.queue.front();
    d.queue.pop_front();
    Dispatch(d, next.message, next.wParam, next.lParam);
    if (terminal) {
      newtDrawForm(form);
      newtRefresh();
    }
  }
  if (terminal) {
    newtFormDestroy(form);
    newtPopWindow();
    CloseScreen();
  }
  running = nullptr;
  return d.result;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
  if (running == nullptr || hDlg != Handle(running)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  running->ended = true;
  running->result = nResult;
  return TRUE;
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  if (running == nullptr || hDlg != Handle(running) || nIDDlgItem != running->layout.staticId) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Dialog& d = *running;
  d.text = Printable(Cut(lpString, kMaxItemText));
  if (d.textbox != nullptr) {
    DrawText(d);
  } else {
    fprintf(stderr, "%s: %s\n", d.caption.c_str(), d.text.c_str());
    fflush(stderr);
  }
  return TRUE;
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
  if (running == nullptr || hDlg != Handle(running) || nIDDlgItem != running->layout.staticId ||
      lpString == nullptr || cchMax <= 0) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const size_t n = std::min(running->text.size(), static_cast<size_t>(cchMax - 1));
  memcpy(lpString, running->text.data(), n);
  lpString[n] = '\0';
  return static_cast<UINT>(n);
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (running == nullptr || hWnd != Handle(running)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (running->queue.size() >= 10000) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  running->queue.push_back({Msg, wParam, lParam});
  return TRUE;
}

BOOL BringWindowToTop(HWND) { return TRUE; }
BOOL Ctl3dRegister(HINSTANCE) { return TRUE; }
BOOL Ctl3dAutoSubclass(HINSTANCE) { return TRUE; }
BOOL Ctl3dUnregister(HINSTANCE) { return TRUE; }

}  // extern "C"
