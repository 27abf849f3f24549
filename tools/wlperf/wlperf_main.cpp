// wlperf show [OBJECT...]   objects, counters and instances with their values
// wlperf capture            the current data in the fixture format (stdout)
// wlperf names              the counter-name table ("Counter 009")
//
// OBJECT is a title index or an object name (any case). The data comes from
// HKEY_PERFORMANCE_DATA's provider, so WARDENLINE_PERFDATA replays a capture.
#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/perf_seam.h"
#include "counter_types.h"
#include "drive_map.h"
#include "fixture_source.h"
#include "fixture_writer.h"
#include "live_objects.h"
#include "name_table.h"
#include "proc_text.h"
#include "wlperf/block_reader.h"

namespace {

using wl::perf::NameTable;

int Usage() {
  std::fprintf(stderr,
               "usage: wlperf show [OBJECT...]   objects, counters, instances and values\n"
               "       wlperf capture            current data as a fixture (see docs/perfdata.md)\n"
               "       wlperf names              the counter-name table\n");
  return 2;
}

// The value `name` of HKEY_PERFORMANCE_DATA, grown until it fits.
bool QueryValue(const char* name, std::vector<BYTE>* bytes) {
  bytes->assign(65536, 0);
  for (int attempt = 0; attempt < 64; ++attempt) {
    DWORD size = static_cast<DWORD>(bytes->size());
    const LONG result = wl::QueryPerformanceData(name, nullptr, bytes->data(), &size);
    if (result == ERROR_SUCCESS) {
      bytes->resize(size);
      return true;
    }
    if (result != ERROR_MORE_DATA) {
      std::fprintf(stderr, "wlperf: the value \"%s\" cannot be read (error %ld)\n", name,
                   static_cast<long>(result));
      return false;
    }
    bytes->resize(std::max<size_t>(size, bytes->size() + 4096));
  }
  std::fprintf(stderr, "wlperf: the value \"%s\" keeps growing\n", name);
  return false;
}

bool LoadNames(NameTable* names) {
  std::vector<BYTE> bytes;
  if (!QueryValue("Counter 009", &bytes)) return false;
  const std::string text(bytes.begin(), bytes.end());
  size_t at = 0;
  while (at < text.size() && text[at] != '\0') {
    const size_t indexEnd = text.find('\0', at);
    const size_t nameEnd = indexEnd == std::string::npos ? indexEnd : text.find('\0', indexEnd + 1);
    if (nameEnd == std::string::npos) break;
    (*names)[static_cast<DWORD>(std::strtoul(text.c_str() + at, nullptr, 10))] =
        text.substr(indexEnd + 1, nameEnd - indexEnd - 1);
    at = nameEnd + 1;
  }
  return true;
}

bool LoadBlock(const std::string& valueName, wlperf::DecodedBlock* block) {
  std::vector<BYTE> bytes;
  if (!QueryValue(valueName.c_str(), &bytes)) return false;
  std::string error;
  if (!wlperf::DecodeBlock(bytes.data(), bytes.size(), block, &error)) {
    std::fprintf(stderr, "wlperf: the data block is malformed: %s\n", error.c_str());
    return false;
  }
  return true;
}

std::string NameOf(const NameTable& names, DWORD index) {
  const auto entry = names.find(index);
  return entry == names.end() ? "(no name)" : "\"" + entry->second + "\"";
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Title indexes for the OBJECT arguments; false when one is unknown.
bool ResolveObjects(int argc, char** argv, const NameTable& names, std::string* valueName) {
  for (int k = 0; k < argc; ++k) {
    const std::string argument = argv[k];
    std::string index;
    if (!argument.empty() && argument.find_first_not_of("0123456789") == std::string::npos) {
      index = argument;
    } else {
      for (const auto& [number, name] : names) {
        if (Lower(name) == Lower(argument)) {
          index = std::to_string(number);
          break;
        }
      }
    }
    if (index.empty()) {
      std::fprintf(stderr, "wlperf: no object is named \"%s\"\n", argument.c_str());
      return false;
    }
    *valueName += (valueName->empty() ? "" : " ") + index;
  }
  return true;
}

std::string Values(const std::vector<wlperf::DecodedValue>& values) {
  std::string out;
  for (const wlperf::DecodedValue& value : values) {
    out += ' ';
    out += value ? std::to_string(*value) : "-";
  }
  return out;
}

int Show(int argc, char** argv) {
  NameTable names;
  if (!LoadNames(&names)) return 1;
  std::string valueName;
  if (!ResolveObjects(argc, argv, names, &valueName)) return 1;
  wlperf::DecodedBlock block;
  if (!LoadBlock(valueName.empty() ? "Global" : valueName, &block)) return 1;
  for (const wlperf::DecodedObject& object : block.objects) {
    std::printf("object %u %s: %zu counters, ", object.index, NameOf(names, object.index).c_str(),
                object.counters.size());
    if (object.numInstances == PERF_NO_INSTANCES) {
      std::printf("no instances\n");
    } else {
      std::printf("%ld instances\n", static_cast<long>(object.numInstances));
    }
    for (const wlperf::DecodedCounter& counter : object.counters) {
      const char* type = wl::perf::CounterTypeName(counter.type);
      std::printf("  counter %u %s: %s (0x%08X), size %u\n", counter.index,
                  NameOf(names, counter.index).c_str(), type ? type : "type", counter.type,
                  counter.size);
    }
    if (object.numInstances == PERF_NO_INSTANCES) {
      std::printf("  values:%s\n", Values(object.values).c_str());
    }
    for (const wlperf::DecodedInstance& instance : object.instances) {
      std::printf("  instance \"%s\":%s\n", wlperf::Utf16ToUtf8(instance.name).c_str(),
                  Values(instance.values).c_str());
    }
  }
  return 0;
}

// The memory figures of this host as GlobalMemoryStatus reports them.
wl::perf::FixtureMemory LiveMemory() {
  std::string meminfo;
  wl::perf::ReadTextFile("/proc/meminfo", &meminfo);
  const auto bytes = [&](const char* key) {
    wl::perf::TextCursor cursor(wl::perf::LineStartingWith(meminfo, key));
    return cursor.Unsigned() * 1024;
  };
  wl::perf::FixtureMemory memory;
  memory.totalPhys = bytes("MemTotal:");
  memory.availPhys = bytes("MemAvailable:");
  memory.totalPageFile = bytes("CommitLimit:");
  const uint64_t committed = bytes("Committed_AS:");
  memory.availPageFile = committed < memory.totalPageFile ? memory.totalPageFile - committed : 0;
  return memory;
}

int Capture() {
  NameTable names;
  wlperf::DecodedBlock block;
  if (!LoadNames(&names) || !LoadBlock("Global", &block)) return 1;
  std::optional<wl::perf::FixtureMemory> memory;
  std::map<std::string, wl::perf::FixtureDrive> drives;
  if (const auto fixture = wl::perf::CurrentFixture()) {
    memory = fixture->fixture.memory;
    drives = fixture->fixture.drives;
  } else {
    memory = LiveMemory();
    for (const wl::perf::VolumeRecord& volume :
         wl::perf::ReadVolumes(wl::perf::DosDeviceDrives())) {
      drives[volume.drive] = {volume.totalBytes, volume.freeBytes};
    }
  }
  const std::string text = wl::perf::WriteFixture(block, names, memory, drives);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int Names() {
  NameTable names;
  if (!LoadNames(&names)) return 1;
  for (const auto& [index, name] : names) std::printf("%u %s\n", index, name.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "show") return Show(argc - 2, argv + 2);
  if (command == "capture" && argc == 2) return Capture();
  if (command == "names" && argc == 2) return Names();
  return Usage();
}
