// The configuration file install root + "\INI\CURVEMIB.INI": its control lines
// become configList, and the controls of a first start are created from it.
// Thread safety: start-up, or with controlSemaphore held (rescan).
#pragma once

#include <string>

#include "agent/trend/control.h"

namespace trend {

// Full Windows path of the configuration file.
std::string configurationFilePath();
// 0, or 1 when the file cannot be opened or memory runs out.
int readConfiguration();
int createControlsFromConfiguration();
int create_this_control(const ControlConfig* config);
int create_multiple_inst_control(const ControlConfig* config);
void createInstanceControl(const ControlConfig* config, const char* instanceText);
bool isDuplicate(const Control* control);

}  // namespace trend
