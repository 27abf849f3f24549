#include "discovery.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "agent/mgrseek/exclusions.h"
#include "agent/mgrseek/sap_datagram.h"
#include "agent/mgrseek/trap_key.h"
#include "win32/registry.h"
#include "win32/sync.h"
#include "win32/winsock.h"
#include "win32/winsvc.h"

namespace mgrseek {

ManagerEntry* receivedList = nullptr;
ManagerEntry* exclusionList = nullptr;
ManagerEntry* workingList = nullptr;
HANDLE listSemaphore = nullptr;

namespace {

// How long the listener waits for a datagram before it looks at the stop.
constexpr long kListenSliceUs = 250000;

DWORD updatePeriodMs = kDefaultUpdatePeriodMs;
size_t receivedCount = 0;
bool capReported = false;

SERVICE_STATUS_HANDLE statusHandle = nullptr;
SOCKET listenSocket = INVALID_SOCKET;
bool winsockStarted = false;
HANDLE stopEvent = nullptr;
HANDLE listenerThread = nullptr;
HANDLE updaterThread = nullptr;
std::atomic<bool> stopping{false};
// Held by the start and by the stop, so that a stop signalled during the start
// waits for it; `running` tells the stop whether there is anything to end.
std::mutex lifecycleMutex;
bool running = false;

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void reportStatus(DWORD state, DWORD exitCode) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = exitCode;
  SetServiceStatus(statusHandle, &status);
}

void lock() { WaitForSingleObject(listSemaphore, INFINITE); }
void unlock() { ReleaseSemaphore(listSemaphore, 1, nullptr); }

DWORD WINAPI listener(LPVOID) {
  char buffer[kReceiveBufferSize];
  while (!stopping.load()) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listenSocket, &readable);
    timeval slice{0, kListenSliceUs};
    const int ready = select(0, &readable, nullptr, nullptr, &slice);
    if (ready < 0) {
      // Not expected; do not spin while it lasts.
      WaitForSingleObject(stopEvent, 100);
      continue;
    }
    if (ready == 0) continue;
    const int received = recv(listenSocket, buffer, sizeof buffer, 0);
    if (received <= 0) continue;
    acceptDatagram(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(received));
  }
  return 0;
}

DWORD WINAPI updater(LPVOID) {
  do {
    updatePass();
  } while (WaitForSingleObject(stopEvent, updatePeriodMs) == WAIT_TIMEOUT && !stopping.load());
  return 0;
}

struct PassResult {
  bool rewritten = false;
};

// The pass inside its registry transaction.
LONG passBody(void* context) {
  auto* result = static_cast<PassResult*>(context);
  freeList(&workingList);
  LONG rc = readTrapKey(&workingList);
  if (rc != ERROR_SUCCESS) return rc;  // never rewrite from a partial reading
  int changes = 0;
  for (const ManagerEntry* heard = receivedList; heard != nullptr; heard = heard->next) {
    // An excluded console would be taken out again below; adding it would only
    // make every pass rewrite the key.
    if (findEqual(exclusionList, *heard) != nullptr) continue;
    if (findEqual(workingList, *heard) == nullptr) {
      auto* copy = new ManagerEntry(*heard);
      copy->next = nullptr;
      insertFront(&workingList, copy);
      ++changes;
    }
  }
  for (const ManagerEntry* excluded = exclusionList; excluded != nullptr;
       excluded = excluded->next) {
    if (removeFirstEqual(&workingList, *excluded)) ++changes;
  }
  if (changes == 0) return ERROR_SUCCESS;
  rc = writeTrapKey(workingList);
  result->rewritten = rc == ERROR_SUCCESS;
  return rc;
}

void closeEverything() {
  if (listenSocket != INVALID_SOCKET) closesocket(listenSocket);
  listenSocket = INVALID_SOCKET;
  if (winsockStarted) WSACleanup();
  winsockStarted = false;
  for (HANDLE* h : {&listenerThread, &updaterThread, &stopEvent, &listSemaphore}) {
    if (*h != nullptr) CloseHandle(*h);
    *h = nullptr;
  }
  freeList(&receivedList);
  freeList(&workingList);
  freeList(&exclusionList);
  receivedCount = 0;
  capReported = false;
}

// Start-up up to the threads; false after printing what failed.
bool initialize() {
  listSemaphore = CreateSemaphoreA(nullptr, 1, 1, kSemaphoreName);
  if (listSemaphore == nullptr) {
    say("FINDWL Error: unable to create semaphore.\n");
    return false;
  }
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    say("FINDWL Error: WSAStartup() failed\n");
    return false;
  }
  winsockStarted = true;
  listenSocket = socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX);
  if (listenSocket == INVALID_SOCKET) {
    say("FINDWL Error: socket() failed\n");
    return false;
  }
  SOCKADDR_IPX address;
  std::memset(&address, 0, sizeof address);
  address.sa_family = AF_IPX;
  std::memset(address.sa_netnum, 0xFF, sizeof address.sa_netnum);
  std::memset(address.sa_nodenum, 0xFF, sizeof address.sa_nodenum);
  address.sa_socket = htons(kSapSocket);
  // The address length NWLink programs pass: the structure rounded up to 16.
  if (bind(listenSocket, reinterpret_cast<const sockaddr*>(&address), 16) == SOCKET_ERROR) {
    say("FINDWL Error: bind() failed\n");
    return false;
  }
  int packetType = kSapPacketType;
  const int rc = setsockopt(listenSocket, NSPROTO_IPX, IPX_FILTERPTYPE,
                            reinterpret_cast<const char*>(&packetType), sizeof packetType);
  if (rc != 0) say("setsockopt() return %d\n", rc);
  readExclusionFile(&exclusionList);
  return true;
}

bool startThreads() {
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (stopEvent != nullptr) {
    listenerThread = CreateThread(nullptr, 0, listener, nullptr, CREATE_SUSPENDED, nullptr);
    updaterThread = CreateThread(nullptr, 0, updater, nullptr, CREATE_SUSPENDED, nullptr);
  }
  if (stopEvent == nullptr || listenerThread == nullptr || updaterThread == nullptr) {
    say("FINDWL Error: unable to create thread.\n");
    // A suspended thread that never ran is ended without running anything.
    for (HANDLE thread : {listenerThread, updaterThread}) {
      if (thread != nullptr) {
        TerminateThread(thread, 1);
        WaitForSingleObject(thread, INFINITE);
      }
    }
    return false;
  }
  ResumeThread(listenerThread);
  ResumeThread(updaterThread);
  return true;
}

}  // namespace

void setUpdatePeriod(DWORD milliseconds) { updatePeriodMs = milliseconds; }

void acceptDatagram(const uint8_t* data, size_t size) {
  const size_t count = sapEntryCount(size);
  for (size_t i = 0; i < count; ++i) {
    const SapEntry sap = readSapEntry(data, size, i);
    if (!sap.console) continue;
    // Bytes that could steer a terminal are shown as "?".
    std::string shown = sap.name;
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    say("type = %x name: %s\n", sap.typeAsStored, shown.c_str());
    // A name that is not a node and network number in hexadecimal would put
    // garbage into the trap destinations.
    if (!sap.usable) continue;
    ManagerEntry heard;
    heard.kind = kIpxAddress;
    std::memcpy(heard.node, sap.name.data(), 12);
    std::memcpy(heard.network, sap.name.data() + 12, 8);
    // The listener is the only thread that changes `receivedList`, so it may
    // search it unguarded; the semaphore is taken to change it.
    if (findEqual(receivedList, heard) != nullptr) continue;
    if (receivedCount >= kMaxConsolesHeard) {
      if (!capReported) {
        say("FINDWL Error: %zu consoles heard; consoles heard after them are ignored\n",
            kMaxConsolesHeard);
        capReported = true;
      }
      continue;
    }
    lock();
    insertFront(&receivedList, new ManagerEntry(heard));
    ++receivedCount;
    unlock();
  }
}

bool updatePass() {
  lock();
  PassResult result;
  wl_RegTransaction(passBody, &result);
  freeList(&workingList);
  unlock();
  return result.rewritten;
}

void WINAPI serviceMain(DWORD, LPSTR*) {
  statusHandle = RegisterServiceCtrlHandlerA(kServiceName, controlHandler);
  if (statusHandle == nullptr) return;
  std::lock_guard<std::mutex> lock(lifecycleMutex);
  stopping.store(false);
  if (!initialize()) {
    say("FINDWL Error: initialization failed\n");
    closeEverything();
    reportStatus(SERVICE_STOPPED, 1);
    return;
  }
  if (!startThreads()) {
    closeEverything();
    reportStatus(SERVICE_STOPPED, 1);
    return;
  }
  running = true;
  reportStatus(SERVICE_RUNNING, 0);
}

void WINAPI controlHandler(DWORD control) {
  if (control != SERVICE_CONTROL_STOP) return;
  std::lock_guard<std::mutex> lock(lifecycleMutex);
  if (!running) return;
  running = false;
  stopping.store(true);
  SetEvent(stopEvent);
  WaitForSingleObject(listenerThread, INFINITE);
  WaitForSingleObject(updaterThread, INFINITE);
  closeEverything();
  reportStatus(SERVICE_STOPPED, 0);
}

void resetForTesting() {
  freeList(&receivedList);
  freeList(&workingList);
  freeList(&exclusionList);
  receivedCount = 0;
  capReported = false;
}

}  // namespace mgrseek
