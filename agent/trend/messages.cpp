// The message table of the trend agent: the message file of the event source
// "VO DEDAZ". Every text ends with a carriage return and line feed.
#include "win32/resources.h"

namespace {

const WlMessageEntry kMessages[] = {
    {1, "CURVEMIB%0\r\n"},
    {2, "VO DEDAZ%0\r\n"},
    {1001, "RIREVU001001I: The VO DEDAZ MIB Agent is loaded.\r\n"},
    {1002, "RIREVU001002I: The VO DEDAZ MIB Agent is unloaded.\r\n"},
    {1003,
     "RIREVU001003E: The VO DEDAZ MIB Agent is not loaded due to initialization "
     "failure.\r\n"},
    {1004, "RIREVU001004E: The VO DEDAZ MIB Agent failed to create thread.\r\n"},
    {1005, "RIREVU001005E: The VO DEDAZ MIB Agent failed in allocating memory.\r\n"},
    {1006, "RIREVU001006E: The VO DEDAZ MIB Agent Internal Error!!!.\r\n"},
    {1007,
     "RIREVU001007E: The VO DEDAZ MIB Agent failed to create directory to store trend "
     "files.\r\n"},
    {1008, "RIREVU001008E: The VO DEDAZ MIB Agent failed to create semaphore.\r\n"},
    {1009, "RIREVU001009E: The VO DEDAZ MIB Agent could not find initialization file.\r\n"},
    {1010,
     "RIREVU001010E: The VO DEDAZ MIB Agent is not loaded: its trend directory is in use by "
     "another agent.\r\n"},
    {1011,
     "RIREVU001011E: The VO DEDAZ MIB Agent could not %1 the history file %2 of control %3; "
     "samples that are not written are lost.\r\n"},
    {1012,
     "RIREVU001012W: The VO DEDAZ MIB Agent removed the history file %1 of control class %2, "
     "instance \"%3\" (%4).\r\n"},
};

}  // namespace

// The agent has no string table: the resource record names none.
extern "C" __attribute__((visibility("default"))) const WlModuleResources wl_module_resources = {
    kMessages, sizeof(kMessages) / sizeof(kMessages[0]), nullptr, 0};
