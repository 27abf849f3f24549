// Registry text the service parses: trap destinations, object identifiers and
// %NAME% expansion. None of it may crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mib_types.h"
#include "service_config.h"
#include "trap_destination.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  snmpsvc::TrapDestination destination;
  if (snmpsvc::ParseTrapDestination(text, &destination) == snmpsvc::DestinationParse::kOk) {
    if (destination.host.empty() || destination.port == 0) __builtin_trap();
    (void)snmpsvc::PeerName(destination);
  }
  snmpsvc::Oid oid;
  if (snmpsvc::ParseOid(text, &oid)) {
    snmpsvc::Oid again;
    if (!snmpsvc::ParseOid(snmpsvc::FormatOid(oid), &again) || again != oid) __builtin_trap();
  }
  (void)snmpsvc::ExpandEnvironment(text);
  return 0;
}
