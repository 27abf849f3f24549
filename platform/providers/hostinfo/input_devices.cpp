#include "input_devices.h"

#include <algorithm>
#include <cstdio>

#include "text.h"

namespace wl::host {
namespace {

constexpr unsigned kEvKey = 1, kEvRel = 2, kEvAbs = 3;
constexpr unsigned kRelX = 0, kRelY = 1, kAbsX = 0, kAbsY = 1;
constexpr unsigned kBtnLeft = 0x110, kBtnToolFinger = 0x145, kBtnTouch = 0x14A;

std::string BusName(const std::string& hex) {
  uint64_t bus = 0;
  if (!ParseUnsigned(hex, &bus, 16, 0xFFFF)) return "unknown";
  switch (bus) {
    case 0x01:
      return "PCI";
    case 0x03:
      return "USB";
    case 0x05:
      return "Bluetooth";
    case 0x06:
      return "virtual";
    case 0x10:
      return "ISA";
    case 0x11:
      return "I8042";
    case 0x13:
      return "RS232";
    case 0x15:
      return "parallel";
    case 0x18:
      return "I2C";
    case 0x19:
      return "host";
    case 0x1C:
      return "SPI";
    default: {
      char text[16];
      std::snprintf(text, sizeof(text), "0x%02X", static_cast<unsigned>(bus));
      return text;
    }
  }
}

unsigned NodeNumber(const std::string& node) {
  uint64_t number = 0;
  ParseUnsigned(std::string_view(node).substr(5), &number, 10, 0xFFFFFFFFu);
  return static_cast<unsigned>(number);
}

}  // namespace

bool BitmapHas(std::string_view bitmap, unsigned bit) {
  const std::vector<std::string_view> words = Words(bitmap);
  const size_t word = bit / 64;
  if (word >= words.size()) return false;
  uint64_t value = 0;
  if (!ParseUnsigned(words[words.size() - 1 - word], &value, 16)) return false;
  return (value >> (bit % 64)) & 1u;
}

InputKind ClassifyInput(std::string_view ev, std::string_view key, std::string_view rel,
                        std::string_view abs) {
  if (!BitmapHas(ev, kEvKey)) return InputKind::kOther;
  const bool relative = BitmapHas(ev, kEvRel) && BitmapHas(rel, kRelX) && BitmapHas(rel, kRelY);
  const bool absolute = BitmapHas(ev, kEvAbs) && BitmapHas(abs, kAbsX) && BitmapHas(abs, kAbsY);
  if ((relative && BitmapHas(key, kBtnLeft)) ||
      (absolute &&
       (BitmapHas(key, kBtnLeft) || BitmapHas(key, kBtnTouch) || BitmapHas(key, kBtnToolFinger)))) {
    return InputKind::kPointer;
  }
  // A keyboard has the first row of keys: KEY_ESC (1) to KEY_D (32 - 1).
  for (unsigned code = 1; code < 32; ++code) {
    if (!BitmapHas(key, code)) return InputKind::kOther;
  }
  return InputKind::kKeyboard;
}

std::vector<InputDevice> ListInputDevices(const Host& host) {
  std::vector<InputDevice> devices;
  for (const std::string& node : host.List("/sys/class/input")) {
    if (node.size() <= 5 || node.compare(0, 5, "input") != 0) continue;
    const std::string sys = "/sys/class/input/" + node;
    InputDevice device;
    device.node = node;
    std::string name;
    if (!host.Read(sys + "/name", &name, 4096)) continue;  // vanished
    device.name = std::string(Trim(name));
    device.kind = ClassifyInput(
        host.Attribute(sys + "/capabilities/ev"), host.Attribute(sys + "/capabilities/key"),
        host.Attribute(sys + "/capabilities/rel"), host.Attribute(sys + "/capabilities/abs"));
    device.bus = BusName(host.Attribute(sys + "/id/bustype"));
    device.driver = host.LinkName(sys + "/device/driver");
    device.disabled = !host.LinkTarget(sys + "/device").empty() && device.driver.empty();
    devices.push_back(std::move(device));
  }
  std::sort(devices.begin(), devices.end(), [](const InputDevice& a, const InputDevice& b) {
    return NodeNumber(a.node) < NodeNumber(b.node);
  });
  return devices;
}

}  // namespace wl::host
