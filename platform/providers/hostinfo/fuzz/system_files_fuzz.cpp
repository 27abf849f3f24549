// The parsers of system files on arbitrary bytes: mountinfo, the package
// database and its version strings, unit files, disk sectors and udev's
// identifiers, input capability bitmaps, and UTF-8 text into record fields.
// The first byte picks the parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "block_devices.h"
#include "dpkg_status.h"
#include "input_devices.h"
#include "mountinfo.h"
#include "text.h"
#include "unit_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 6) {
    case 0:
      for (const wl::host::Mount& mount : wl::host::ParseMountInfo(text)) {
        if (mount.mountPoint.empty() || mount.mountPoint[0] != '/') std::abort();
      }
      break;
    case 1:
      for (const wl::host::Package& package : wl::host::ParseDpkgStatus(text)) {
        uint32_t major = 0, minor = 0;
        wl::host::VersionNumbers(package.version, &major, &minor);
        if (package.name.empty()) std::abort();
      }
      break;
    case 2: {
      const wl::host::UnitInfo unit = wl::host::ParseUnitFile(text);
      (void)wl::host::CommandProgram(unit.execStart);
      break;
    }
    case 3: {
      std::string kind;
      uint32_t signature = 0;
      const size_t half = text.size() / 2;
      wl::host::SignatureFromSectors(text.substr(0, half), text.substr(half), &kind, &signature);
      wl::host::SignatureFromText(text, &signature);
      break;
    }
    case 4: {
      const size_t quarter = text.size() / 4;
      (void)wl::host::ClassifyInput(text.substr(0, quarter), text.substr(quarter, quarter),
                                    text.substr(2 * quarter, quarter), text.substr(3 * quarter));
      break;
    }
    default: {
      WCHAR field[9];
      wl::host::CopyWide(field, text);
      const std::u16string_view wide = wl::host::WideField(field, 9);
      if (wide.size() > 8) std::abort();
      (void)wl::host::Utf16ToUtf8(wl::host::Utf8ToUtf16(text));
      (void)wl::host::NaturalLess(text.substr(0, text.size() / 2), text.substr(text.size() / 2));
      break;
    }
  }
  return 0;
}
