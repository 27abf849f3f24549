// Test support for the history file, page cache and configuration tests: a
// private install root and trend directory in a sandbox with its own registry
// (agent/testing/agent_environment.h), and helpers for controls and files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "agent/testing/agent_environment.h"
#include "agent/trend/bucket_worker.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/lifecycle.h"
#include "agent/trend/page_cache.h"

namespace trend::testing {

// A temporary install root with "INI" and "TrenFile" below it; the agent's
// globals point there for the life of the object.
class TrendSandbox {
 public:
  TrendSandbox() {
    std::filesystem::create_directories(root_ + "/INI");
    std::filesystem::create_directories(root_ + "/TrenFile");
    installPath = root_;
    trendDirectory = root_ + "/TrenFile";
    traceLogFile.close();
  }
  ~TrendSandbox() {
    dropAllCaches();
    freeLists();
  }
  TrendSandbox(const TrendSandbox&) = delete;
  TrendSandbox& operator=(const TrendSandbox&) = delete;

  const std::string& root() const { return root_; }
  std::string trendFile(const std::string& name) const { return root_ + "/TrenFile/" + name; }

 private:
  wltest::Sandbox sandbox_{"wl-hist"};  // registry and files, removed last
  std::string root_ = sandbox_.path();
};

inline std::vector<BYTE> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::vector<BYTE>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline DWORD le32(const std::vector<BYTE>& bytes, size_t offset) {
  DWORD value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes.at(offset + static_cast<size_t>(i));
  return value;
}

inline void putLe32(std::vector<BYTE>* bytes, size_t offset, DWORD value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + static_cast<size_t>(i)] = BYTE(value >> (8 * i));
}

// A valid control of class 1 with the given number and ring size, appended
// to controlList.
inline Control* addControl(DWORD controlIndex, DWORD buckets = 100,
                           const char* instance = "Processor 0") {
  auto* control = new Control();
  control->controlIndex = controlIndex;
  control->classId = 1;
  std::strncpy(control->instanceName, instance, kMaxInstanceNameLength);
  control->instanceNameLength = static_cast<DWORD>(std::strlen(control->instanceName));
  control->intervalIndex = 5;
  control->bucketsRequested = buckets;
  control->bucketsGranted = buckets;
  control->historyStatus = 1;
  control->valueType = 3;
  appendControl(control);
  return control;
}

// Stores `count` samples with values first, first+1, ... through the cache,
// moving head, tail, sampleIndex and numOfSample as the sampler does.
inline void storeRing(Control* control, DWORD count, LONG first) {
  for (DWORD i = 0; i < count; ++i) {
    DWORD buckets = control->bucketsGranted;
    if (control->numOfSample == 0) {
      // first sample goes into head
    } else if (control->numOfSample < buckets) {
      control->head = (control->head + 1) % buckets;
    } else {
      control->head = (control->head + 1) % buckets;
      control->tail = (control->tail + 1) % buckets;
      control->sampleIndex++;
    }
    ASSERT_EQ(storeSample(control->controlIndex, control->head, first + LONG(i)), 0);
    if (control->numOfSample < buckets) control->numOfSample++;
  }
}

// The values of the ring from oldest to newest, read through the cache.
inline std::vector<LONG> ringValues(const Control* control) {
  std::vector<LONG> values;
  for (DWORD k = 0; k < control->numOfSample; ++k) {
    LONG value = 0;
    EXPECT_EQ(
        fetchSample(control->controlIndex, (control->tail + k) % control->bucketsGranted, &value),
        0);
    values.push_back(value);
  }
  return values;
}

}  // namespace trend::testing
