// purgewiz: removes an installed agent, driven by the uninstall
// configuration file named on its command line (see docs/uninstall.md).
#include <cstdlib>
#include <string>

#include "agent/uninstall/purge_steps.h"
#include "win32/files.h"
#include "win32/ui.h"

using namespace purgewiz;

namespace {

const char kConfirmCaption[] = "Uninstall Confirmation";
constexpr UINT kFirstStep = WM_USER + 1;
constexpr int kStatusText = 1001;

void fail(HWND dialog, const char* text) {
  MessageBoxA(dialog, text, "Error", MB_OK);
  EndDialog(dialog, 0);
}

INT_PTR CALLBACK progressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, kStatusText,
                      "Please wait for uninstallation removing Wardenline Agent from the system.");
      PostMessageA(dialog, kFirstStep, 0, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        MessageBoxA(dialog, "You can't cancel uninstallation now.", kConfirmCaption, MB_OK);
        return TRUE;
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0u) == SC_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    default:
      break;
  }
  if (message < kFirstStep || message > kFirstStep + 6) return FALSE;
  const UINT next = message + 1;
  switch (message - kFirstStep + 1) {
    case 1:
      if (!findAgent()) return fail(dialog, "No Wardenline Agent found"), TRUE;
      break;
    case 2:
      SetDlgItemTextA(dialog, kStatusText, "deleting program group and items.");
      if (!deleteProgramGroup()) return fail(dialog, "Fail to delete program group"), TRUE;
      break;
    case 3:
      SetDlgItemTextA(dialog, kStatusText, "Deleting Windows NT services.");
      BringWindowToTop(dialog);
      deleteServices();
      break;
    case 4:
      SetDlgItemTextA(dialog, kStatusText, "Deleting registry.");
      deleteRegistry();
      break;
    case 5:
      SetDlgItemTextA(dialog, kStatusText, "Restart SNMP Service.");
      if (!restartSnmp()) return fail(dialog, "Fail to restart SNMP Service"), TRUE;
      break;
    case 6:
      SetDlgItemTextA(dialog, kStatusText, "Deleting files.");
      deleteFiles();
      break;
    case 7:
      MessageBoxA(dialog,
                  "Wardenline Agent for Windows NT Server software has been uninstalled from the "
                  "system.",
                  kConfirmCaption, MB_OK);
      EndDialog(dialog, 0);
      return TRUE;
  }
  PostMessageA(dialog, next, 0, 0);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  Ctl3dRegister(nullptr);
  Ctl3dAutoSubclass(nullptr);
  // The command line, taken whole, names the file (cut to 259 bytes).
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
    if (commandLine.size() > 259) break;
  }
  if (commandLine.size() > 259) commandLine.resize(259);
  purgeState.configFile = commandLine;
  // Tests shorten the fixed waits of the restart and the service polling.
  if (const char* ms = std::getenv("WARDENLINE_PURGEWIZ_SECOND_MS")) {
    purgeState.secondMs = static_cast<unsigned>(std::strtoul(ms, nullptr, 10) % 100000);
  }
  if (!commandLine.empty()) {
    if (GetFileAttributesA(commandLine.c_str()) == INVALID_FILE_ATTRIBUTES) {
      MessageBoxA(nullptr, "invalid configuration file", "Error", MB_OK);
    } else if (MessageBoxA(nullptr,
                           "Are you sure you want to uninstall Wardenline Agent for Windows NT "
                           "Server software? ",
                           kConfirmCaption, MB_YESNO | MB_ICONQUESTION) == IDYES) {
      const WL_DIALOG_TEMPLATE progress = {
          "Wardenline Agent Uninstallation", 209, 64, kStatusText, 16, 15, 178, 14};
      wl_DialogBoxTemplate(&progress, nullptr, progressProc, 0);
    }
  }
  Ctl3dUnregister(nullptr);
  return 0;
}
