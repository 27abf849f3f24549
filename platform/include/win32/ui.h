// Message boxes and one modal dialog at a time, for small interactive
// programs. Drawn with newt when standard input and output are a terminal;
// otherwise every box and every text set on a dialog is one line on standard
// error, and a Yes/No question reads one line from standard input ("yes" or
// "y", any case, is Yes; anything else or end of input is No).
//
// The dialog runs on the caller's thread: DialogBox... handles the messages
// posted to it one by one, redrawing the screen after each, and reads the
// keyboard between them (Escape is WM_COMMAND IDCANCEL; F4 is the
// system menu's close, WM_SYSCOMMAND SC_CLOSE). Not thread safe: one thread.
//
// Registering with the 3-D controls library (Ctl3dRegister and friends) does
// nothing here: the terminal draws every control the same way.
#pragma once

#include "win32/types.h"

typedef struct HWND__* HWND;
typedef UINT_PTR WPARAM;
typedef INT_PTR LPARAM;
typedef INT_PTR LRESULT;
typedef INT_PTR(CALLBACK* DLGPROC)(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

#define MB_OK 0x00000000u
#define MB_YESNO 0x00000004u
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION 0x00000040u

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define WM_CLOSE 0x0010u
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define WM_SYSCOMMAND 0x0112u
#define WM_USER 0x0400u
#define SC_CLOSE 0xF060u

#define LOWORD(l) ((WORD)(((UINT_PTR)(l)) & 0xffff))

// Not Win32: a dialog template in plain fields (sizes in dialog units, which
// become terminal cells at 4 units a column and 8 a row). One static text
// control, centred in its rectangle; the dialog is centred on the screen.
typedef struct WL_DIALOG_TEMPLATE {
  LPCSTR caption;
  short cx, cy;
  int staticId;
  short x, y, width, height;
} WL_DIALOG_TEMPLATE;

WL_EXTERN_C_BEGIN
// MB_OK or MB_YESNO with an optional icon flag. Returns IDOK, IDYES or IDNO
// (IDNO also for Escape), 0 with ERROR_INVALID_PARAMETER for other buttons.
// Texts longer than 4096 bytes are cut.
WLAPI int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// Runs the dialog until EndDialog; returns the value given to EndDialog, or
// -1 when another dialog is running or the template is invalid. The procedure
// receives WM_INITDIALOG with lParam first. Messages it does not handle
// (returns FALSE for): IDCANCEL and SC_CLOSE end the dialog with IDCANCEL.
WLAPI INT_PTR wl_DialogBoxTemplate(const WL_DIALOG_TEMPLATE* lpTemplate, HWND hWndParent,
                                   DLGPROC lpDialogFunc, LPARAM dwInitParam);
WLAPI BOOL EndDialog(HWND hDlg, INT_PTR nResult);
// Texts longer than 255 bytes are cut. FALSE for an unknown window or id.
WLAPI BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
WLAPI UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);
// Queues the message for the running dialog; FALSE with
// ERROR_INVALID_WINDOW_HANDLE for any other window.
WLAPI BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Nothing to do in a terminal: the dialog is always on top. TRUE.
WLAPI BOOL BringWindowToTop(HWND hWnd);

// The 3-D controls library: nothing to do; TRUE.
WLAPI BOOL Ctl3dRegister(HINSTANCE hInstance);
WLAPI BOOL Ctl3dAutoSubclass(HINSTANCE hInstance);
WLAPI BOOL Ctl3dUnregister(HINSTANCE hInstance);
WL_EXTERN_C_END
