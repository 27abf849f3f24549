// The machine's input devices (/sys/class/input/inputN), sorted into
// keyboards, pointing devices and others by their capability bitmaps.
// Thread safety: pure functions of the Host.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host_root.h"

namespace wl::host {

enum class InputKind { kKeyboard, kPointer, kOther };

struct InputDevice {
  std::string node;    // "input3"
  std::string name;    // the device's own name
  std::string driver;  // driver of the parent device; empty when none is bound
  std::string bus;     // "I8042", "USB", ...
  InputKind kind = InputKind::kOther;
  bool disabled = false;  // it has a parent device but no driver is bound to it
};

// Sorted by node number.
std::vector<InputDevice> ListInputDevices(const Host& host);

// Whether bit `bit` is set in a sysfs capability bitmap: hexadecimal words of
// 64 bits separated by blanks, the most significant first.
bool BitmapHas(std::string_view bitmap, unsigned bit);

// The kind of a device from its "ev", "key", "rel" and "abs" bitmaps.
InputKind ClassifyInput(std::string_view ev, std::string_view key, std::string_view rel,
                        std::string_view abs);

}  // namespace wl::host
