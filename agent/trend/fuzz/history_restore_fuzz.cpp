// Arbitrary files in the trend directory: the header reader, the start-up
// clean-up and the restore must reject or rebuild them without a crash, and
// every restored control must obey the ring rules so later sampling is safe.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "agent/testing/agent_environment.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/history_reports.h"
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
  // A private registry and files, removed at exit.
  static const wltest::Sandbox sandbox("wl-hist-fuzz");
  const std::string root = sandbox.path();
  // The removals' events are not what this target checks, and a durable
  // event log write per input would slow it to a crawl: the log cannot open.
  setenv("WARDENLINE_EVENTLOG", "/proc/wl-no-event-log/eventlog.db", 1);
  directory = root + "/TrenFile";
  std::filesystem::create_directories(directory);
  trend::installPath = root;
  trend::trendDirectory = directory;
  return 0;
}

// The first byte picks the file's number (low three bits) and the mode: raw
// bytes, or (high bit) a valid header with a page of samples whose bytes from
// the offset in the next two bytes on are XORed with the rest of the input,
// so that the fuzzer reaches the field checks and the restore. A copy under a
// name that is no number exercises the name check.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint32_t number = data[0] % 8;
  std::string name = std::to_string(number) + ".NT";
  if ((data[0] & 0x80) != 0 && size >= 3) {
    trend::Control control;
    control.controlIndex = number;
    control.classId = 1;
    control.intervalIndex = 5;
    control.bucketsRequested = control.bucketsGranted = 100;
    control.numOfSample = 10;
    control.head = 9;
    std::vector<uint8_t> image(trend::kHistoryHeaderBytes + trend::kPageBytes, 0x11);
    trend::buildHistoryHeaderImage(control, image.data());
    size_t offset = (data[1] | data[2] << 8) % image.size();
    for (size_t i = 3; i < size && offset < image.size(); ++i) image[offset++] ^= data[i];
    writeFile(name, image.data(), image.size());
  } else {
    writeFile(name, data + 1, size - 1);
  }
  writeFile("x.NT", data + 1, size - 1);
  delete[] trend::readHistoryHeader(name);
  trend::removeStaleHistoryFiles();
  trend::restoreControlsFromHistoryFiles();
  trend::forgetRemovedHistoryFiles();  // start-up would make them again
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
