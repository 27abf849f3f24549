// The entry points of libhostmib.so, the Host Resources MIB extension agent
// that snmpsvc loads. SnmpExtensionInit starts libhostscan.so (its start-up
// runs when the platform loader gives it its first reference) and registers
// the view 1.3.6.1.2.1.25; SnmpExtensionQueryEx answers each request with the
// transaction the service gives (SnmpExtensionQuery counts each call as a
// request of its own). The agent raises no traps. At unload the rows go
// first, then the library's reference, which stops its threads.
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "agent/hostres/hostscan.h"
#include "library_builder.h"
#include "query.h"
#include "settings.h"
#include "win32/resources.h"

#define HOSTMIB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Agent {
  HMODULE library = nullptr;
  std::unique_ptr<hostmib::LibraryBuilder> builder;
  std::unique_ptr<hostmib::FamilyCache> cache;
  uint32_t ownTransaction = 0x80000000u;

  ~Agent() {
    cache.reset();
    if (library != nullptr) FreeLibrary(library);
  }
};

std::mutex g_lock;  // one request, and so one library call, at a time
Agent* g_agent = nullptr;
UINT g_view[] = {1, 3, 6, 1, 2, 1, 25};

// Destroyed when the service unloads this library.
struct Unload {
  ~Unload() {
    std::lock_guard<std::mutex> lock(g_lock);
    delete g_agent;
    g_agent = nullptr;
  }
} g_unload;

// The file libhostscan.so was mapped from (this library links it).
std::string HostscanPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&HOSTSCAN_GetSupportedVersions), &info) == 0 ||
      info.dli_fname == nullptr) {
    return "libhostscan.so";
  }
  return info.dli_fname;
}

}  // namespace

HOSTMIB_EXPORT BOOL SnmpExtensionInit(DWORD, HANDLE* phSubagentTrapEvent,
                                      AsnObjectIdentifier* pFirstSupportedRegion) {
  if (phSubagentTrapEvent == nullptr || pFirstSupportedRegion == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_agent == nullptr) {
    auto agent = std::make_unique<Agent>();
    std::string problem;
    const auto age = hostmib::ReadRefreshAge(&problem);
    if (!problem.empty()) std::fprintf(stderr, "hostmib: %s\n", problem.c_str());
    agent->library = LoadLibraryA(HostscanPath().c_str());
    if (agent->library == nullptr) {
      std::fprintf(stderr, "hostmib: libhostscan.so did not start (error %u)\n",
                   static_cast<unsigned>(GetLastError()));
      return FALSE;
    }
    agent->builder = std::make_unique<hostmib::LibraryBuilder>(age);
    agent->cache = std::make_unique<hostmib::FamilyCache>(agent->builder.get(), age);
    g_agent = agent.release();
  }
  *phSubagentTrapEvent = nullptr;
  pFirstSupportedRegion->idLength = sizeof g_view / sizeof g_view[0];
  pFirstSupportedRegion->ids = g_view;
  return TRUE;
}

HOSTMIB_EXPORT BOOL SnmpExtensionQueryEx(UINT nRequestType, UINT nTransactionId,
                                         SnmpVarBindList* pVarBindList, AsnOctetString*,
                                         AsnInteger32* pErrorStatus, AsnInteger32* pErrorIndex) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_agent == nullptr) {
    if (pErrorStatus != nullptr) *pErrorStatus = SNMP_ERRORSTATUS_GENERR;
    return FALSE;
  }
  g_agent->cache->BeginRequest(nTransactionId);
  return hostmib::Query(*g_agent->cache, nRequestType, pVarBindList, pErrorStatus, pErrorIndex);
}

HOSTMIB_EXPORT BOOL SnmpExtensionQuery(BYTE bPduType, SnmpVarBindList* pVarBindList,
                                       AsnInteger32* pErrorStatus, AsnInteger32* pErrorIndex) {
  UINT transaction = 0;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_agent != nullptr) transaction = ++g_agent->ownTransaction;
  }
  // A set through the plain entry point is its commit.
  return SnmpExtensionQueryEx(bPduType, transaction, pVarBindList, nullptr, pErrorStatus,
                              pErrorIndex);
}
