// The message table of the trend agent: the message file of the event source
// "VO DEDAZ", by the event identifiers of output.h. Every text ends with a
// carriage return and line feed.
#include "agent/trend/output.h"
#include "win32/resources.h"

namespace {

const WlMessageEntry kMessages[] = {
    {1, "CURVEMIB%0\r\n"},
    {2, "VO DEDAZ%0\r\n"},
    {trend::kEventLoaded, "RIREVU001001I: The VO DEDAZ MIB Agent is loaded.\r\n"},
    {trend::kEventUnloaded, "RIREVU001002I: The VO DEDAZ MIB Agent is unloaded.\r\n"},
    {trend::kEventInitFailed,
     "RIREVU001003E: The VO DEDAZ MIB Agent is not loaded due to initialization "
     "failure.\r\n"},
    {trend::kEventThreadFailed,
     "RIREVU001004E: The VO DEDAZ MIB Agent failed to create thread.\r\n"},
    {trend::kEventNoMemory,
     "RIREVU001005E: The VO DEDAZ MIB Agent failed in allocating memory.\r\n"},
    {trend::kEventInternalError, "RIREVU001006E: The VO DEDAZ MIB Agent Internal Error!!!.\r\n"},
    {trend::kEventNoTrendDirectory,
     "RIREVU001007E: The VO DEDAZ MIB Agent failed to create directory to store trend "
     "files.\r\n"},
    {trend::kEventNoSemaphore,
     "RIREVU001008E: The VO DEDAZ MIB Agent failed to create semaphore.\r\n"},
    {trend::kEventNoIniFile,
     "RIREVU001009E: The VO DEDAZ MIB Agent could not find initialization file.\r\n"},
    {trend::kEventTrendDirectoryInUse,
     "RIREVU001010E: The VO DEDAZ MIB Agent is not loaded: its trend directory is in use by "
     "another agent.\r\n"},
    {trend::kEventHistoryFileFailed,
     "RIREVU001011E: The VO DEDAZ MIB Agent could not %1 the history file %2 of control %3; "
     "samples that are not written are lost.\r\n"},
    {trend::kEventHistoryFileRemoved,
     "RIREVU001012W: The VO DEDAZ MIB Agent removed the history file %1 of control class %2, "
     "instance \"%3\" (%4).\r\n"},
};

}  // namespace

// The agent has no string table: the resource record names none.
extern "C" __attribute__((visibility("default"))) const WlModuleResources wl_module_resources = {
    kMessages, sizeof(kMessages) / sizeof(kMessages[0]), nullptr, 0};
