// libhostscan.so: the application object, the library's resources and its
// exported version query.
#include "agent/hostres/hostscan.h"

#include "agent/hostres/ridovo_app.h"

namespace {

// Message 1 names the trace log file, message 2 the event source.
const WlMessageEntry kMessages[] = {{1, "HOSTSCAN%0\r\n"}, {2, "RI DOVO%0\r\n"}};

// Description formats of the device and installed-software tables.
const WlMessageEntry kStrings[] = {
    {101, "%s, %s, Driver: %s, Class: %s, Bus: %s."},
    {102, "%s, Controller: %s, Peripheral: %s, Bus: %s, VGA Compatible: %lu."},
    {103, "%s, Controller: %s, Bus: %s."},
    {104, "%s, Driver: %s, Class: %s, Bus: %s, Description: %s."},
    {105, "%s, Controller: %s, Bus: %s."},
    {106, "%s-%s: %s, v%lu.%lu"},
    {107, "%s-%s: %s, v%s"},
    {108, "#%d: %s; Driver: %s; Bus: %s."},
    {109, "%s; Driver: %s; Bus: %s."},
    {110, "#%d: %s; Firmware: %s; Serial#: %s; Bus: %s."},
    {111, "%s-%s: %s"},
    {112, "Service"},
    {113, "Software"},
    {114, "System"},
    {115, "Processor "},
};

CS_ridovoApp theApp;

}  // namespace

WL_DEFINE_MODULE_RESOURCES(kMessages, kStrings);

DWORD HOSTSCAN_GetSupportedVersions(DWORD* reserved) {
  if (reserved != nullptr) *reserved = 0;
  return 1;
}
