// DDEML client calls with Program Manager as the only server.
#include <strings.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "progman.h"
#include "win32/dde.h"

namespace {

constexpr DWORD kMaxData = 4096;

struct Instance {
  UINT lastError = DMLERR_NO_ERROR;
};
struct Conversation {
  DWORD instance;
};
struct Data {
  std::string bytes;
};

// Handles are small integers into these maps; one thread.
std::map<DWORD, Instance> instances;
std::map<uintptr_t, std::string> strings;
std::map<uintptr_t, Conversation> conversations;
std::map<uintptr_t, Data> datas;
DWORD nextInstance = 1;
uintptr_t nextHandle = 0x100;

Instance* Find(DWORD id) {
  auto it = instances.find(id);
  return it == instances.end() ? nullptr : &it->second;
}

void Fail(DWORD id, UINT error) {
  if (Instance* i = Find(id)) i->lastError = error;
}

}  // namespace

extern "C" {

UINT DdeInitializeA(LPDWORD pidInst, PFNCALLBACK pfnCallback, DWORD, DWORD) {
  if (pidInst == nullptr || *pidInst != 0 || pfnCallback == nullptr) return DMLERR_INVALIDPARAMETER;
  *pidInst = nextInstance++;
  instances[*pidInst] = Instance{};
  return DMLERR_NO_ERROR;
}

BOOL DdeUninitialize(DWORD idInst) {
  if (instances.erase(idInst) == 0) return FALSE;
  for (auto it = conversations.begin(); it != conversations.end();) {
    it = it->second.instance == idInst ? conversations.erase(it) : std::next(it);
  }
  return TRUE;
}

HSZ DdeCreateStringHandleA(DWORD idInst, LPCSTR psz, int) {
  if (Find(idInst) == nullptr || psz == nullptr) return nullptr;
  const size_t n = strnlen(psz, 256);
  if (n > 255) {
    Fail(idInst, DMLERR_INVALIDPARAMETER);
    return nullptr;
  }
  strings[nextHandle] = std::string(psz, n);
  return reinterpret_cast<HSZ>(nextHandle++);
}

BOOL DdeFreeStringHandle(DWORD, HSZ hsz) {
  return strings.erase(reinterpret_cast<uintptr_t>(hsz)) != 0;
}

HCONV DdeConnect(DWORD idInst, HSZ hszService, HSZ hszTopic, PCONVCONTEXT) {
  if (Find(idInst) == nullptr) return nullptr;
  auto service = strings.find(reinterpret_cast<uintptr_t>(hszService));
  auto topic = strings.find(reinterpret_cast<uintptr_t>(hszTopic));
  if (service == strings.end() || topic == strings.end() ||
      strcasecmp(service->second.c_str(), "PROGMAN") != 0 ||
      strcasecmp(topic->second.c_str(), "PROGMAN") != 0) {
    Fail(idInst, DMLERR_NO_CONV_ESTABLISHED);
    return nullptr;
  }
  conversations[nextHandle] = Conversation{idInst};
  return reinterpret_cast<HCONV>(nextHandle++);
}

BOOL DdeDisconnect(HCONV hConv) {
  return conversations.erase(reinterpret_cast<uintptr_t>(hConv)) != 0;
}

HDDEDATA DdeCreateDataHandle(DWORD idInst, LPBYTE pSrc, DWORD cb, DWORD cbOff, HSZ, UINT, UINT) {
  if (Find(idInst) == nullptr) return nullptr;
  if (cb > kMaxData || (pSrc == nullptr && cb != 0)) {
    Fail(idInst, DMLERR_INVALIDPARAMETER);
    return nullptr;
  }
  Data d;
  if (pSrc != nullptr && cb > cbOff)
    d.bytes.assign(reinterpret_cast<const char*>(pSrc) + cbOff, cb - cbOff);
  datas[nextHandle] = std::move(d);
  return reinterpret_cast<HDDEDATA>(nextHandle++);
}

BOOL DdeFreeDataHandle(HDDEDATA hData) {
  return datas.erase(reinterpret_cast<uintptr_t>(hData)) != 0;
}

HDDEDATA DdeClientTransaction(LPBYTE pData, DWORD cbData, HCONV hConv, HSZ, UINT, UINT wType, DWORD,
                              LPDWORD pdwResult) {
  if (pdwResult != nullptr) *pdwResult = 0;
  auto conversation = conversations.find(reinterpret_cast<uintptr_t>(hConv));
  if (conversation == conversations.end()) return nullptr;
  const DWORD instance = conversation->second.instance;
  std::string text;
  if (cbData == static_cast<DWORD>(-1)) {
    auto data = datas.find(reinterpret_cast<uintptr_t>(pData));
    if (data == datas.end()) {
      Fail(instance, DMLERR_INVALIDPARAMETER);
      return nullptr;
    }
    text = std::move(data->second.bytes);
    datas.erase(data);
  } else {
    if (pData == nullptr || cbData > kMaxData) {
      Fail(instance, DMLERR_INVALIDPARAMETER);
      return nullptr;
    }
    text.assign(reinterpret_cast<const char*>(pData), cbData);
  }
  text = text.substr(0, text.find('\0'));
  if (wType != XTYP_EXECUTE) {
    Fail(instance, DMLERR_NOTPROCESSED);
    return nullptr;
  }
  std::vector<wl::dde::ProgmanCommand> commands;
  if (!wl::dde::ParseCommands(text, &commands) || !wl::dde::RunCommands(commands)) {
    Fail(instance, DMLERR_NOTPROCESSED);
    return nullptr;
  }
  return reinterpret_cast<HDDEDATA>(1);
}

UINT DdeGetLastError(DWORD idInst) {
  Instance* i = Find(idInst);
  if (i == nullptr) return DMLERR_DLL_NOT_INITIALIZED;
  const UINT error = i->lastError;
  i->lastError = DMLERR_NO_ERROR;
  return error;
}

}  // extern "C"
