// Any datagram may reach the screen and any reply the tooBig rewriter; neither
// may read outside the bytes given. The input is also tried wrapped in a
// well-formed message envelope, so that the fuzzer reaches the bindings.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "message_screen.h"

namespace {

void AppendElement(uint8_t tag, const std::vector<uint8_t>& contents, std::vector<uint8_t>* out) {
  out->push_back(tag);
  const size_t length = contents.size();
  if (length < 0x80) {
    out->push_back(static_cast<uint8_t>(length));
  } else {
    out->push_back(0x82);
    out->push_back(static_cast<uint8_t>(length >> 8));
    out->push_back(static_cast<uint8_t>(length));
  }
  out->insert(out->end(), contents.begin(), contents.end());
}

void Check(const std::vector<uint8_t>& message) {
  snmpsvc::ScreenResult result = snmpsvc::ScreenMessage(message.data(), message.size());
  for (int position : result.oversizedValues) {
    if (position <= 0) __builtin_trap();
  }
  std::vector<uint8_t> tooBig;
  snmpsvc::TooBigResponse(message.data(), message.size(), &tooBig);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(std::vector<uint8_t>(data, data + size));
  if (size < 2 || size > 60000) return 0;
  // data[0]: version and PDU type; the rest: the PDU's contents.
  std::vector<uint8_t> body;
  AppendElement(0x02, {static_cast<uint8_t>(data[0] & 1)}, &body);
  AppendElement(0x04, {'p', 'u', 'b', 'l', 'i', 'c'}, &body);
  AppendElement(static_cast<uint8_t>(0xA0 | ((data[0] >> 1) & 3)),
                std::vector<uint8_t>(data + 1, data + size), &body);
  std::vector<uint8_t> message;
  AppendElement(0x30, body, &message);
  Check(message);
  return 0;
}
