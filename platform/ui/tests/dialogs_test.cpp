// Message boxes and the dialog without a terminal: answers from standard
// input, texts on standard error, posted messages handled in order.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "win32/ui.h"

namespace {

// Runs MessageBoxA with the given bytes as standard input.
int Answer(const std::string& input) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(fds[1]);
  const int saved = dup(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);
  clearerr(stdin);
  const int result = MessageBoxA(nullptr, "Sure?", "Question", MB_YESNO | MB_ICONQUESTION);
  dup2(saved, STDIN_FILENO);
  close(saved);
  clearerr(stdin);
  return result;
}

TEST(MessageBoxTest, YesNoIsAnsweredFromStandardInput) {
  EXPECT_EQ(Answer("yes\n"), IDYES);
  EXPECT_EQ(Answer("Y\n"), IDYES);
  EXPECT_EQ(Answer("  yes  \r\n"), IDYES);
  EXPECT_EQ(Answer("no\n"), IDNO);
  EXPECT_EQ(Answer("yesss\n"), IDNO);
  EXPECT_EQ(Answer(""), IDNO);
  EXPECT_EQ(Answer("y"), IDYES);  // the last line without its newline
  EXPECT_EQ(Answer(std::string(100, 'y') + "\n"), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "text", "Caption", MB_OK | MB_ICONINFORMATION), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "text", "Caption", 0x3 /* MB_YESNOCANCEL */), 0);
}

std::vector<UINT> seen;

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  seen.push_back(message);
  if (message == WM_INITDIALOG) {
    EXPECT_EQ(lParam, 42);
    EXPECT_TRUE(SetDlgItemTextA(dialog, 1001, "first"));
    EXPECT_FALSE(SetDlgItemTextA(dialog, 1002, "no such control"));
    PostMessageA(dialog, WM_USER + 1, 0, 0);
    PostMessageA(dialog, WM_USER + 2, 0, 0);
    return TRUE;
  }
  if (message == WM_USER + 1) {
    char text[4];
    EXPECT_EQ(GetDlgItemTextA(dialog, 1001, text, sizeof text), 3u);  // cut to the buffer
    EXPECT_STREQ(text, "fir");
    return TRUE;
  }
  if (message == WM_USER + 2) {
    PostMessageA(dialog, WM_USER + 3, 0, 0);
    return TRUE;
  }
  if (message == WM_USER + 3) {
    EndDialog(dialog, 7);
    return TRUE;
  }
  return FALSE;
}

TEST(DialogTest, PostedMessagesRunOneByOneUntilEndDialog) {
  const WL_DIALOG_TEMPLATE layout = {"Caption", 209, 64, 1001, 16, 15, 178, 14};
  EXPECT_EQ(wl_DialogBoxTemplate(&layout, nullptr, Procedure, 42), 7);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_INITDIALOG, WM_USER + 1, WM_USER + 2, WM_USER + 3}));
  EXPECT_FALSE(PostMessageA(nullptr, WM_USER, 0, 0));  // no dialog any more
  const WL_DIALOG_TEMPLATE empty = {"Caption", 0, 0, 1001, 0, 0, 0, 0};
  EXPECT_EQ(wl_DialogBoxTemplate(&empty, nullptr, Procedure, 0), -1);
}

}  // namespace
