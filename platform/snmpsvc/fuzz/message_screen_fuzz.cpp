// Any datagram may reach the screen; it must never read outside it.
#include <cstddef>
#include <cstdint>

#include "message_screen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  snmpsvc::ScreenResult result = snmpsvc::ScreenMessage(data, size);
  for (int position : result.oversizedValues) {
    if (position <= 0) __builtin_trap();
  }
  return 0;
}
