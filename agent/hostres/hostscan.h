// The exported interface of libhostscan.so besides its table classes.
#pragma once

#include "win32/types.h"

#define HOSTSCAN_API extern "C" __attribute__((visibility("default")))
// The table, entry and group classes the consumer links by their C++ names.
#define HOSTSCAN_CLASS __attribute__((visibility("default")))

// The interface version the library supports: 1. `reserved` may be null;
// otherwise it receives 0.
HOSTSCAN_API DWORD HOSTSCAN_GetSupportedVersions(DWORD* reserved);
