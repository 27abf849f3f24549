// Everything the system uses of Win32, as one include.
#pragma once

#include "win32/eventlog.h"
#include "win32/files.h"
#include "win32/memory.h"
#include "win32/perfdata.h"
#include "win32/profile.h"
#include "win32/registry.h"
#include "win32/resources.h"
#include "win32/sync.h"
#include "win32/timeapi.h"
#include "win32/types.h"
