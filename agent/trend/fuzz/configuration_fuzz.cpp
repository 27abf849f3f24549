// Arbitrary configuration files: the reader must stay inside its pieces and
// words, and every record it keeps must be usable for creating controls.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "agent/testing/agent_environment.h"
#include "agent/trend/configuration.h"
#include "agent/trend/control.h"
#include "agent/trend/lifecycle.h"

namespace {

std::string configurationPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A private registry and files, removed at exit.
  static const wltest::Sandbox sandbox("wl-conf-fuzz");
  const std::string root = sandbox.path();
  std::filesystem::create_directories(root + "/INI");
  trend::installPath = root;
  configurationPath = root + "/INI/CURVEMIB.INI";
  return 0;
}

// The input is the file, except that a line whose first byte has the high
// bit set starts with the class name that byte picks instead, so that the
// fuzzer reaches the recognised lines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text;
  bool lineStart = true;
  for (size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    if (lineStart && (data[i] & 0x80) != 0) {
      text += trend::className(data[i] % (trend::kNumClasses + 1));
      text += ' ';
    } else {
      text += c;
    }
    lineStart = c == '\n';
  }
  FILE* file = fopen(configurationPath.c_str(), "wb");
  if (file == nullptr) return 0;
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
  if (trend::readConfiguration() != 0) __builtin_trap();
  for (const trend::ControlConfig* c = trend::configList; c != nullptr; c = c->next) {
    if (c->classId > trend::kNumClasses || trend::intervalSeconds(c->intervalIndex) == 0 ||
        c->buckets < 2 || c->buckets > 0x7FFFFFFFu || c->thresholdTypeText[15] != '\0') {
      __builtin_trap();
    }
    if (!trend::classIsMultiInstance(c->classId)) trend::create_this_control(c);
  }
  trend::freeLists();
  return 0;
}
