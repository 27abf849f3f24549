// wlreg: import, export, query and change the registry from the command line.
#include <cstring>
#include <iostream>
#include <string>

#include "registry_tool.h"

namespace {

int Usage() {
  std::cerr << "usage: wlreg import FILE.reg\n"
               "       wlreg export [--regedit4] [KEY]\n"
               "       wlreg query KEY [NAME]\n"
               "       wlreg set KEY NAME TYPE DATA\n"
               "       wlreg delete KEY [NAME]\n"
               "KEY is written as in a .reg file (HKEY_LOCAL_MACHINE\\... or HKLM\\...);\n"
               "NAME \"\" is the key's default value. The registry database is\n"
               "$WARDENLINE_REGISTRY (default /var/lib/wardenline/registry.db).\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace wl::regtool;
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "import" && argc == 3) return Import(argv[2], std::cerr);
  if (command == "export" && argc <= 4) {
    wl::regfile::Format format = wl::regfile::Format::kVersion5;
    int next = 2;
    if (next < argc && strcmp(argv[next], "--regedit4") == 0) {
      format = wl::regfile::Format::kRegedit4;
      ++next;
    }
    if (argc - next > 1) return Usage();
    return Export(next < argc ? argv[next] : "", format, std::cout, std::cerr);
  }
  if (command == "query" && (argc == 3 || argc == 4)) {
    const std::string name = argc == 4 ? argv[3] : "";
    return Query(argv[2], argc == 4 ? &name : nullptr, std::cout, std::cerr);
  }
  if (command == "set" && argc == 6) return Set(argv[2], argv[3], argv[4], argv[5], std::cerr);
  if (command == "delete" && (argc == 3 || argc == 4)) {
    const std::string name = argc == 4 ? argv[3] : "";
    return Delete(argv[2], argc == 4 ? &name : nullptr, std::cerr);
  }
  return Usage();
}
