// The registry tests' fixture: the shared isolated platform, fresh for each test.
#pragma once

#include "wltest/platform_env.h"

using TempRegistryTest = wltest::PlatformTest;
