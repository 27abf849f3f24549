// wlevent: lists the records of the event log.
#include <cstring>
#include <iostream>
#include <string>

#include "event_listing.h"

namespace {

int Usage() {
  std::cerr << "usage: wlevent [--source NAME] [--since TIME] [--json]\n"
               "TIME is seconds since 1970 or a local date YYYY-MM-DD[THH:MM[:SS]].\n"
               "The log is $WARDENLINE_EVENTLOG (default: eventlog.db beside the registry).\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  wl::eventlog::RecordFilter filter;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--source" && i + 1 < argc) {
      filter.source = argv[++i];
    } else if (arg == "--since" && i + 1 < argc) {
      if (!wl::eventview::ParseSince(argv[++i], &filter.since)) {
        std::cerr << "wlevent: --since " << argv[i] << ": not a time\n";
        return 2;
      }
    } else {
      return Usage();
    }
  }
  std::vector<wl::eventlog::EventRecord> records;
  const DWORD error = wl::eventlog::ReadRecords(filter, &records);
  if (error != ERROR_SUCCESS) {
    std::cerr << "wlevent: " << wl::eventlog::StorePath() << ": cannot read the event log (error "
              << error << ")\n";
    return 1;
  }
  if (json) {
    std::cout << wl::eventview::FormatJson(records);
  } else {
    for (const auto& record : records) std::cout << wl::eventview::FormatLine(record) << "\n";
  }
  return 0;
}
