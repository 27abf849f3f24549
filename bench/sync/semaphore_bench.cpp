// Take and release of a named semaphore (WaitForSingleObject then
// ReleaseSemaphore), alone and while a second process does the same.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "win32/sync.h"

namespace {

const char* const kName = "BENCH SEMAPHORE";

void SetNamespace() {
  static const std::string ns = "semaphore-bench-" + std::to_string(getpid());
  setenv("WARDENLINE_OBJECT_NAMESPACE", ns.c_str(), 1);
}

void TakeAndRelease(benchmark::State& state, bool contended) {
  SetNamespace();
  HANDLE s = CreateSemaphoreA(nullptr, 1, 1, kName);
  pid_t rival = -1;
  if (contended) {
    rival = fork();
    if (rival == 0) {
      HANDLE mine = CreateSemaphoreA(nullptr, 1, 1, kName);
      for (;;) {
        WaitForSingleObject(mine, INFINITE);
        ReleaseSemaphore(mine, 1, nullptr);
      }
    }
  }
  for (auto _ : state) {
    WaitForSingleObject(s, INFINITE);
    ReleaseSemaphore(s, 1, nullptr);
  }
  if (rival > 0) {
    kill(rival, SIGKILL);
    waitpid(rival, nullptr, 0);
  }
  CloseHandle(s);
}

void BM_NamedTakeRelease(benchmark::State& state) { TakeAndRelease(state, false); }
void BM_NamedTakeReleaseContended(benchmark::State& state) { TakeAndRelease(state, true); }

BENCHMARK(BM_NamedTakeRelease);
BENCHMARK(BM_NamedTakeReleaseContended)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
