// Program Manager command strings: any bytes are refused or carried out on a
// temporary menu tree, never read past.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "win32/dde.h"

namespace {

HDDEDATA CALLBACK NoCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, UINT_PTR, UINT_PTR) {
  return nullptr;
}

struct Tree {
  std::string dir;
  Tree() {
    char pattern[] = "/tmp/progman-fuzz-XXXXXX";
    if (mkdtemp(pattern) != nullptr) dir = pattern;
    setenv("XDG_CONFIG_DIRS", (dir + "/xdg").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir + "/share").c_str(), 1);
  }
  ~Tree() { std::filesystem::remove_all(dir); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Tree tree;
  DWORD instance = 0;
  if (DdeInitializeA(&instance, NoCallback, CBF_FAIL_ALLSVRXACTIONS, 0) != DMLERR_NO_ERROR)
    return 0;
  HSZ progman = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HCONV conversation = DdeConnect(instance, progman, progman, nullptr);
  if (conversation != nullptr) {
    DdeClientTransaction(const_cast<LPBYTE>(data), static_cast<DWORD>(size), conversation, nullptr,
                         0, XTYP_EXECUTE, 1000, nullptr);
    DdeDisconnect(conversation);
  }
  DdeFreeStringHandle(instance, progman);
  DdeUninitialize(instance);
  return 0;
}
