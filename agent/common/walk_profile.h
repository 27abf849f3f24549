// The settings in which the trend agent and the performance data helper differ
// while sharing one performance-data walk: the block buffer's starting size and
// growth step, how often the counter-name table may be reloaded, and where the
// walk's messages go.
#pragma once

#include <ctime>

#include "win32/types.h"

namespace perfwalk {

// printf-like sink for the walk's messages; null keeps the walk silent.
using WalkLogFunction = void (*)(const char* format, ...);

struct WalkProfile {
  DWORD initialBufferBytes;  // first buffer offered to a block query
  DWORD bufferGrowthBytes;   // added each time the data does not fit
  time_t nameReloadSeconds;  // the name table is reloaded at most this often
  WalkLogFunction log;       // may be null
};

}  // namespace perfwalk
