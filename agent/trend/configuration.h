// The configuration file install root + "\INI\CURVEMIB.INI": its control lines
// become configList, and the controls of a first start are created from it.
// Thread safety: start-up, or with controlSemaphore held (rescan).
// Ownership: configList owns its records; new controls go to controlList.
#pragma once

#include <cstddef>
#include <string>

#include "agent/trend/control.h"

namespace trend {

constexpr int kConfigurationPieceChars = 149;

// Full Windows path of the configuration file.
std::string configurationFilePath();
// 0, or 1 when the file cannot be opened or memory runs out; fills configList.
// A recognised line whose interval index is outside 1..12 or whose bucket
// count is below 2 is left out with a console line naming it.
int readConfiguration();
// Parses one piece of the file (at most 149 characters, text only up to the
// first NUL) and appends its record to configList. 0, or 1 when memory runs
// out. Used by readConfiguration; exposed for tests and fuzzing.
int parseConfigurationLine(const char* piece);
// Refreshes the performance data, then create_this_control for every line.
int createControlsFromConfiguration();
// 0 created, 1 not created.
int create_this_control(const ControlConfig* config);
// 0, or 1 when the class's instance list could not be obtained.
int create_multiple_inst_control(const ControlConfig* config);
// The rescan's control for a newly seen instance: numbered, inserted, with its
// history file and index entry.
void createInstanceControl(const ControlConfig* config, const char* instanceText);
bool isDuplicate(const Control* control);
// Volume size of a logical-disk instance text ("LogicalDisk C:") in units of
// 1,024,000 bytes; 0 when it has no drive or the free-space query fails.
LONG logicalDiskSizeMB(const char* instanceText);

}  // namespace trend
