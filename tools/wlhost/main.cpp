// wlhost show [CALL...]   what the provider libraries answer, one call after another
// wlhost capture          every answer as a provider fixture (stdout)
//
// CALL is a provider call name (W32GetStorage, RegGetSoftwareInstalled, ...).
// The answers come through libwinprob.so and libregprob.so, so with
// WARDENLINE_PROVIDERS set they are the fixture's: a capture replays to the
// same listing.
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "fixture.h"
#include "regprob.h"
#include "schema.h"
#include "text.h"
#include "winprob.h"

namespace {

using wl::host::Answer;

struct Handles {
  WORD win = 0;
  WORD reg = 0;
};

template <typename Record>
Answer Collect(int count, Record* records, int (*freeRecords)(WORD, void*), WORD handle) {
  Answer answer;
  answer.result = count;
  for (int i = 0; records && i < count; ++i)
    answer.records.push_back(wl::host::RecordBytes(records[i]));
  if (records) freeRecords(handle, records);
  return answer;
}

template <typename Record>
std::function<Answer(const Handles&)> WinList(int (*call)(WORD, Record**, DWORD*)) {
  return [call](const Handles& h) {
    Record* records = nullptr;
    DWORD unused = 0;
    const int count = call(h.win, &records, &unused);
    return Collect(count, records, W32FreeResource, h.win);
  };
}

template <typename Record>
std::function<Answer(const Handles&)> WinList0(int (*call)(WORD, DWORD, Record**, DWORD*)) {
  return [call](const Handles& h) {
    Record* records = nullptr;
    DWORD unused = 0;
    const int count = call(h.win, 0, &records, &unused);
    return Collect(count, records, W32FreeResource, h.win);
  };
}

template <typename Record>
std::function<Answer(const Handles&)> RegList(int (*call)(WORD, Record**, DWORD*)) {
  return [call](const Handles& h) {
    Record* records = nullptr;
    DWORD unused = 0;
    const int count = call(h.reg, &records, &unused);
    return Collect(count, records, RegFreeResource, h.reg);
  };
}

template <typename Value>
Answer Single(int result, const Value& value) {
  Answer answer;
  answer.result = result;
  if (result == 0) answer.records.push_back(wl::host::RecordBytes(value));
  return answer;
}

std::map<std::string, std::function<Answer(const Handles&)>> Calls() {
  std::map<std::string, std::function<Answer(const Handles&)>> calls;
  calls["W32GetSystemUptime"] = [](const Handles& h) {
    wl::host::UptimeAnswer value{};
    return Single(W32GetSystemUptime(h.win, &value.uptime), value);
  };
  calls["W32GetSystemTime"] = [](const Handles& h) {
    wl::host::SystemTimeAnswer value{};
    return Single(W32GetSystemTime(h.win, &value.time), value);
  };
  calls["W32GetSystemTimeZone"] = [](const Handles& h) {
    wl::host::TimeZoneAnswer value{};
    return Single(W32GetSystemTimeZone(h.win, &value.zone, &value.kind), value);
  };
  calls["W32GetUserCount"] = [](const Handles& h) {
    wl::host::CountAnswer value{};
    return Single(W32GetUserCount(h.win, &value.users), value);
  };
  calls["W32GetMemorySize"] = [](const Handles& h) {
    wl::host::MemoryAnswer value{};
    return Single(W32GetMemorySize(h.win, &value.bytes), value);
  };
  calls["W32GetSWInstalledLastChange"] = [](const Handles& h) {
    wl::host::SystemTimeAnswer value{};
    return Single(W32GetSWInstalledLastChange(h.win, &value.time), value);
  };
  calls["W32GetStorage"] = WinList0(W32GetStorage);
  calls["W32GetDevice"] = WinList0(W32GetDevice);
  calls["W32GetProcessor"] = WinList(W32GetProcessor);
  calls["W32GetNetwork"] = WinList(W32GetNetwork);
  calls["W32GetPrinter"] = WinList(W32GetPrinter);
  calls["W32GetDiskStorage"] = WinList(W32GetDiskStorage);
  calls["W32GetPartition"] = WinList(W32GetPartition);
  calls["W32GetFileSystem"] = WinList(W32GetFileSystem);
  calls["RegGetWardenlinePathName"] = [](const Handles& h) {
    wl::host::PathAnswer value{};
    WCHAR* path = nullptr;
    const int result = RegGetWardenlinePathName(h.reg, &path);
    if (path) {
      const std::u16string_view text = wl::host::WideField(path, std::size(value.path) - 1);
      std::copy(text.begin(), text.end(), value.path);
      RegFreeResource(h.reg, path);
    }
    return Single(result, value);
  };
  calls["RegGetScsiDiskStorage"] = RegList(RegGetScsiDiskStorage);
  calls["RegGetNonScsiDiskStorage"] = RegList(RegGetNonScsiDiskStorage);
  calls["RegGetKeyboard"] = RegList(RegGetKeyboard);
  calls["RegGetDeviceVideo"] = RegList(RegGetDeviceVideo);
  calls["RegGetParallelPort"] = RegList(RegGetParallelPort);
  calls["RegGetPointerPort"] = RegList(RegGetPointerPort);
  calls["RegGetSerialComm"] = RegList(RegGetSerialComm);
  calls["RegGetSoftwareInstalled"] = RegList(RegGetSoftwareInstalled);
  return calls;
}

int Usage() {
  std::fprintf(stderr,
               "usage: wlhost show [CALL...]   what the providers answer (all calls by default)\n"
               "       wlhost capture          every answer as a provider fixture\n");
  return 2;
}

bool Register(Handles* handles) {
  if (WINPROB_GetSupportedVersions(nullptr) != 1 || REGPROB_GetSupportedVersions(nullptr) != 1) {
    std::fprintf(stderr, "wlhost: a provider library has another interface version\n");
    return false;
  }
  if (W32Register(&handles->win) != 0 || RegRegister(&handles->reg) != 0) {
    std::fprintf(stderr, "wlhost: the providers refuse registration\n");
    return false;
  }
  return true;
}

void Deregister(const Handles& handles) {
  W32Deregister(handles.win);
  RegDeregister(handles.reg);
}

int Show(int argc, char** argv) {
  const auto calls = Calls();
  std::vector<const wl::host::CallSchema*> chosen;
  for (int i = 0; i < argc; ++i) {
    const wl::host::CallSchema* call = wl::host::FindCall(argv[i]);
    if (!call) {
      std::fprintf(stderr, "wlhost: no provider call is named \"%s\"\n", argv[i]);
      return 2;
    }
    chosen.push_back(call);
  }
  if (chosen.empty()) {
    for (const wl::host::CallSchema& call : wl::host::AllCalls()) chosen.push_back(&call);
  }
  Handles handles;
  if (!Register(&handles)) return 1;
  int status = 0;
  for (const wl::host::CallSchema* call : chosen) {
    const Answer answer = calls.at(call->name)(handles);
    const std::string text = wl::host::FormatAnswer(*call, answer);
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  Deregister(handles);
  if (std::fflush(stdout) != 0) status = 1;
  return status;
}

int Capture() {
  const auto calls = Calls();
  Handles handles;
  if (!Register(&handles)) return 1;
  wl::host::FixtureAnswers answers;
  for (const wl::host::CallSchema& call : wl::host::AllCalls()) {
    answers[call.name] = calls.at(call.name)(handles);
  }
  Deregister(handles);
  const std::string text = wl::host::WriteProviderFixture(answers);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "show") return Show(argc - 2, argv + 2);
  if (command == "capture" && argc == 2) return Capture();
  return Usage();
}
