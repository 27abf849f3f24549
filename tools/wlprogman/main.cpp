// wlprogman: sends Program Manager commands over DDE, as an installer does:
//   wlprogman '[CreateGroup(Name)][AddItem(command,Item)]'
// Exit status 0 when every command was carried out, 1 otherwise.
#include <cstdio>
#include <cstring>

#include "win32/dde.h"

namespace {
HDDEDATA CALLBACK NoCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, UINT_PTR, UINT_PTR) {
  return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: wlprogman COMMANDS\n");
    return 2;
  }
  DWORD instance = 0;
  if (DdeInitializeA(&instance, NoCallback, APPCMD_CLIENTONLY | CBF_FAIL_ALLSVRXACTIONS, 0) !=
      DMLERR_NO_ERROR) {
    return 1;
  }
  HSZ name = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HCONV conversation = DdeConnect(instance, name, name, nullptr);
  bool done = false;
  if (conversation != nullptr) {
    DWORD result = 0;
    done = DdeClientTransaction(reinterpret_cast<LPBYTE>(argv[1]),
                                static_cast<DWORD>(strlen(argv[1]) + 1), conversation, nullptr, 0,
                                XTYP_EXECUTE, 1000, &result) != nullptr;
    DdeDisconnect(conversation);
  }
  DdeFreeStringHandle(instance, name);
  DdeUninitialize(instance);
  if (!done) fprintf(stderr, "wlprogman: the commands were not carried out\n");
  return done ? 0 : 1;
}
