// Helpers shared by the provider's tests: a temporary directory removed at the
// end, file writing, and an environment variable set for one scope.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "wltest/platform_env.h"

namespace perftest {

using TempDir = wltest::TempDirectory;

inline void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

using ScopedEnv = wltest::ScopedEnv;

// Every test process uses a registry of its own, never the machine's.
inline const bool kPrivateRegistry = [] {
  wltest::ProcessPlatform();
  return true;
}();

}  // namespace perftest
