// Arbitrary files in the trend directory: the header reader, the start-up
// clean-up and the restore must reject or rebuild them without a crash, and
// every restored control must obey the ring rules so later sampling is safe.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/lifecycle.h"
#include "agent/trend/page_cache.h"

namespace {

std::string directory;

void writeFile(const std::string& name, const uint8_t* data, size_t size) {
  FILE* file = fopen((directory + "/" + name).c_str(), "wb");
  if (file == nullptr) return;
  if (size > 0) fwrite(data, 1, size, file);
  fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/wl-hist-fuzz-XXXXXX";
  std::string root = mkdtemp(pattern);
  setenv("WARDENLINE_REGISTRY", (root + "/registry.db").c_str(), 1);
  directory = root + "/TrenFile";
  std::filesystem::create_directories(directory);
  trend::installPath = root;
  trend::trendDirectory = directory;
  return 0;
}

// The first byte picks the file's number (so the header's number matches it
// now and then); the rest is the file. A second copy under a fixed name
// exercises the name check.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint32_t number = data[0] % 8;
  writeFile(std::to_string(number) + ".NT", data + 1, size - 1);
  writeFile("x.NT", data + 1, size - 1);
  delete[] trend::readHistoryHeader(std::to_string(number) + ".NT");
  trend::removeStaleHistoryFiles();
  trend::restoreControlsFromHistoryFiles();
  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    if (c->bucketsGranted < 2 || c->numOfSample > c->bucketsGranted ||
        c->head >= c->bucketsGranted || c->tail >= c->bucketsGranted ||
        c->instanceNameLength > 255 || c->instanceName[c->instanceNameLength] != '\0') {
      __builtin_trap();
    }
    LONG value = 0;
    trend::fetchSample(c->controlIndex, c->head, &value);
  }
  trend::dropAllCaches();
  trend::freeLists();
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
    std::filesystem::remove(entry.path(), ignored);
  }
  return 0;
}
