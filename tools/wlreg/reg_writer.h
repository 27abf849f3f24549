// Writing registration (.reg) files: the header and one value line. Pure
// functions; the reader is reg_file.h and reads back what these write.
#pragma once

#include <cstdint>
#include <string>

#include "reg_file.h"

namespace wl::regfile {

// The first line of a file of the format, with its line end.
std::string Header(Format format);

// One value as a complete entry ("name"=... or @=..., hex data wrapped over
// lines ending in a backslash), with the final line end. `data` is the value
// as the registry returns it to the form the format uses: UTF-16LE (the W
// functions) for kVersion5, 8-bit (the A functions) for kRegedit4.
std::string FormatValue(const std::string& name, uint32_t type, const std::string& data,
                        Format format);

}  // namespace wl::regfile
