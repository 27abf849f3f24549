// Printers from the CUPS server. libcups is loaded when first needed, so the
// provider runs (with no printers) where it is not installed. The few types
// and calls used are those of the CUPS programming manual.
#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

#include "collect.h"
#include "text.h"

namespace wl::winprob {
namespace {

struct CupsOption {
  char* name;
  char* value;
};
struct CupsDest {
  char* name;
  char* instance;
  int isDefault;
  int numOptions;
  CupsOption* options;
};

struct Cups {
  int (*getDests2)(void* http, CupsDest** dests) = nullptr;
  void (*freeDests)(int count, CupsDest* dests) = nullptr;
  const char* (*getOption)(const char* name, int count, CupsOption* options) = nullptr;
  int (*lastError)() = nullptr;
  bool usable = false;
};

const Cups& LoadCups() {
  static Cups cups;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    cups.getDests2 = reinterpret_cast<decltype(cups.getDests2)>(dlsym(library, "cupsGetDests2"));
    cups.freeDests = reinterpret_cast<decltype(cups.freeDests)>(dlsym(library, "cupsFreeDests"));
    cups.getOption = reinterpret_cast<decltype(cups.getOption)>(dlsym(library, "cupsGetOption"));
    cups.lastError = reinterpret_cast<decltype(cups.lastError)>(dlsym(library, "cupsLastError"));
    cups.usable = cups.getDests2 && cups.freeDests && cups.getOption && cups.lastError;
  });
  return cups;
}

// IPP status codes from 0x0400 on are errors (RFC 8011).
constexpr int kFirstIppError = 0x0400;

}  // namespace

std::vector<W32PrinterRecord> Printers(const Host& host) {
  std::vector<W32PrinterRecord> records;
  if (host.root() != "/") return records;
  const Cups& cups = LoadCups();
  if (!cups.usable) return records;
  CupsDest* dests = nullptr;
  const int count = cups.getDests2(nullptr, &dests);
  if (count > 0 && dests && cups.lastError() < kFirstIppError) {
    for (int i = 0; i < count; ++i) {
      const CupsDest& dest = dests[i];
      if (!dest.name || dest.instance) continue;  // instances are options, not printers
      W32PrinterRecord record{};
      host::CopyWide(record.name, dest.name);
      const char* state = cups.getOption("printer-state", dest.numOptions, dest.options);
      // printer-state: 3 idle, 4 processing, 5 stopped; hrPrinterStatus 3, 4, 1.
      const std::string value = state ? state : "";
      record.status = value == "3" ? 3 : value == "4" ? 4 : value == "5" ? 1 : 2;
      records.push_back(record);
    }
  }
  if (dests) cups.freeDests(count, dests);
  return records;
}

}  // namespace wl::winprob
