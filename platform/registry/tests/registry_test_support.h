// A fixture that points the registry at a fresh database in a temporary
// directory for each test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "../registry_store.h"

class TempRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wlregXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    dbPath_ = dir_ + "/registry.db";
    setenv("WARDENLINE_REGISTRY", dbPath_.c_str(), 1);
    wl::ResetRegistryForTesting();
  }
  void TearDown() override {
    wl::ResetRegistryForTesting();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::string dir_;
  std::string dbPath_;
};
