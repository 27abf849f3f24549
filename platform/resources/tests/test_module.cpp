// A module with resources, as the system's libraries carry them.
#include "win32/resources.h"

namespace {

const WlMessageEntry kMessages[] = {
    {1, "TESTMOD%0\r\n"},
    {1001, "RIREVU001001I: The test module is loaded.\r\n"},
    {1002, "Value %1!d! of %2!s!, handle %3!#x!.\r\n"},
    {1003, "Disk %1 is %2 full; %3.\r\n"},
};

const WlMessageEntry kStrings[] = {
    {101, "Description %s"},
    {102, "caf\xc3\xa9 au lait"},
};

}  // namespace

WL_DEFINE_MODULE_RESOURCES(kMessages, kStrings);

extern "C" __attribute__((visibility("default"))) int wl_test_module_answer() { return 42; }
